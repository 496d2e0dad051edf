#include "app/chart/display_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace {

// Connects a fresh socket to `addr`, waiting at most two seconds.
bool Connects(int family, int type, const sockaddr* addr, socklen_t len)
{
    const int fd = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, addr, len) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        int err = 0;
        socklen_t errLen = sizeof err;
        ok = ::poll(&p, 1, 2000) == 1 &&
             ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 && err == 0;
    }
    ::close(fd);
    return ok;
}

// The local socket of display `number`: the abstract name first, then the file.
bool LocalDisplayAnswers(const std::string& number)
{
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (bool abstract : {true, false}) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const size_t at = abstract ? 1 : 0;  // an abstract name starts with a zero byte
        std::memcpy(a.sun_path + at, path.data(), path.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size() +
                                                (abstract ? 0 : 1));
        if (Connects(AF_UNIX, SOCK_STREAM, reinterpret_cast<const sockaddr*>(&a), len)) return true;
    }
    return false;
}

bool RemoteDisplayAnswers(const std::string& host, int number)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(6000 + number).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a && !ok; a = a->ai_next)
        ok = Connects(a->ai_family, a->ai_socktype, a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

}  // namespace

bool DisplayReachable(const std::string& display)
{
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return true;
    std::string host = display.substr(0, colon);
    size_t end = colon + 1;
    while (end < display.size() && display[end] >= '0' && display[end] <= '9') ++end;
    const std::string number = display.substr(colon + 1, end - colon - 1);
    if (number.empty() || number.size() > 5 || (end < display.size() && display[end] != '.'))
        return true;
    if (host.size() > 1 && host.back() == ':') return true;  // "host::N" is DECnet: left to Qt
    if (host.empty() || host == "unix") return LocalDisplayAnswers(number);
    if (host.front() == '/') return true;  // a socket path (macOS launchd style): left to Qt
    if (host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return RemoteDisplayAnswers(host, std::stoi(number));
}
