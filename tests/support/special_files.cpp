#include "support/special_files.h"

#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kelvor::test {

std::vector<SpecialFile> makeSpecialFiles(const std::string& dir) {
    std::vector<SpecialFile> out;
    const std::string fifo = dir + "/fifo";
    if (::mkfifo(fifo.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + fifo);
    out.push_back({"FIFO", fifo});
    out.push_back({"character device", "/dev/zero"});
    const std::string sub = dir + "/folder";
    if (::mkdir(sub.c_str(), 0700) != 0) throw std::runtime_error("mkdir " + sub);
    out.push_back({"directory", sub});
    const std::string sock = dir + "/socket";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (sock.size() >= sizeof addr.sun_path) throw std::runtime_error("socket path too long: " + sock);
    std::memcpy(addr.sun_path, sock.c_str(), sock.size() + 1);
    const bool bound = ::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s); // the socket file stays
    if (!bound) throw std::runtime_error("bind " + sock);
    out.push_back({"socket", sock});
    return out;
}

std::string linkTo(const std::string& dir, const std::string& name, const std::string& target) {
    const std::string link = dir + "/" + name;
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("symlink " + link);
    return link;
}

} // namespace kelvor::test
