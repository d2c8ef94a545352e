#pragma once
// KELVOR.ini beside the program. Every read goes to the file and every write lands at once: there is
// no in-memory copy, so a value edited by hand is seen at the next read.
#include "base/settings.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvor {

class SettingsStore : public Settings {
public:
    explicit SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& path() const { return file_; }
    bool exists() const;

    // Missing section, key or file: empty text. Values are cut to 259 characters (2599 for the
    // FilePath… keys). Section and key names are compared without regard to case.
    std::string readText(std::string_view section, std::string_view key) const override;
    // Keeps every other section, key and comment; replaces the file atomically.
    // Returns false when the file could not be written (the station carries on regardless).
    bool writeText(std::string_view section, std::string_view key, std::string_view value) override;

private:
    std::filesystem::path file_;
};

} // namespace kelvor
