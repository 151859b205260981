#pragma once
#include "common/files.h"

// "ramgauge-profile test PROFILE [OPTIONS]": every step of a scan, one line
// each with OK or the failure and what to do. Returns the exit code: 0 the
// scan would succeed, 1 a step failed, 2 wrong usage.
extern const char *const usage_test;
int command_test(int argc, char **argv, const FileOpener &files);
