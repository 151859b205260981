#pragma once
#include "run/context.h"

constexpr const char *program_name = "Ramgauge";
constexpr const char *program_version = "Vers 4.3 / 29.08.22";

constexpr std::size_t max_profile_name = 63;
constexpr unsigned max_parallel = 64;
constexpr unsigned max_connect_seconds = 60;
constexpr std::size_t max_options = 127;

// Banner, defaults, argument check, option string, ",TIMEOUT=",
// ",PARALLEL=", ",CONNECT=" and "ITEM=". Throws NumberedError (1001, 1016,
// 1021, 1028, 1009).
void start_up(RunContext &ctx, int argc, const char *const *argv);

// ",PARALLEL=" and ",CONNECT=" from the option string, with fallbacks for
// when they are absent. Throw NumberedError 1028 and 1009.
unsigned read_parallel(const RunContext &ctx, unsigned fallback);
unsigned read_connect_seconds(const RunContext &ctx, unsigned fallback);

// Sets the option string anew from the option copy, upper-cased.
void rebuild_option_string(RunContext &ctx);
