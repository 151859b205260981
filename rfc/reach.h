#pragma once
#include <string>

// Tries a plain TCP connection to host:port within seconds and closes it
// at once: whether the partner's gateway answers at all, before the RFC
// library waits its own much longer time for it. False with why
// ("connection refused", "timeout after 5 s", "unknown host") otherwise.
bool reach_partner(const std::string &host, int port, unsigned seconds, std::string &why);
