#pragma once
#include <string>

// Upper-cases the ASCII letters a-z only; other bytes stay as they are, so
// the result does not depend on the locale.
inline std::string upper_ascii(std::string text) {
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}
