#pragma once
#include <string>

#include <ctime>

// The local time of day as "hh:mm:ss" (24-hour clock), now or at when.
std::string time_stamp();
std::string time_stamp(std::time_t when);
