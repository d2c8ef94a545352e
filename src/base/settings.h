#pragma once
// Access to the station's settings file as domain code sees it: read a key when it is needed,
// write it at once. The station's SettingsStore implements it on KELVOR.ini; tests use MemorySettings.
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvor {

class Settings {
public:
    virtual ~Settings() = default;
    // Missing key: empty text.
    virtual std::string readText(std::string_view section, std::string_view key) const = 0;
    virtual bool writeText(std::string_view section, std::string_view key, std::string_view value) = 0;
    // Leading-integer parse (decimal); "" and non-numeric text give 0.
    int readNumber(std::string_view section, std::string_view key) const;
};

// In-memory settings with the file's case-insensitive names.
class MemorySettings : public Settings {
public:
    std::string readText(std::string_view section, std::string_view key) const override;
    bool writeText(std::string_view section, std::string_view key, std::string_view value) override;
    // Every write in order, for tests that check what was stored and when.
    std::vector<std::pair<std::string, std::string>> writes; // "SECTION/KEY", value

private:
    std::map<std::string, std::string> values_;
};

// Leading-integer parse as the settings file applies it (optional blanks and sign, then digits).
int leadingInt(std::string_view text, int base = 10);

} // namespace kelvor
