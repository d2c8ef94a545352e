#pragma once
// KELVOR.ini beside the program. Every read sees the file as it is now and every write lands at
// once. The parsed file is kept only while the file keeps its identity (device, inode, size,
// modification time): an unchanged file costs one stat per read, a hand edit is seen at the next read.
#include "base/file_read.h"
#include "base/ini_text.h"
#include "base/settings.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kelvor {

class SettingsStore : public Settings {
public:
    explicit SettingsStore(std::filesystem::path file) : file_(std::move(file)) {}

    const std::filesystem::path& path() const { return file_; }
    bool exists() const;

    // Missing section, key or file: empty text. Values are cut to 259 characters (2599 for the
    // FilePath… keys). Section and key names are compared without regard to case. A file that
    // cannot be read reads as empty.
    std::string readText(std::string_view section, std::string_view key) const override;
    // Changes the bytes of this one value (or adds its line) and keeps every other byte; replaces
    // the file atomically, keeping its mode and owner. Refused, leaving the file as it is, when the
    // file cannot be read, is read-only, or the value holds a line break; false then, and the
    // problem goes to the sink once (until a write succeeds again).
    bool writeText(std::string_view section, std::string_view key, std::string_view value) override;

    // Where refusals are reported (the event log in the station).
    void setProblemSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

    // Files above this are refused as unreadable.
    static constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;

private:
    struct Snapshot {
        bool loaded = false;
        bool missing = false;
        FileReadInfo info; // status and identity of the last read
        std::string text;
        ini::Index index;
    };
    // The file as it is now; re-read only when its identity changed.
    const Snapshot& current() const;
    bool refuse(const std::string& why);

    std::filesystem::path file_;
    mutable Snapshot cache_;
    std::function<void(const std::string&)> sink_;
    std::string lastProblem_;
};

} // namespace kelvor
