#include "librfc32/connection.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET socket_t;
#define INVALID_FD INVALID_SOCKET
static int last_socket_error() {
    return WSAGetLastError();
}
#else
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
typedef int socket_t;
#define INVALID_FD (-1)
static int last_socket_error() {
    return errno;
}
#endif

namespace {

#ifdef _WIN32
struct WinsockStartup {
    WinsockStartup() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
#endif

void ensure_sockets() {
#ifdef _WIN32
    static WinsockStartup startup;
#endif
}

// Waits until the socket is readable (or writable); false on timeout.
bool wait_for(socket_t fd, bool write, int timeout_ms) {
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    fd_set error_set;
    FD_ZERO(&error_set);
    FD_SET(fd, &error_set);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &error_set, &tv);
    return n > 0;
#else
    pollfd p{fd, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    int n;
    do {
        n = poll(&p, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    return n > 0;
#endif
}

void set_blocking(socket_t fd, bool blocking) {
#ifdef _WIN32
    u_long mode = blocking ? 0 : 1;
    ioctlsocket(fd, FIONBIO, &mode);
#else
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

void close_fd(socket_t fd) {
#ifdef _WIN32
    closesocket(fd);
#else
    ::close(fd);
#endif
}

} // namespace

Socket::~Socket() {
    close();
}

void Socket::close() {
    if (static_cast<socket_t>(fd_) != INVALID_FD) close_fd(static_cast<socket_t>(fd_));
    fd_ = INVALID_FD;
    buffer_.clear();
}

bool Socket::connect_to(const Endpoint &endpoint, int timeout_ms, std::string &reason) {
    ensure_sockets();
    close();
    std::string where = endpoint.host + ":" + std::to_string(endpoint.port);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(endpoint.host.c_str(), std::to_string(endpoint.port).c_str(), &hints, &found) !=
            0 ||
        !found) {
        reason = "partner " + where + " not reached: unknown host " + endpoint.host;
        return false;
    }
    socket_t fd = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (fd == INVALID_FD) {
        freeaddrinfo(found);
        reason = "partner " + where + " not reached: no socket";
        return false;
    }
    set_blocking(fd, false);
    int rc = ::connect(fd, found->ai_addr, static_cast<int>(found->ai_addrlen));
    freeaddrinfo(found);
    bool connected = rc == 0;
    if (!connected) {
        int error = last_socket_error();
#ifdef _WIN32
        bool pending = error == WSAEWOULDBLOCK;
#else
        bool pending = error == EINPROGRESS;
#endif
        if (pending && wait_for(fd, true, timeout_ms)) {
            int so_error = 0;
            socklen_t length = sizeof so_error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&so_error), &length);
            connected = so_error == 0;
            if (!connected) reason = "partner " + where + " not reached: connection refused";
        } else if (pending) {
            reason = "partner " + where + " not reached: timeout after " +
                     std::to_string(timeout_ms / 1000) + " s";
        } else {
            reason = "partner " + where + " not reached: connection refused";
        }
    }
    if (!connected) {
        close_fd(fd);
        return false;
    }
    set_blocking(fd, true);
    fd_ = fd;
    return true;
}

bool Socket::send_all(const std::string &data, std::string &reason) {
    socket_t fd = static_cast<socket_t>(fd_);
    std::size_t sent = 0;
    while (sent < data.size()) {
#ifdef _WIN32
        int n = ::send(fd, data.data() + sent, static_cast<int>(data.size() - sent), 0);
#else
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
#endif
        if (n <= 0) {
            reason = "connection lost";
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool Socket::receive_message(std::vector<std::string> &lines, int timeout_ms, std::string &reason) {
    using clock = std::chrono::steady_clock;
    auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    socket_t fd = static_cast<socket_t>(fd_);
    lines.clear();
    std::size_t taken = 0, total = 0;
    for (;;) {
        std::string::size_type end;
        while ((end = buffer_.find('\n', taken)) != std::string::npos) {
            std::string line = buffer_.substr(taken, end - taken);
            taken = end + 1;
            if (line.empty()) {
                buffer_.erase(0, taken);
                return true;
            }
            total += line.size() + 1;
            lines.push_back(line);
            if (lines.size() > max_reply_lines || total > max_reply_bytes) {
                lines.clear();
                reason = "reply too long (over " + std::to_string(max_reply_lines) + " lines or " +
                         std::to_string(max_reply_bytes >> 20) + " MB)";
                return false;
            }
        }
        buffer_.erase(0, taken);
        taken = 0;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0 || !wait_for(fd, false, static_cast<int>(left.count()))) {
            reason = "timeout: no reply within " + std::to_string(timeout_ms / 1000) + " s";
            return false;
        }
        char chunk[4096];
        int n = static_cast<int>(::recv(fd, chunk, sizeof chunk, 0));
        if (n <= 0) {
            reason = "connection lost";
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        if (buffer_.size() > max_reply_bytes) {
            reason = "reply too long (over " + std::to_string(max_reply_bytes >> 20) + " MB)";
            return false;
        }
    }
}
