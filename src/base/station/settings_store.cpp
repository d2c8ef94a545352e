#include "base/station/settings_store.h"

// Values are UTF-8 bytes end to end, so no wide-character conversion; the templates are instantiated
// here rather than taken from the distribution library, which would pull in ICU.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace kelvor {
namespace {

std::size_t valueLimit(std::string_view key) {
    // Mirrors the 260- and 2600-character read buffers.
    if (key.size() >= 8 && strncasecmp(key.data(), "FilePath", 8) == 0) return 2599;
    return 259;
}

bool load(const std::filesystem::path& file, CSimpleIniA& ini) {
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetSpaces(false); // KEY=value, as the file is written by hand and by the other tools
    return ini.LoadFile(file.c_str()) >= 0;
}

} // namespace

bool SettingsStore::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(file_, ec);
}

std::string SettingsStore::readText(std::string_view section, std::string_view key) const {
    CSimpleIniA ini;
    if (!load(file_, ini)) return {};
    const char* v = ini.GetValue(std::string(section).c_str(), std::string(key).c_str(), nullptr);
    if (!v) return {};
    std::string s(v);
    const std::size_t limit = valueLimit(key);
    if (s.size() > limit) s.resize(limit);
    return s;
}

bool SettingsStore::writeText(std::string_view section, std::string_view key, std::string_view value) {
    CSimpleIniA ini;
    load(file_, ini); // a missing file starts empty
    ini.SetValue(std::string(section).c_str(), std::string(key).c_str(), std::string(value).c_str());
    std::string data;
    if (ini.Save(data) < 0) return false;

    // Write beside the target and rename over it, so a crash never leaves a truncated file.
    std::filesystem::path tmp = file_;
    tmp += ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file_, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

} // namespace kelvor
