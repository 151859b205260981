#pragma once
#include <functional>
#include <string>

#include "common/files.h"
#include "config/global_sensor.h"
#include "run/context.h"
#include "run/summary.h"

// The list run: ITEM= on the command line, or a global sensor's line,
// names a list of systems ("A.P00#B.P00#...") and the figure to report for
// each; the answer is one channel a system and a summary.

enum class SystemOutcome { NotFound, Processed, Failed };

// Takes the first entry off the list and returns it.
std::string take_entry(std::string &list);
unsigned count_entries(const std::string &list);

// The label of a system's channel, by the list's selector: "2" the entry
// without its last four characters, "3" the host, "4" the destination,
// anything else the entry.
std::string channel_label(const std::string &selector, const std::string &entry,
                          const LogonParameters &p);

void count_outcome(SystemCounters &count, SystemOutcome outcome);

// Keeps the watchdog's view of the list in step with the run: the counters,
// whether a system is being scanned, and the entries not yet started.
void report_progress(RunContext &ctx, const SystemCounters &count, bool in_progress,
                     const std::string &list);

// The header lines and the document's header, as the list begins; and the
// summary that ends it (returns 0).
void begin_list(RunContext &ctx, const SystemCounters &count, const std::string &list);
int end_list(RunContext &ctx, const SystemCounters &count);

// Scans one system of the list: reads its profile (labels it lacks carry
// over from earlier profiles in ctx.logon), logs on and measures the item.
// Prints what the run prints for the system (the SapRfc line, its channel,
// its state line). started is called once the profile is open.
SystemOutcome scan_system(RunContext &ctx, const std::string &entry,
                          const std::string &label_selector, const FileOpener &files,
                          const std::function<void()> &started);

// The systems one after the other (list_sequence.cpp).
int run_in_sequence(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);

// Scans every system of the list and reports the item for each, then the
// summary. Returns 0; 1 after a fatal RFC error, whose answer ends the
// output. With ,PARALLEL= above 1 (in the XML modes) up to that many systems
// are scanned at once, each in a child process of the program's own, and
// their answers are printed in list order: the same output as one after the
// other. Out of time, the systems still running count as failed.
int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);
