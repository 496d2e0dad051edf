// The display check against sockets opened here: a local display socket of
// the X layout and a TCP port of the X range.
#include "app/chart/display_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstddef>
#include <cstring>
#include <string>

namespace {

// A listening socket (closed at the end); fd < 0 when it could not be opened.
struct Listener {
    int fd = -1;
    ~Listener()
    {
        if (fd >= 0) ::close(fd);
    }
    bool Local(int number)  // abstract name "\0/tmp/.X11-unix/X<number>"
    {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
        std::memcpy(a.sun_path + 1, path.data(), path.size());
        const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        return ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd, 16) == 0;
    }
    bool Tcp(int number)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(6000 + number));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 16) == 0;
    }
};

}  // namespace

TEST(DisplayProbe, AnswersOnlyWhereASocketListens)
{
    const int base = 3000 + static_cast<int>(::getpid() % 2000);
    int local = base, tcp = base + 500;
    Listener l, t;
    while (!l.Local(local) && local < base + 50) {
        ::close(l.fd);
        l.fd = -1;
        ++local;
    }
    while (!t.Tcp(tcp) && tcp < base + 550) {
        ::close(t.fd);
        t.fd = -1;
        ++tcp;
    }
    ASSERT_TRUE(local < base + 50 && tcp < base + 550);
    const std::string n = std::to_string(local), m = std::to_string(tcp);
    EXPECT_TRUE(DisplayReachable(":" + n));
    EXPECT_TRUE(DisplayReachable(":" + n + ".0"));
    EXPECT_TRUE(DisplayReachable("unix:" + n));
    EXPECT_TRUE(DisplayReachable("127.0.0.1:" + m + ".0"));
    EXPECT_TRUE(DisplayReachable("localhost:" + m));
    // no socket there
    EXPECT_FALSE(DisplayReachable(":" + std::to_string(local + 100)));
    EXPECT_FALSE(DisplayReachable("127.0.0.1:" + std::to_string(tcp + 100)));
    EXPECT_FALSE(DisplayReachable("no-such-host.invalid:0"));
    // texts that name no display in the X form are left to Qt
    for (const char* text :
         {"", "wayland-0", ":", ":x", "host:1x", "/private/tmp/launch:0", "node::0"})
        EXPECT_TRUE(DisplayReachable(text)) << text;
}
