#pragma once
#include <ctime>
#include <memory>
#include <set>
#include <string>

#include "config/logon_profile.h"
#include "measure/memory.h"
#include "output/document.h"
#include "output/limits.h"
#include "rfc/connection.h"
#include "rfc/failure.h"
#include "rfc/rfc_library.h"
#include "run/deadline.h"
#include "run/options.h"

// Everything one run of the sensor knows, built by start_up() and passed by
// reference to each step. One instance per process.
struct RunContext {
    std::string program_path; // argument 0, for the program log
    // The program's own folder in Windows form (ending in a backslash), or
    // empty: where a Script v2 sensor keeps its profiles and host file.
    std::string program_folder;
    bool mode_settled = false;  // by locate_profile
    std::time_t started_at = 0; // the start-up banner's time
    std::string argument2;      // as typed; names the sensor in the global file

    // The command line's options (their words joined with one blank), or
    // a global sensor's own, which replace them.
    RunOptions options;

    bool list_run = false; // ITEM= or a global sensor: one figure for each system of a list
    std::string item_name;
    // Progress lines for a run by hand: the command line's marks, also when
    // a global sensor's own options replace them.
    bool progress_display = false;

    std::string profile_file_name;
    std::string profile_directory; // empty, or ending in a backslash
    std::string profile_path;

    OutputDocument doc;
    // The limits file (Ramgauge.Limits) as found and read, once; a child
    // of a parallel list run gets its path and text in its request.
    std::string limits_path, limits_text;
    LimitsTable limits;
    LogonParameters logon;

    RfcApi rfc;
    RFC_ENV rfc_env{};
    std::unique_ptr<AppendFile> syslog = std::make_unique<AppendFile>(); // ",SYSLOG"
    ProgramLog log;
    FatalErrorContext fatal_context;
    ConnectionRecords connection;
    RFC_HANDLE handle = 0;
    MeasureState measure;
    std::set<std::int64_t> item_channel_ids; // Json ids given in this run

    // Shared with the deadline watchdog, which may outlive the run by the
    // moment the process takes to end, and with the fatal-error handler.
    std::shared_ptr<DeadlineState> deadline = std::make_shared<DeadlineState>();
    std::shared_ptr<RunFolder> folder = std::make_shared<RunFolder>();
};

// Takes the options for the run: the record, and the channel choice of its
// answer.
void set_options(RunContext &ctx, RunOptions options);

// The connection of the run's library, records, trace and folder, and the
// request for the system of the logon parameters as the options change it.
ConnectionContext connection_context(RunContext &ctx, const FileOpener &files);
ConnectionRequest connection_request(const RunContext &ctx, const std::string &profile);

// "* hh:mm:ss SAP Ramgauge Vers ..." with the time of start-up. Made when it
// is shown, so that a run without progress lines never reads the time zone.
std::string banner(const RunContext &ctx);
