#pragma once
#include <chrono>
#include <string>

// A plain TCP connection to a partner's gateway, tried and closed at once:
// whether the gateway answers at all, before the RFC library waits its own
// much longer time for it. start() sets it under way without waiting, so
// that the sensor's own work overlaps the partner's answer; finish() waits
// for what is left of the time limit.
class PartnerProbe {
  public:
    PartnerProbe() = default;
    PartnerProbe(const PartnerProbe &) = delete;
    PartnerProbe &operator=(const PartnerProbe &) = delete;
    // A check under way moves with its socket.
    PartnerProbe(PartnerProbe &&other) noexcept;
    PartnerProbe &operator=(PartnerProbe &&other) noexcept;
    ~PartnerProbe();

    // Resolves host (numbers need no resolver) and starts connecting to its
    // first address on port; all its addresses share one limit of seconds.
    // A connection taken at once is closed at once.
    void start(const std::string &host, int port, unsigned seconds);
    bool started() const { return started_; }
    // True when one address took the connection (or none was started).
    // False with why ("connection refused", "timeout after 5 s", "unknown
    // host") otherwise.
    bool finish(std::string &why);

  private:
    void close();

    bool started_ = false;
    bool unknown_host_ = false;
    unsigned seconds_ = 0;
    int result_ = 0;             // of the first address: 1 connected, 0 failed, -1 under way
    long long socket_ = -1;      // a SOCKET or a descriptor; -1 (INVALID_SOCKET) when none
    void *addresses_ = nullptr;  // the resolver's list, when the host is a name
    const void *next_ = nullptr; // its address to try next
    std::chrono::steady_clock::time_point due_;
};

// start() and finish() in one.
bool reach_partner(const std::string &host, int port, unsigned seconds, std::string &why);
