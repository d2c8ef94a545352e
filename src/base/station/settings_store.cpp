#include "base/station/settings_store.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kelvor {
namespace {

std::size_t valueLimit(std::string_view key) {
    // Mirrors the 260- and 2600-character read buffers.
    if (key.size() >= 8 && strncasecmp(key.data(), "FilePath", 8) == 0) return 2599;
    return 259;
}

std::int64_t mtimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool sameIdentity(const FileReadInfo& a, const struct stat& st) {
    return a.device == st.st_dev && a.inode == st.st_ino && a.statSize == st.st_size && a.mtimeNs == mtimeNs(st);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool SettingsStore::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(file_, ec);
}

const SettingsStore::Snapshot& SettingsStore::current() const {
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0 && errno == ENOENT) {
        cache_ = Snapshot{};
        cache_.loaded = true;
        cache_.missing = true;
        return cache_;
    }
    if (cache_.loaded && !cache_.missing && sameIdentity(cache_.info, st)) {
        // chmod and chown leave the identity alone; a write must see what they set.
        cache_.info.mode = st.st_mode;
        cache_.info.owner = st.st_uid;
        cache_.info.group = st.st_gid;
        return cache_;
    }

    Snapshot next;
    std::vector<std::uint8_t> bytes;
    next.info = readRegularFile(file_.string(), kMaxFileSize, bytes);
    next.loaded = true;
    next.missing = next.info.status == FileReadStatus::CannotOpen && next.info.error == ENOENT;
    if (next.info.status == FileReadStatus::Ok) {
        next.text.assign(bytes.begin(), bytes.end());
        bytes = {};
        next.index = ini::Index(next.text);
    }
    cache_ = std::move(next);
    return cache_;
}

std::string SettingsStore::readText(std::string_view section, std::string_view key) const {
    const Snapshot& s = current();
    if (s.info.status != FileReadStatus::Ok || s.missing) return {};
    const auto span = s.index.find(section, key);
    if (!span) return {};
    std::string v = ini::valueAt(s.text, *span);
    const std::size_t limit = valueLimit(key);
    if (v.size() > limit) v.resize(limit);
    return v;
}

bool SettingsStore::refuse(const std::string& why) {
    // One line per problem, not one per key: a job start writes several keys at once.
    if (why != lastProblem_ && sink_) sink_(why);
    lastProblem_ = why;
    return false;
}

bool SettingsStore::writeText(std::string_view section, std::string_view key, std::string_view value) {
    const std::string name = file_.string();
    const std::string notSaved = "; settings are not saved, the station goes on with the values it shows";
    if (!ini::storableValue(value))
        return refuse("Settings value " + std::string(section) + "/" + std::string(key) +
                      " holds a line break or NUL; not saved");

    const Snapshot& s = current();
    if (!s.missing && s.info.status != FileReadStatus::Ok)
        return refuse("Settings file " + name + " " + fileReadProblem(s.info, kMaxFileSize) + notSaved);
    if (!s.missing && (s.info.mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return refuse("Settings file " + name + " is read-only" + notSaved);

    if (!s.missing) {
        const auto span = s.index.find(section, key);
        if (span && std::string_view(s.text).substr(span->begin, span->end - span->begin) == value) {
            lastProblem_.clear();
            return true; // already holds it: nothing to write
        }
    }
    std::string data = s.missing ? ini::withValue({}, ini::Index(), section, key, value)
                                 : ini::withValue(s.text, s.index, section, key, value);

    // A link stays a link: the file it points to is the one replaced.
    std::filesystem::path target = file_;
    std::error_code ec;
    if (!s.missing && std::filesystem::is_symlink(file_, ec)) target = std::filesystem::canonical(file_, ec);
    if (ec) return refuse("Settings file " + name + " cannot be resolved (" + ec.message() + ")" + notSaved);

    // Written beside the target and renamed over it, so a crash never leaves a truncated file.
    std::filesystem::path tmp = target;
    tmp += ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return refuse("Settings file " + name + " cannot be written (" + std::strerror(errno) + ")" + notSaved);
    auto fail = [&](const std::string& why) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return refuse("Settings file " + name + " " + why + notSaved);
    };
    if (!s.missing) {
        if (::fchmod(fd, s.info.mode & 07777) != 0) return fail("cannot keep its mode");
        struct stat mine {};
        if (::fstat(fd, &mine) != 0) return fail("cannot be written");
        if ((mine.st_uid != s.info.owner || mine.st_gid != s.info.group) &&
            ::fchown(fd, s.info.owner, s.info.group) != 0)
            return fail("belongs to another user or group and cannot keep its owner");
    }
    if (!writeAll(fd, data) || ::fsync(fd) != 0)
        return fail(std::string("cannot be written (") + std::strerror(errno) + ")");
    struct stat written {};
    ::fstat(fd, &written);
    ::close(fd);
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return refuse("Settings file " + name + " cannot be replaced (" + std::strerror(e) + ")" + notSaved);
    }

    // What was written is what the file holds now: keep it, under the identity it has after the rename.
    Snapshot next;
    next.loaded = true;
    next.info.device = written.st_dev;
    next.info.inode = written.st_ino;
    next.info.statSize = written.st_size;
    next.info.mtimeNs = mtimeNs(written);
    next.info.mode = written.st_mode;
    next.info.owner = written.st_uid;
    next.info.group = written.st_gid;
    next.info.size = data.size();
    next.text = std::move(data);
    next.index = ini::Index(next.text);
    cache_ = std::move(next);
    lastProblem_.clear();
    return true;
}

} // namespace kelvor
