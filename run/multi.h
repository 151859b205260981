#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "common/files.h"
#include "config/global_sensor.h"
#include "run/context.h"

struct SystemCounters {
    std::uint32_t NoSystems = 0, Processed = 0, Failed = 0;
};

enum class SystemOutcome { NotFound, Processed, Failed };

// Scans one system of the list: reads its profile (labels it lacks carry
// over from earlier profiles in ctx.logon), logs on and measures the item.
// Prints what the run prints for the system (the SapRfc line, its channel,
// its state line). started is called once the profile is open.
SystemOutcome scan_system(RunContext &ctx, const std::string &entry,
                          const std::string &label_selector, const FileOpener &files,
                          const std::function<void()> &started);

// Scans every system of the list and reports the item for each, then the
// summary. Returns 0; 1 after a fatal RFC error, whose answer ends the
// output. With ,PARALLEL= above 1 (in the XML modes) up to that many systems
// are scanned at once, each in a child process of the program's own, and
// their answers are printed in list order: the same output as one after the
// other. Out of time, the systems still running count as failed.
int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);

// Argument 1 of a child process that scans one system for a parallel run.
// Longer than any profile name may be, so that no profile can take it.
constexpr const char *item_child_argument =
    "--ramgauge-child-scanning-one-system-of-a-parallel-item-run-not-by-hand";

// The child's side: argv as the parent wrote it (the mark and the parent's
// process id), the system and the run's values in one request on standard
// input. Prints what the run prints for the system; the exit code tells the
// outcome (2 for a command line or request it cannot take).
int run_item_child(int argc, const char *const *argv, const FileOpener &files);
