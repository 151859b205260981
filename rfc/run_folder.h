#pragma once
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

#include "common/files.h"
#include "common/held_folder.h"

// The run's own folder for the RFC library's sessions. PRTG starts many
// sensors at once in one working folder; each run gives its library a folder
// of its own, so that the library's SapRfc.ini and Dev_Rfc.Trc are never
// another sensor's.
//
// Run folders live in a folder of the user's alone, "ramgauge-<uid>" (on
// Windows "ramgauge-<SID>") in the temporary folder (on Linux without TMPDIR,
// memory_folder), checked on every run: a real folder, not a link, owned by
// the user, with no rights for anyone else. Other local users share the
// temporary folder; they can neither plant anything among our run folders
// nor make the sweep of ended runs touch what is not ours. When the check
// fails (someone else took the name), the run makes its folder directly in
// the temporary folder and sweeps nothing.
//
// RFC_INI and RFC_TRACE_DIR name the folder from before the library is
// loaded (a library on a C runtime of its own copies the environment when it
// is loaded). Each session, from the open to the close, runs with the folder
// as the current directory; the sensor's own files are always reached
// through the folder the run started in (start).
//
// The deadline watchdog and the fatal-error handler end the run from other
// threads. The fields are read and written under lock, which is never held
// across file work: a thread that works on the folder's files claims it
// (busy) and lets go after; whoever finds it claimed leaves it alone, and
// what is left is swept by a later run. So no answer ever waits for a file.
struct RunFolder {
    std::mutex lock;
    std::string path;    // native, with its trailing separator; empty when none
    std::string start;   // the working folder at start-up, native, with separator
    std::string profile; // the profile of the session in progress, for the trace
    bool in_session = false;
    bool busy = false;       // a thread works on the folder's files
    std::string name;        // the folder's name in parent
    HeldFolder parent;       // written before path is set, then only read
    bool own_parent = false; // parent is the user's own folder of run folders
};

// The RFC library's trace in the run folder, and the shared trace of the
// working folder, where the traces of failed sessions are collected.
constexpr const char *library_trace_file = "Dev_Rfc.Trc";
constexpr const char *shared_trace_file = "Dev_Rfc.Trc";
// Where run folders go on Linux when TMPDIR is not set, if usable.
constexpr const char *memory_folder = "/dev/shm";
constexpr const char *run_folder_prefix = "ramgauge-";
// The shared trace never grows past this: it is renamed to Dev_Rfc.Trc.old.
constexpr long long max_shared_trace_size = max_shared_file_size;
// How many entries of the user's folder of run folders one sweep looks at.
constexpr std::size_t max_swept_entries = 1024;
// How long the watchdog and the fatal-error handler, having answered, give
// the removal of the run folder before the process ends all the same.
constexpr std::chrono::milliseconds cleanup_margin{250};

// Opens (creating it when missing) the user's folder of run folders, removes
// the folders of earlier runs whose process has ended (unless a parent has
// just done so for this run), creates this run's folder and points RFC_INI
// and RFC_TRACE_DIR at it. Throws NumberedError 1027 when no folder can be
// created.
void create_run_folder(RunFolder &folder, bool sweep = true);

// Removes the folders that runs which have ended left in the user's folder
// of run folders (killed before they could clean up).
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
// the folder itself is removed. Safe from any thread, any number of times;
// it does nothing while another thread works on the folder.
void remove_run_folder(RunFolder &folder, bool keep_trace);

// remove_run_folder for a thread that has answered and ends the process
// next: it waits for the removal cleanup_margin at most, so that a hung file
// system cannot keep the process from ending. The folder must outlive the
// process (the removal may go on in a thread of its own).
void remove_run_folder_briefly(RunFolder &folder, bool keep_trace);

// Appends block to the shared trace file at path in one write; when the file
// would pass max_shared_trace_size it is first renamed to path + ".old" (see
// AppendFile for what happens when that fails, and what is left alone).
void append_shared_trace(const std::string &path, const std::string &block);

// Whether a name in the temporary folder is a run folder ("ramgauge-<pid>-
// <random>") and, if so, its process id.
bool run_folder_process(const std::string &name, unsigned long &process);
