#pragma once
// A TCP connection to sapsim with bounded waits, for POSIX and Winsock.
#include <string>
#include <vector>

struct Endpoint {
    std::string host;
    int port = 0;
};

// The most one reply may hold; a peer that sends more is cut off, so that no
// reply can exhaust the memory of a 32-bit process.
constexpr std::size_t max_reply_lines = 100000;
constexpr std::size_t max_reply_bytes = 16u << 20;

class Socket {
  public:
    Socket() = default;
    ~Socket();
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    // Connects within timeout_ms; on failure returns false with a reason.
    bool connect_to(const Endpoint &endpoint, int timeout_ms, std::string &reason);
    bool send_all(const std::string &data, std::string &reason);
    // Reads one message (lines up to an empty line) within timeout_ms.
    // Returns false with reason "timeout", "connection lost" or "reply too
    // long" (see the limits above).
    bool receive_message(std::vector<std::string> &lines, int timeout_ms, std::string &reason);
    void close();

  private:
#ifdef _WIN32
    unsigned long long fd_ = ~0ull;
#else
    int fd_ = -1;
#endif
    std::string buffer_;
};
