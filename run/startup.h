#pragma once
#include "run/context.h"

constexpr const char *program_name = "Ramgauge";
constexpr const char *program_version = "Vers 4.3 / 29.08.22";

constexpr std::size_t max_profile_name = 63;
constexpr std::size_t max_options = 127;

// Banner, defaults, argument check, option string, ",TIMEOUT=" and "ITEM=".
// Throws NumberedError (1001, 1016, 1021).
void start_up(RunContext &ctx, int argc, const char *const *argv);

// Sets the option string anew from the option copy, upper-cased.
void rebuild_option_string(RunContext &ctx);
