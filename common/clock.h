#pragma once
#include <string>

// The local time of day as "hh:mm:ss" (24-hour clock).
std::string time_stamp();
