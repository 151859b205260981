#pragma once
#include <mutex>
#include <string>

// The run's own folder for the RFC library's sessions. PRTG starts many
// sensors at once in one working folder; each run gives its library a folder
// of its own in the system's temporary folder (on Linux without TMPDIR,
// memory_folder), so that the library's SapRfc.ini and Dev_Rfc.Trc are
// never another sensor's.
//
// RFC_INI and RFC_TRACE_DIR name the folder from before the library is
// loaded (a library on a C runtime of its own copies the environment when it
// is loaded). Each session, from the open to the close, runs with the folder
// as the current directory; the sensor's own files are always reached
// through the folder the run started in (start).
//
// Every member is used under lock: the deadline watchdog and the fatal-error
// handler end the run from other threads.
struct RunFolder {
    std::mutex lock;
    std::string path;    // native, with its trailing separator; empty when none
    std::string start;   // the working folder at start-up, native, with separator
    std::string profile; // the profile of the session in progress, for the trace
    bool in_session = false;
};

constexpr const char *sap_trace_file = "Dev_Rfc.Trc";
// Where run folders go on Linux when TMPDIR is not set, if usable.
constexpr const char *memory_folder = "/dev/shm";
constexpr const char *run_folder_prefix = "ramgauge-";
// The shared trace never grows past this: it is renamed to Dev_Rfc.Trc.old.
constexpr long long max_shared_trace_size = 1024 * 1024;

// Removes the folders of earlier runs whose process has ended (unless a
// parent has just done so for this run), creates this run's folder and
// points RFC_INI and RFC_TRACE_DIR at it. Throws NumberedError 1027 when no
// folder can be created.
void create_run_folder(RunFolder &folder, bool sweep = true);

// Removes the folders that runs which have ended left in the temporary
// folder (killed before they could clean up).
void sweep_run_folders();

// The path of a file in the run folder, and of one in the start folder.
std::string run_folder_file(RunFolder &folder, const char *name);
std::string start_folder_file(RunFolder &folder, const char *name);

// A library session for profile begins: the run folder becomes the current
// directory. end_session returns to the start folder; it may be called more
// than once.
void begin_session(RunFolder &folder, const std::string &profile);
void end_session(RunFolder &folder);

// Ends the session and empties the folder for the next one. After a failure
// (keep_trace) the library's trace lines of the session are first appended
// to the shared Dev_Rfc.Trc of the start folder, under a header line with
// the time, the profile and the process id, in one write.
void finish_session(RunFolder &folder, bool keep_trace);

// Ends the run's use of the folder on any way out: like finish_session, then
// the folder itself is removed. Safe from any thread, any number of times.
void remove_run_folder(RunFolder &folder, bool keep_trace);

// Appends block to the shared trace file at path in one write; when the file
// would pass max_shared_trace_size it is first renamed to path + ".old".
void append_shared_trace(const std::string &path, const std::string &block);

// Whether a name in the temporary folder is a run folder ("ramgauge-<pid>-
// <random>") and, if so, its process id.
bool run_folder_process(const std::string &name, unsigned long &process);
