#include "librfc32/socket.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET socket_t;
#define INVALID_FD INVALID_SOCKET
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
#endif

static void ensure_sockets(void) {
#ifdef _WIN32
    static int started = 0;
    if (!started) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        started = 1;
    }
#endif
}

static long long now_ms(void) {
#ifdef _WIN32
    return (long long)GetTickCount();
#else
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
#endif
}

/* Waits until the socket is readable (or writable); 0 on timeout. */
static int wait_for(socket_t fd, int write, int timeout_ms) {
#ifdef _WIN32
    fd_set set, error_set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    FD_ZERO(&error_set);
    FD_SET(fd, &error_set);
    struct timeval tv = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, write ? NULL : &set, write ? &set : NULL, &error_set, &tv) > 0;
#else
    struct pollfd p = {fd, (short)(write ? POLLOUT : POLLIN), 0};
    int n;
    do {
        n = poll(&p, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    return n > 0;
#endif
}

static void set_blocking(socket_t fd, int blocking) {
#ifdef _WIN32
    u_long mode = blocking ? 0 : 1;
    ioctlsocket(fd, FIONBIO, &mode);
#else
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

static void close_fd(socket_t fd) {
#ifdef _WIN32
    closesocket(fd);
#else
    close(fd);
#endif
}

void socket_init(Socket *s) {
    memset(s, 0, sizeof *s);
    s->fd = INVALID_FD;
}

void socket_close(Socket *s) {
    if ((socket_t)s->fd != INVALID_FD) close_fd((socket_t)s->fd);
    free(s->buffer);
    free(s->lines);
    free(s->message);
    socket_init(s);
}

int socket_connect(Socket *s, const char *host, int port, int timeout_ms, char *reason,
                   size_t reason_size) {
    ensure_sockets();
    socket_close(s);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)port);
    /* A numeric address needs no resolver, which is most of what a scan
     * would otherwise load and touch. */
    address.sin_addr.s_addr = inet_addr(host);
    if (address.sin_addr.s_addr == INADDR_NONE) {
        char service[16];
        snprintf(service, sizeof service, "%d", port);
        struct addrinfo hints, *found = NULL;
        memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        if (getaddrinfo(host, service, &hints, &found) != 0 || !found) {
            snprintf(reason, reason_size, "partner %s:%d not reached: unknown host %s", host, port,
                     host);
            return 0;
        }
        address.sin_addr = ((struct sockaddr_in *)found->ai_addr)->sin_addr;
        freeaddrinfo(found);
    }
    socket_t fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd == INVALID_FD) {
        snprintf(reason, reason_size, "partner %s:%d not reached: no socket", host, port);
        return 0;
    }
    set_blocking(fd, 0);
    int connected = connect(fd, (struct sockaddr *)&address, sizeof address) == 0;
    if (!connected) {
#ifdef _WIN32
        int pending = WSAGetLastError() == WSAEWOULDBLOCK;
#else
        int pending = errno == EINPROGRESS;
#endif
        if (pending && wait_for(fd, 1, timeout_ms)) {
            int so_error = 0;
            socklen_t length = sizeof so_error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, (char *)&so_error, &length);
            connected = so_error == 0;
            if (!connected)
                snprintf(reason, reason_size, "partner %s:%d not reached: connection refused", host,
                         port);
        } else if (pending) {
            snprintf(reason, reason_size, "partner %s:%d not reached: timeout after %d s", host,
                     port, timeout_ms / 1000);
        } else {
            snprintf(reason, reason_size, "partner %s:%d not reached: connection refused", host,
                     port);
        }
    }
    if (!connected) {
        close_fd(fd);
        return 0;
    }
    set_blocking(fd, 1);
    s->fd = fd;
    return 1;
}

int socket_send(Socket *s, const char *data, size_t length, char *reason, size_t reason_size) {
    size_t sent = 0;
    while (sent < length) {
#ifdef _WIN32
        int n = send((socket_t)s->fd, data + sent, (int)(length - sent), 0);
#else
        ssize_t n = send(s->fd, data + sent, length - sent, MSG_NOSIGNAL);
#endif
        if (n <= 0) {
            snprintf(reason, reason_size, "connection lost");
            return 0;
        }
        sent += (size_t)n;
    }
    return 1;
}

int socket_take_message(Socket *s, size_t max_lines, size_t max_bytes) {
    /* The scan goes on where the last one stopped, so that a long reply
     * arriving in pieces is read once. */
    size_t lines = s->scan_lines, start = s->scan_start;
    for (size_t i = s->scanned; i < s->used; ++i) {
        if (s->buffer[i] != '\n') continue;
        if (i == start) {
            s->scanned = s->scan_lines = s->scan_start = 0;
            free(s->message);
            free(s->lines);
            s->message = malloc(i + 1);
            s->lines = malloc((lines + 1) * sizeof *s->lines);
            if (!s->message || !s->lines) return -1;
            memcpy(s->message, s->buffer, i);
            s->line_count = 0;
            size_t from = 0;
            for (size_t j = 0; j < i; ++j)
                if (s->buffer[j] == '\n') {
                    s->message[j] = '\0';
                    s->lines[s->line_count++] = s->message + from;
                    from = j + 1;
                }
            memmove(s->buffer, s->buffer + i + 1, s->used - i - 1);
            s->used -= i + 1;
            return 1;
        }
        if (++lines > max_lines) return -1;
        start = i + 1;
    }
    s->scanned = s->used;
    s->scan_lines = lines;
    s->scan_start = start;
    return s->used > max_bytes ? -1 : 0;
}

int socket_receive(Socket *s, int timeout_ms, char *reason, size_t reason_size) {
    long long deadline = now_ms() + timeout_ms;
    for (;;) {
        int taken = socket_take_message(s, MAX_REPLY_LINES, MAX_REPLY_BYTES);
        if (taken > 0) return 1;
        if (taken < 0) {
            snprintf(reason, reason_size, "reply too long (over %d lines or %u MB)",
                     MAX_REPLY_LINES, MAX_REPLY_BYTES >> 20);
            return 0;
        }
        long long left = deadline - now_ms();
        if (left <= 0 || !wait_for((socket_t)s->fd, 0, (int)left)) {
            snprintf(reason, reason_size, "timeout: no reply within %d s", timeout_ms / 1000);
            return 0;
        }
        if (s->size - s->used < 4096) {
            size_t size = s->size ? s->size * 2 : 8192;
            char *grown = realloc(s->buffer, size);
            if (!grown) {
                snprintf(reason, reason_size, "reply too long (no memory)");
                return 0;
            }
            s->buffer = grown;
            s->size = size;
        }
        int n = (int)recv((socket_t)s->fd, s->buffer + s->used, (int)(s->size - s->used), 0);
        if (n <= 0) {
            snprintf(reason, reason_size, "connection lost");
            return 0;
        }
        s->used += (size_t)n;
    }
}

int socket_service_port(const char *service) {
    int gateway_name = strncmp(service, "sapgw", 5) == 0;
    const char *digits = gateway_name ? service + 5 : service;
    size_t n = strlen(digits);
    if (n == 0 || n > 5) return 0;
    for (size_t i = 0; i < n; ++i)
        if (!isdigit((unsigned char)digits[i])) return 0;
    return gateway_name ? 3300 + atoi(digits) : atoi(digits);
}
