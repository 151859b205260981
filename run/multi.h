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

// The list's parts that the sequential loop and the parallel run share.

// Takes the first entry off a list of entries each ended by "#" (the last
// one's "#" may be missing); count_entries counts them.
std::string take_entry(std::string &list);
unsigned count_entries(const std::string &list);

// Keeps the watchdog's view of the list in step with the run: the counters,
// whether a system is in progress, and the entries not yet started.
void report_progress(RunContext &ctx, const SystemCounters &count, bool in_progress,
                     const std::string &list);

// Header lines and the document's header, as the run begins.
void begin_list(RunContext &ctx, const SystemCounters &count, const std::string &list);

// The summary that ends the list's answer; returns the exit code, 0.
int end_list(RunContext &ctx, const SystemCounters &count);

void count_outcome(SystemCounters &count, SystemOutcome outcome);
