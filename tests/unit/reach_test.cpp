#include <gtest/gtest.h>

#include "rfc/reach.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

// A listener on 127.0.0.1 only, on a port of the system's choosing; closed,
// the port refuses.
struct Listener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;
    Listener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
            ::listen(fd, 8) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

TEST(PartnerProbe, AnswersFromEveryAddressOfTheHost) {
    Listener listening, closed;
    ASSERT_NE(listening.port, 0);
    ASSERT_NE(closed.port, 0);
    closed.close();
    struct Case {
        const char *host;
        int port;
        bool reached;
        const char *why;
    } cases[] = {
        {"127.0.0.1", listening.port, true, ""},
        {"127.0.0.1", closed.port, false, "connection refused"},
        // A name may give ::1 first, where nothing listens: the next address
        // is tried within the same limit.
        {"localhost", listening.port, true, ""},
        {"localhost", closed.port, false, "connection refused"},
        {"::1", closed.port, false, "connection refused"},
        {"no-such-host.invalid", listening.port, false, "unknown host"},
    };
    for (const Case &c : cases) {
        std::string why;
        EXPECT_EQ(reach_partner(c.host, c.port, 5, why), c.reached) << c.host;
        EXPECT_EQ(why, c.why) << c.host;
    }
}

// A listener whose queue is full and never accepted: a partner that does
// not answer the handshake, as a powered-off host.
struct SilentListener : Listener {
    std::vector<int> queued;
    SilentListener() {
        ::listen(fd, 0);
        for (int i = 0; i < 3; ++i) {
            int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<unsigned short>(port));
            // Under way or queued: either fills the queue.
            (void)::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
            queued.push_back(s);
        }
    }
    ~SilentListener() {
        for (int s : queued)
            ::close(s);
    }
};

TEST(PartnerProbe, StartedAheadFinishesLaterAndMoves) {
    SilentListener silent;
    std::string why;
    PartnerProbe moved;
    EXPECT_TRUE(moved.finish(why)) << "nothing under way: nothing to refuse";
    {
        PartnerProbe ahead;
        ahead.start("127.0.0.1", silent.port, 1);
        moved = std::move(ahead);
    } // the end of the one moved from must leave the socket alone
    EXPECT_TRUE(moved.started());
    EXPECT_FALSE(moved.finish(why));
    EXPECT_EQ(why, "timeout after 1 s");
    EXPECT_FALSE(moved.started()) << "finished once";
}

// The gateway is not left holding the check's connection while the sensor
// goes on to load its library: a partner that answered at once sees the end
// of the connection before finish().
TEST(PartnerProbe, LetsGoOfAPartnerThatAnsweredAtOnce) {
    Listener listening;
    PartnerProbe probe;
    probe.start("127.0.0.1", listening.port, 5);
    int taken = ::accept(listening.fd, nullptr, nullptr);
    ASSERT_GE(taken, 0);
    pollfd wait{taken, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, 2000), 1) << "the connection is still held";
    char byte;
    EXPECT_EQ(::recv(taken, &byte, 1, 0), 0) << "closed without a byte sent";
    ::close(taken);
    std::string why;
    EXPECT_TRUE(probe.finish(why)) << why;
}

} // namespace
#endif
