#pragma once
#include <stdexcept>
#include <string>

// A numbered error ("Error 10xx: ..."). Whoever catches it turns the message
// into the error answer, prints it and ends the process with exit code 2.
struct NumberedError : std::runtime_error {
    explicit NumberedError(const std::string &message) : std::runtime_error(message) {}
};
