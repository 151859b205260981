#include "rfc/reach.h"

#include <chrono>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Descriptor = SOCKET;
constexpr Descriptor no_socket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using Descriptor = int;
constexpr Descriptor no_socket = -1;
#endif

namespace {

void close_socket(Descriptor s) {
#ifdef _WIN32
    closesocket(s);
#else
    ::close(s);
#endif
}

// Starts connecting one address without blocking: 1 connected already, 0
// refused or failed, -1 under way on s.
int start_address(const addrinfo *address, Descriptor &s) {
#ifdef _WIN32
    s = ::socket(address->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == no_socket) return 0;
    u_long nonblocking = 1;
    ioctlsocket(s, FIONBIO, &nonblocking);
    if (::connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) return 1;
    if (WSAGetLastError() == WSAEWOULDBLOCK) return -1;
#else
    s = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s == no_socket) return 0;
    if (::connect(s, address->ai_addr, address->ai_addrlen) == 0) return 1;
    if (errno == EINPROGRESS) return -1;
#endif
    return 0;
}

// Waits for a connection under way: 1 connected, 0 refused or failed, -1
// no answer within milliseconds.
int wait_address(Descriptor s, int milliseconds) {
#ifdef _WIN32
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int n = ::select(0, nullptr, &writable, &failed, &wait);
    return n == 0 ? -1 : (n > 0 && FD_ISSET(s, &writable) ? 1 : 0);
#else
    pollfd wait{s, POLLOUT, 0};
    int n;
    do
        n = ::poll(&wait, 1, milliseconds);
    while (n < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    if (n == 0) return -1;
    return n > 0 && ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0 ? 1
                                                                                              : 0;
#endif
}

} // namespace

PartnerProbe::PartnerProbe(PartnerProbe &&other) noexcept {
    *this = std::move(other);
}

PartnerProbe &PartnerProbe::operator=(PartnerProbe &&other) noexcept {
    if (this == &other) return *this;
    close();
    started_ = other.started_;
    unknown_host_ = other.unknown_host_;
    seconds_ = other.seconds_;
    result_ = other.result_;
    socket_ = other.socket_;
    addresses_ = other.addresses_;
    next_ = other.next_;
    due_ = other.due_;
    other.started_ = false;
    other.socket_ = static_cast<long long>(no_socket);
    other.addresses_ = nullptr;
    other.next_ = nullptr;
    return *this;
}

PartnerProbe::~PartnerProbe() {
    close();
}

void PartnerProbe::close() {
    if (static_cast<Descriptor>(socket_) != no_socket)
        close_socket(static_cast<Descriptor>(socket_));
    socket_ = static_cast<long long>(no_socket);
    if (addresses_) ::freeaddrinfo(static_cast<addrinfo *>(addresses_));
    addresses_ = nullptr;
}

void PartnerProbe::start(const std::string &host, int port, unsigned seconds) {
#ifdef _WIN32
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
#endif
    close();
    started_ = true;
    seconds_ = seconds;
    result_ = 0;
    unknown_host_ = false;
    // One time limit for all the host's addresses together.
    due_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // An address written as numbers needs no resolver (which, on Linux,
    // loads its name-service modules into the process).
    // Only for the first address, which is under way before start returns.
    union {
        sockaddr_in v4;
        sockaddr_in6 v6;
    } numeric;
    std::memset(&numeric, 0, sizeof numeric);
    const addrinfo *first = nullptr;
    sockaddr_in *numeric4 = &numeric.v4;
    sockaddr_in6 *numeric6 = &numeric.v6;
    addrinfo literal;
    std::memset(&literal, 0, sizeof literal);
    literal.ai_socktype = SOCK_STREAM;
    if (::inet_pton(AF_INET, host.c_str(), &numeric4->sin_addr) == 1) {
        numeric4->sin_family = AF_INET;
        numeric4->sin_port = htons(static_cast<unsigned short>(port));
        literal.ai_family = AF_INET;
        literal.ai_addr = reinterpret_cast<sockaddr *>(numeric4);
        literal.ai_addrlen = sizeof *numeric4;
        first = &literal;
    } else if (::inet_pton(AF_INET6, host.c_str(), &numeric6->sin6_addr) == 1) {
        numeric6->sin6_family = AF_INET6;
        numeric6->sin6_port = htons(static_cast<unsigned short>(port));
        literal.ai_family = AF_INET6;
        literal.ai_addr = reinterpret_cast<sockaddr *>(numeric6);
        literal.ai_addrlen = sizeof *numeric6;
        first = &literal;
    } else {
        addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        std::string service = std::to_string(port);
        if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
            unknown_host_ = true;
            return;
        }
        addresses_ = found;
        first = found;
    }
    // The first address is under way at once; any further ones are tried
    // in turn when it fails.
    next_ = first == &literal ? nullptr : first->ai_next;
    Descriptor s = no_socket;
    result_ = start_address(first, s);
    // A partner near by (on this host or its network) has often taken the
    // connection already: then it is let go at once, instead of being held
    // open at the gateway while the library loads.
    if (result_ < 0) result_ = wait_address(s, 0);
    if (result_ >= 0 && s != no_socket) {
        close_socket(s);
        s = no_socket;
    }
    socket_ = s;
}

bool PartnerProbe::finish(std::string &why) {
    if (!started_) return true;
    started_ = false;
    if (unknown_host_) {
        why = "unknown host";
        return false;
    }
    int outcome = 0; // 1 connected, -1 some address silent, 0 all refused
    int current = result_;
    const auto *next = static_cast<const addrinfo *>(next_);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        due_ - std::chrono::steady_clock::now())
                        .count();
        if (current < 0)
            current = left > 0
                          ? wait_address(static_cast<Descriptor>(socket_), static_cast<int>(left))
                          : -1;
        if (static_cast<Descriptor>(socket_) != no_socket)
            close_socket(static_cast<Descriptor>(socket_));
        socket_ = no_socket;
        if (current != 0) outcome = current;
        if (outcome == 1 || !next || left <= 0) break;
        Descriptor s = no_socket;
        current = start_address(next, s);
        socket_ = s;
        next = next->ai_next;
    }
    close();
    if (outcome == 1) return true;
    why = outcome < 0 || std::chrono::steady_clock::now() >= due_
              ? "timeout after " + std::to_string(seconds_) + " s"
              : "connection refused";
    return false;
}

bool reach_partner(const std::string &host, int port, unsigned seconds, std::string &why) {
    PartnerProbe probe;
    probe.start(host, port, seconds);
    return probe.finish(why);
}
