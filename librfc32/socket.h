#ifndef RAMGAUGE_SOCKET_H
#define RAMGAUGE_SOCKET_H
/* A TCP connection to sapsim with bounded waits, for POSIX and Winsock. */
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The most one reply may hold; a peer that sends more is cut off, so that no
 * reply can exhaust the memory of a 32-bit process. */
#define MAX_REPLY_LINES 100000
#define MAX_REPLY_BYTES (16u << 20)

typedef struct {
#ifdef _WIN32
    unsigned long long fd;
#else
    int fd;
#endif
    char *buffer; /* what arrived and is not yet handed out */
    size_t used, size;
    size_t scanned, scan_lines, scan_start; /* how far the message is read */
    char **lines;                           /* the last message's lines, pointing into message */
    char *message;
    size_t line_count;
} Socket;

void socket_init(Socket *s);

/* The port of a gateway service: "sapgw00" -> 3300, "3342" -> 3342,
 * anything else -> 0. */
int socket_service_port(const char *service);

/* Connects within timeout_ms; on failure returns 0 with a reason. */
int socket_connect(Socket *s, const char *host, int port, int timeout_ms, char *reason,
                   size_t reason_size);
int socket_send(Socket *s, const char *data, size_t length, char *reason, size_t reason_size);

/* Reads one message (lines up to an empty line) within timeout_ms into
 * s->lines and s->line_count. Returns 0 with the reason "timeout: ...",
 * "connection lost" or "reply too long (...)". */
int socket_receive(Socket *s, int timeout_ms, char *reason, size_t reason_size);
void socket_close(Socket *s);

/* The framing of socket_receive, without the network: takes the message at
 * the front of s->buffer[0..used) once its empty line has arrived, moving it
 * into s->message and splitting it into s->lines. Returns 1 then, 0 while it
 * is incomplete, -1 when it has more than max_lines lines or is incomplete
 * with more than max_bytes buffered. A later call goes on scanning where the
 * last one stopped. */
int socket_take_message(Socket *s, size_t max_lines, size_t max_bytes);

#ifdef __cplusplus
}
#endif

#endif
