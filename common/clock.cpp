#include "common/clock.h"

#include <ctime>

std::string time_stamp() {
    std::time_t now = std::time(nullptr);
    char text[16] = "00:00:00";
    if (const std::tm *local = std::localtime(&now))
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    return text;
}
