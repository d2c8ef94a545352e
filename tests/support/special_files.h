#pragma once
// Paths that name something other than a regular file, for the readers' refusal tests. Each is made
// inside a test folder and reached through links with the names a reader expects (x.hex, x.bin).
#include <string>
#include <vector>

namespace kelvor::test {

struct SpecialFile {
    const char* kind;  // what the readers must say it is
    std::string path;  // the thing itself (or /dev/zero)
};

// A FIFO without a writer, /dev/zero, a directory and a listening-less socket, made in `dir`.
std::vector<SpecialFile> makeSpecialFiles(const std::string& dir);

// A symbolic link `dir/name` to `target`; returns the link's path.
std::string linkTo(const std::string& dir, const std::string& name, const std::string& target);

} // namespace kelvor::test
