#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "common/files.h"
#include "config/global_sensor.h"
#include "run/context.h"

// Scans the systems of the list in up to ,PARALLEL= child processes of the
// program's own at once, and prints their answers in list order: the same
// output as run_in_sequence. Out of time, the systems still running count
// as failed. Returns 0, or 1 after a fatal RFC error.
int run_in_children(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);

// Argument 1 of a child process that scans one system for a parallel run.
// Longer than any profile name may be, so that no profile can take it.
constexpr const char *item_child_argument =
    "--ramgauge-child-scanning-one-system-of-a-parallel-item-run-not-by-hand";

// The child's side: argv as the parent wrote it (the mark and the parent's
// process id), the system and the run's values in one request on standard
// input. Prints what the run prints for the system; the exit code tells the
// outcome (2 for a command line or request it cannot take).
int run_item_child(int argc, const char *const *argv, const FileOpener &files);
