#pragma once
// The sensor's files and system calls, by concern: paths, files read,
// appended files, and the operating system.
#include "common/append_file.h"
#include "common/input_file.h"
#include "common/path.h"
#include "common/system.h"
