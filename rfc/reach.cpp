#include "rfc/reach.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Descriptor = SOCKET;
constexpr Descriptor no_socket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
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

// Connects one address without blocking; 1 connected, 0 refused or
// failed, -1 no answer within milliseconds.
int try_address(const addrinfo *address, int milliseconds) {
    Descriptor s = ::socket(address->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == no_socket) return 0;
#ifdef _WIN32
    u_long nonblocking = 1;
    ioctlsocket(s, FIONBIO, &nonblocking);
    int started = ::connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen));
    if (started == 0) {
        close_socket(s);
        return 1;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        close_socket(s);
        return 0;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int n = ::select(0, nullptr, &writable, &failed, &wait);
    int result = n == 0 ? -1 : (n > 0 && FD_ISSET(s, &writable) ? 1 : 0);
#else
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
    if (::connect(s, address->ai_addr, address->ai_addrlen) == 0) {
        close_socket(s);
        return 1;
    }
    if (errno != EINPROGRESS) {
        close_socket(s);
        return 0;
    }
    pollfd wait{s, POLLOUT, 0};
    int n;
    do
        n = ::poll(&wait, 1, milliseconds);
    while (n < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    int result = n == 0 ? -1 : 0;
    if (n > 0 && ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
        result = 1;
#endif
    close_socket(s);
    return result;
}

} // namespace

bool reach_partner(const std::string &host, int port, unsigned seconds, std::string &why) {
#ifdef _WIN32
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
#endif
    // An address written as numbers needs no resolver (which, on Linux,
    // loads its name-service modules into the process).
    sockaddr_in numeric4;
    sockaddr_in6 numeric6;
    std::memset(&numeric4, 0, sizeof numeric4);
    std::memset(&numeric6, 0, sizeof numeric6);
    addrinfo literal;
    std::memset(&literal, 0, sizeof literal);
    literal.ai_socktype = SOCK_STREAM;
    if (::inet_pton(AF_INET, host.c_str(), &numeric4.sin_addr) == 1) {
        numeric4.sin_family = AF_INET;
        numeric4.sin_port = htons(static_cast<unsigned short>(port));
        literal.ai_family = AF_INET;
        literal.ai_addr = reinterpret_cast<sockaddr *>(&numeric4);
        literal.ai_addrlen = sizeof numeric4;
    } else if (::inet_pton(AF_INET6, host.c_str(), &numeric6.sin6_addr) == 1) {
        numeric6.sin6_family = AF_INET6;
        numeric6.sin6_port = htons(static_cast<unsigned short>(port));
        literal.ai_family = AF_INET6;
        literal.ai_addr = reinterpret_cast<sockaddr *>(&numeric6);
        literal.ai_addrlen = sizeof numeric6;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    std::string service = std::to_string(port);
    if (literal.ai_addr) {
        addresses = &literal;
    } else if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0 ||
               !addresses) {
        why = "unknown host";
        return false;
    }
    // One time limit for all the host's addresses together.
    auto due = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int result = 0;
    for (const addrinfo *a = addresses; a && result != 1; a = a->ai_next) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        due - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        int tried = try_address(a, static_cast<int>(left));
        if (tried != 0) result = tried;
    }
    if (addresses != &literal) ::freeaddrinfo(addresses);
    if (result == 1) return true;
    why = result < 0 || std::chrono::steady_clock::now() >= due
              ? "timeout after " + std::to_string(seconds) + " s"
              : "connection refused";
    return false;
}
