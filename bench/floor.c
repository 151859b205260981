/* The floor of one scan's cost: a static C client that does exactly the
 * network work of one ramgauge scan against sapsim (connect, logon, call
 * GET_MEM_ALL, read the reply) and prints the same XML answer, with nothing
 * else: no profile, no RFC library, no checks. The benchmark compares the
 * sensor against it.
 *
 * Built dynamically with -DREQUIRED_WORK it also does what any sensor of
 * this kind must do besides: it is linked against libc (as a program that
 * loads SAP's library must be), loads ./librfc32.so, and makes and closes
 * one plain TCP connection to the gateway before each logon (the
 * reachability check). That is the least such a sensor can cost.
 *
 *   floor PORT [SYSTEMS]    SYSTEMS > 0: item mode, one logon and call per
 *                           system in one process, like "ITEM=".
 */
#include <arpa/inet.h>
#ifdef REQUIRED_WORK
#include <dlfcn.h>
#endif
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static char reply[1 << 16];

/* Sends a request and reads replies up to the empty line that ends the
 * last of them. */
static int exchange(int fd, const char *request, int replies) {
    size_t length = strlen(request), sent = 0, got = 0;
    while (sent < length) {
        ssize_t n = send(fd, request + sent, length - sent, 0);
        if (n <= 0) return -1;
        sent += (size_t)n;
    }
    for (;;) {
        ssize_t n = recv(fd, reply + got, sizeof reply - 1 - got, 0);
        if (n <= 0) return -1;
        got += (size_t)n;
        reply[got] = 0;
        int ended = 0;
        for (const char *at = reply; (at = strstr(at, "\n\n")) != NULL; at += 2)
            ++ended;
        if (ended >= replies) return 0;
        if (got >= sizeof reply - 1) return -1;
    }
}

static int int32_at(const unsigned char *line, int offset) {
    return (int)((unsigned)line[offset] | (unsigned)line[offset + 1] << 8 |
                 (unsigned)line[offset + 2] << 16 | (unsigned)line[offset + 3] << 24);
}

/* Logs on and calls; fills the 48-byte line of the last table row. */
static int scan(int port, unsigned char line[48]) {
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
#ifdef REQUIRED_WORK
    int check = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (check < 0 || connect(check, (struct sockaddr *)&address, sizeof address) != 0) return -1;
    close(check);
#endif
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int ok = fd >= 0 && connect(fd, (struct sockaddr *)&address, sizeof address) == 0 &&
             exchange(fd, "CONNECT\nhost sapprd\nsysnr 00\ndest PRD\n\n", 1) == 0 &&
             strncmp(reply, "OK\n", 3) == 0 &&
             exchange(fd,
                      "LOGON\nclient 100\nuser MONITOR\npasswd secret1\nlang E\n\n"
                      "CALL GET_MEM_ALL\nexport LOCAL_REMOTE 4c4f43414c20\n"
                      "export LOGICAL_DESTINATION "
                      "2020202020202020202020202020202020202020202020202020202020202020\n"
                      "table TF_MEM_ALL 48\n\n",
                      2) == 0 &&
             strncmp(reply, "OK\n\n", 4) == 0;
    if (fd >= 0) close(fd);
    const char *row = ok ? strstr(reply, "row TF_MEM_ALL ") : NULL;
    if (!row) return -1;
    const char *last;
    while ((last = strstr(row + 1, "row TF_MEM_ALL ")) != NULL)
        row = last;
    row += strlen("row TF_MEM_ALL ");
    for (int i = 0; i < 48; ++i) {
        unsigned value;
        if (sscanf(row + 2 * i, "%2x", &value) != 1) return -1;
        line[i] = (unsigned char)value;
    }
    return 0;
}

static void megabytes(char *out, int kilobytes) {
    sprintf(out, "%d", kilobytes / 1000);
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: floor PORT [SYSTEMS]\n");
        return 2;
    }
    int port = atoi(argv[1]);
#ifdef REQUIRED_WORK
    if (!dlopen("./librfc32.so", RTLD_NOW | RTLD_LOCAL)) {
        fprintf(stderr, "floor: %s\n", dlerror());
        return 2;
    }
#endif
    int systems = argc > 2 ? atoi(argv[2]) : 0;
    unsigned char line[48];
    if (systems > 0) {
        int processed = 0;
        fputs("\n<Prtg>\n\n", stdout);
        for (int n = 0; n < systems; ++n) {
            if (scan(port, line) != 0) continue;
            ++processed;
            printf("\n<Result><Channel>S%04d.P00</Channel>\n<Value>%d</Value></Result>\n", n,
                   int32_at(line, 8));
        }
        printf("\n<Text>(***) Pages-In [/Sec]: NoSystems=%d, Processed=%d, Failed=%d </Text>\n"
               "\n</Prtg>\n\n",
               systems, processed, systems - processed);
        return 0;
    }
    if (scan(port, line) != 0) return 2;
    char phys[16], free_mb[16], swap[16];
    megabytes(phys, int32_at(line, 28));
    megabytes(free_mb, int32_at(line, 24));
    megabytes(swap, int32_at(line, 40));
    int swap_size = int32_at(line, 40), swap_free = int32_at(line, 36);
    int percent = swap_size / 100 ? swap_free / (swap_size / 100) : 0;
    printf("\n<Prtg>\n\n<Text>(PRD) Memory=%s MB, Free=%s MB, Swap=%s MB, Free=%d%%, PageIn=%d, "
           "PageOut=%d </Text>\n"
           "\n<Result><Channel>Physical-Mem Free</Channel>\n<Unit>Custom</Unit>\n"
           "<CustomUnit>MByte</CustomUnit>\n<Value>%s</Value></Result>\n"
           "\n<Result><Channel>SwapMemory Free</Channel>\n<Unit>Custom</Unit>\n"
           "<CustomUnit>PerCent</CustomUnit>\n<Value>%d</Value></Result>\n"
           "\n<Result><Channel>Pages-In [/Sec]</Channel>\n<Value>%d</Value></Result>\n"
           "\n<Result><Channel>Pages-Out [/Sec]</Channel>\n<Value>%d</Value></Result>\n"
           "\n</Prtg>\n",
           phys, free_mb, swap, percent, int32_at(line, 8), int32_at(line, 12), free_mb, percent,
           int32_at(line, 8), int32_at(line, 12));
    return 0;
}
