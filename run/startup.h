#pragma once
#include "run/context.h"

constexpr const char *program_name = "Ramgauge";
constexpr const char *program_version = "Vers 4.3 / 29.08.22";

constexpr std::size_t max_profile_name = 63;

// Banner, defaults, argument check, option string, ",TIMEOUT=",
// ",PARALLEL=", ",CONNECT=" and "ITEM=". Throws NumberedError (1001, 1016,
// 1021, 1028, 1009).
void start_up(RunContext &ctx, int argc, const char *const *argv);
