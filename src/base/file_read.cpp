#include "base/file_read.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvor {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

const char* kindOf(mode_t m) {
    if (S_ISFIFO(m)) return "FIFO";
    if (S_ISDIR(m)) return "directory";
    if (S_ISCHR(m)) return "character device";
    if (S_ISBLK(m)) return "block device";
    if (S_ISSOCK(m)) return "socket";
    return "special file";
}

} // namespace

FileReadInfo readRegularFileChunks(const std::string& path, std::size_t limit,
                                   const std::function<void(std::span<const std::uint8_t>)>& sink) {
    FileReadInfo info;
    // O_NONBLOCK: opening a FIFO without a writer, or a device, must not wait.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        info.status = FileReadStatus::CannotOpen;
        info.error = errno;
        // A socket cannot be opened at all; say what it is rather than "No such device".
        struct stat st {};
        if (info.error == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            info.status = FileReadStatus::NotRegular;
            info.kind = kindOf(st.st_mode);
        }
        return info;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        info.status = FileReadStatus::CannotOpen;
        info.error = errno;
        return info;
    }
    info.device = st.st_dev;
    info.inode = st.st_ino;
    info.statSize = st.st_size;
    info.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.mode = st.st_mode;
    info.owner = st.st_uid;
    info.group = st.st_gid;
    if (!S_ISREG(st.st_mode)) {
        info.status = FileReadStatus::NotRegular;
        info.kind = kindOf(st.st_mode);
        return info;
    }
    // A regular file never blocks; clear the flag so that reads behave plainly.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    // The size the file claims is not trusted: read until the end or one byte past the limit.
    std::array<std::uint8_t, 65536> chunk{};
    std::size_t total = 0;
    for (;;) {
        const std::size_t want = std::min(chunk.size(), limit + 1 - total);
        const ssize_t got = ::read(fd.get(), chunk.data(), want);
        if (got < 0) {
            if (errno == EINTR) continue;
            info.status = FileReadStatus::ReadError;
            info.error = errno;
            info.size = total;
            return info;
        }
        if (got == 0) break;
        const auto n = static_cast<std::size_t>(got);
        if (total + n > limit) {
            const std::size_t keep = limit - total;
            if (keep) sink({chunk.data(), keep});
            info.status = FileReadStatus::TooLarge;
            info.size = limit + 1;
            return info;
        }
        sink({chunk.data(), n});
        total += n;
    }
    info.size = total;
    return info;
}

FileReadInfo readRegularFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    FileReadInfo info = readRegularFileChunks(
        path, limit, [&bytes](std::span<const std::uint8_t> c) { bytes.insert(bytes.end(), c.begin(), c.end()); });
    if (info.status != FileReadStatus::Ok) {
        bytes.clear();
        bytes.shrink_to_fit();
    }
    return info;
}

std::string fileReadProblem(const FileReadInfo& info, std::size_t limit) {
    switch (info.status) {
    case FileReadStatus::Ok:
        return {};
    case FileReadStatus::CannotOpen:
        return std::string("cannot be opened (") + std::strerror(info.error) + ")";
    case FileReadStatus::NotRegular:
        return "is a " + info.kind + ", not a regular file";
    case FileReadStatus::TooLarge:
        return "is larger than " + std::to_string(limit) + " bytes";
    case FileReadStatus::ReadError:
        return std::string("cannot be read (") + std::strerror(info.error) + ")";
    }
    return {};
}

} // namespace kelvor
