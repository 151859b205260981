#include "common/clock.h"

#include <ctime>

std::string time_stamp() {
    return time_stamp(std::time(nullptr));
}

std::string time_stamp(std::time_t when) {
    char text[16] = "00:00:00";
    if (const std::tm *local = std::localtime(&when))
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    return text;
}
