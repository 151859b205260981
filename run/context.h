#pragma once
#include <ctime>
#include <memory>
#include <string>

#include "config/logon_profile.h"
#include "measure/memory.h"
#include "output/document.h"
#include "rfc/connection.h"
#include "rfc/failure.h"
#include "rfc/rfc_library.h"
#include "run/deadline.h"

// Everything one run of the sensor knows, built by start_up() and passed by
// reference to each step. One instance per process.
struct RunContext {
    std::string program_path; // argument 0, for the trace log
    // The program's own folder in Windows form (ending in a backslash), or
    // empty: where a Script v2 sensor keeps its profiles and host file.
    std::string program_folder;
    bool mode_settled = false;  // by locate_profile
    std::time_t started_at = 0; // the start-up banner's time
    std::string argument2;      // as typed; names the sensor in the global file

    // Option words joined with one blank: upper-cased, and as typed.
    std::string option_string;
    std::string option_copy;
    // The options as typed (or the global sensor's own), never trimmed by the
    // progress lines: where ",HOST=" and ",NO=" values are taken from.
    std::string option_text;

    bool item_mode = false;
    unsigned timeout_seconds = default_timeout_seconds;
    unsigned parallel = default_parallel;               // systems scanned at once in item mode
    unsigned connect_seconds = default_connect_seconds; // the reachability check, 0: none
    std::string item_name;
    bool progress_display = false;

    std::string profile_file_name;
    std::string profile_directory; // empty, or ending in a backslash
    std::string profile_path;

    OutputDocument doc;
    LogonParameters logon;

    RfcApi rfc;
    RFC_ENV rfc_env{};
    std::unique_ptr<AppendFile> syslog = std::make_unique<AppendFile>(); // ",SYSLOG"
    RfcTrace trace;
    FatalErrorContext fatal_context;
    ConnectionRecords connection;
    RFC_HANDLE handle = 0;
    MeasureState measure;

    // Shared with the deadline watchdog, which may outlive the run by the
    // moment the process takes to end, and with the fatal-error handler.
    std::shared_ptr<DeadlineState> deadline = std::make_shared<DeadlineState>();
    std::shared_ptr<RunFolder> folder = std::make_shared<RunFolder>();
};

bool has_option(const RunContext &ctx, const char *keyword);

// "* hh:mm:ss SAP Ramgauge Vers ..." with the time of start-up. Made when it
// is shown, so that a run without progress lines never reads the time zone.
std::string banner(const RunContext &ctx);
