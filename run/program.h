#pragma once
#include "common/files.h"

// The whole sensor run; returns the process exit code.
int run_program(int argc, const char *const *argv, const FileOpener &files);
