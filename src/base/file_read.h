#pragma once
// The one way the station reads a whole input file (images, raw data, the settings file, crc). A path
// may name a FIFO, a device or a directory, and a file may claim any size or grow while it is read,
// so the file is opened without blocking, checked on the open descriptor, and read no further than
// one byte past the caller's limit.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kelvor {

enum class FileReadStatus {
    Ok,
    CannotOpen, // open failed; `error` holds errno
    NotRegular, // a FIFO, device, directory or socket; `kind` names it
    TooLarge,   // more than `limit` bytes (only limit + 1 were read)
    ReadError,  // read failed part way; `error` holds errno
};

struct FileReadInfo {
    FileReadStatus status = FileReadStatus::Ok;
    int error = 0;
    std::string kind;     // "FIFO", "directory", "character device", …
    std::size_t size = 0; // bytes delivered (Ok) or read before stopping
    // Identity of the file that was read, valid when it was opened.
    std::uint64_t device = 0, inode = 0;
    std::int64_t statSize = 0, mtimeNs = 0;
    unsigned mode = 0, owner = 0, group = 0;
};

// Streams the file in chunks to `sink`. A file above `limit` bytes ends in TooLarge after at most
// limit + 1 bytes were read; the sink has then seen at most `limit` of them.
FileReadInfo readRegularFileChunks(const std::string& path, std::size_t limit,
                                   const std::function<void(std::span<const std::uint8_t>)>& sink);

// The whole file in memory (at most `limit` bytes); `bytes` is empty unless the status is Ok.
FileReadInfo readRegularFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& bytes);

// What went wrong, for a log line: "is a FIFO, not a regular file", "is larger than 65536 bytes",
// "cannot be opened (Permission denied)". Empty for Ok.
std::string fileReadProblem(const FileReadInfo& info, std::size_t limit);

} // namespace kelvor
