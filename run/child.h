#pragma once
#include "common/files.h"

// Argument 1 of a child process that scans systems for a parallel run.
// Longer than any profile name may be, so that no profile can take it.
constexpr const char *item_child_argument =
    "--ramgauge-child-scanning-one-system-of-a-parallel-item-run-not-by-hand";

// The child's side: argv as the parent wrote it (the mark and the parent's
// process id). Takes one request after another from standard input (the
// system and the run's values, see child_protocol) and scans each system as
// the sequential loop does, in one run folder that is emptied between
// systems, with the library loaded once. For each it prints what the run
// prints for the system, then the request's trailer with the outcome. Ends
// with 0 when its input ends between requests, 2 for a command line or
// request it cannot take; a fatal RFC error ends it with its answer and 1.
int run_item_child(int argc, const char *const *argv, const FileOpener &files);
