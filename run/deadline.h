#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "output/document.h"
#include "run/options.h"

// What the watchdog needs to answer for a run that did not finish in time.
// The run updates it as it goes; everything is read and written under lock.
struct DeadlineState {
    std::mutex lock;
    std::condition_variable wake;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    unsigned seconds = default_timeout_seconds;
    // The run has answered; exit_code is its process's. Should the process
    // still be there at the deadline (a library hanging as it unloads), the
    // watchdog ends it with that code, since PRTG would kill it and keep
    // nothing.
    bool finished = false;
    int exit_code = 0;

    OutputMode mode = OutputMode::EXEXML;
    ChannelChoice channel;   // for the framing of the summary
    std::string destination; // named in the single-system answer
    bool list = false;       // a list run
    std::string item_name;
    unsigned NoSystems = 0, Processed = 0, Failed = 0;
    bool system_in_progress = false;
    unsigned systems_not_started = 0;
};

struct RunFolder;

// Starts the watchdog thread, which shares the state and the run folder
// with the run. When the run has not answered within state.seconds of
// state.started, the watchdog seizes standard output, prints the answer for
// a run out of time, gives the removal of the run folder (keeping the
// session's trace lines) cleanup_margin at most, and ends the process: exit
// code 2 for one system ("Error 1020: ..."), 0 for a list (its summary with
// the systems left counted as failed).
void start_watchdog(const std::shared_ptr<DeadlineState> &state,
                    const std::shared_ptr<RunFolder> &folder);

// Moves the deadline to seconds after the start.
void set_deadline(DeadlineState &state, unsigned seconds);

// Tells the watchdog that the run has answered with exit_code. It is not
// waited for: it sleeps on until the process ends.
void stop_watchdog(DeadlineState &state, int exit_code);

// The answer of a run out of time, as the watchdog prints it.
std::string timeout_answer(const DeadlineState &state, bool document_open, int &exit_code);
