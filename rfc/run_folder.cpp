#include "rfc/run_folder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/files.h"
#include "common/numbered_error.h"

namespace {

// Lines end as the library ends its own: in CRLF on Windows.
#ifdef _WIN32
constexpr char separator = '\\';
constexpr const char *line_end = "\r\n";
#else
constexpr char separator = '/';
constexpr const char *line_end = "\n";
#endif

// A whole file in memory, at most its last max bytes; empty when missing.
std::string read_tail(const std::string &native, long long max) {
    std::FILE *in = std::fopen(native.c_str(), "rb");
    if (!in) return "";
    InputFile file(in);
    long long size = file.size();
    if (size > max) file.seek(size - max);
    return file.read_rest();
}

// Earlier runs killed before they could clean up left their folders. Only
// the user's own folder of run folders is swept, and only folders of the
// user's in it are removed, through the held folder (never by a path looked
// up again); a bounded number of entries is looked at each time.
void sweep_dead_runs(const HeldFolder &parent) {
    unsigned long me = process_id();
    for (const std::string &name : parent.entries(max_swept_entries)) {
        unsigned long process = 0;
        if (!run_folder_process(name, process) || process == me || process_running(process))
            continue;
        parent.empty_subfolder(name, true);
    }
}

#ifndef _WIN32
// A run folder lives for about a millisecond. On a disk's file system its
// creation and removal can cost more than the rest of a scan (a removed
// folder's block may be discarded on the device before rmdir returns), so
// on Linux it goes to memory-backed /dev/shm, unless TMPDIR names a folder.
std::string temporary_base() {
    const char *chosen = std::getenv("TMPDIR");
    if ((!chosen || !*chosen) && ::access(memory_folder, W_OK | X_OK) == 0)
        return std::string(memory_folder) + "/";
    return temporary_directory();
}
#else
std::string temporary_base() {
    return temporary_directory();
}
#endif

// The user's own folder of run folders in base (which ends in a separator).
bool open_user_parent(const std::string &base, HeldFolder &parent) {
    std::string tag = user_folder_tag();
    return !tag.empty() && parent.open_private(base + run_folder_prefix + tag);
}

std::string hex(unsigned long long value, int digits) {
    static const char symbols[] = "0123456789abcdef";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = symbols[value & 15];
    return text;
}

std::string trace_header(const std::string &profile) {
    char when[32] = "";
    std::time_t now = std::time(nullptr);
    if (const std::tm *local = std::localtime(&now))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
    return std::string(line_end) + "**** Ramgauge " + when + " profile " + profile + " process " +
           std::to_string(process_id()) + line_end;
}

// A claim on the folder's files for one piece of work, taken and given back
// under the lock but held without it. claimed() is false when there is no
// folder or another thread has claimed it.
class FolderWork {
  public:
    explicit FolderWork(RunFolder &folder) : folder_(folder) {
        std::lock_guard<std::mutex> hold(folder.lock);
        if (folder.busy || folder.path.empty()) return;
        folder.busy = claimed_ = true;
        path = folder.path;
        start = folder.start;
        profile = folder.profile;
        in_session = folder.in_session;
    }
    ~FolderWork() {
        if (!claimed_) return;
        std::lock_guard<std::mutex> hold(folder_.lock);
        folder_.busy = false;
        folder_.in_session = in_session;
        if (removed) folder_.path.clear();
    }
    FolderWork(const FolderWork &) = delete;
    FolderWork &operator=(const FolderWork &) = delete;
    bool claimed() const { return claimed_; }

    std::string path, start, profile;
    bool in_session = false, removed = false;

    void end_session() {
        if (in_session) change_directory(start);
        in_session = false;
    }
    // Ends the session and empties the folder; the trace lines first.
    void finish(bool keep_trace) {
        end_session();
        if (keep_trace) {
            std::string lines = read_tail(path + library_trace_file, max_shared_trace_size / 2);
            if (!lines.empty()) {
                if (lines.back() != '\n') lines += line_end;
                append_shared_trace(start + shared_trace_file, trace_header(profile) + lines);
            }
        }
    }

  private:
    RunFolder &folder_;
    bool claimed_ = false;
};

} // namespace

bool run_folder_process(const std::string &name, unsigned long &process) {
    std::string prefix = run_folder_prefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t at = prefix.size(), digits = 0;
    unsigned long long id = 0;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9' && digits < 10; ++at, ++digits)
        id = id * 10 + static_cast<unsigned>(name[at] - '0');
    if (digits == 0 || at >= name.size() || name[at] != '-' || at + 1 == name.size()) return false;
    process = static_cast<unsigned long>(id);
    return id <= 0xffffffffULL;
}

void create_run_folder(RunFolder &folder, bool sweep) {
    // Nothing of the record is published before the end: the watchdog
    // leaves a run without a folder alone.
    std::string base = temporary_base();
    HeldFolder &parent = folder.parent;
    bool own = open_user_parent(base, parent);
    if (!own) {
        std::string shared = base;
        if (shared.size() > 1) shared.pop_back();
        if (!parent.open_shared(shared))
            throw NumberedError("Error 1027: No folder for the RFC library can be created in " +
                                base + " !");
    }
    if (own && sweep) sweep_dead_runs(parent);
    auto seed = static_cast<unsigned long long>(
                    std::chrono::steady_clock::now().time_since_epoch().count()) ^
                reinterpret_cast<std::uintptr_t>(&folder);
    std::string base_name = run_folder_prefix + std::to_string(process_id()) + "-";
    for (int attempt = 0; attempt < 8; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        std::string name = base_name + hex(seed >> 32, 8);
        if (!parent.make_subfolder(name)) continue;
        std::string path = parent.path() + separator + name;
        set_environment("RFC_INI", path + separator + "SapRfc.ini");
        set_environment("RFC_TRACE_DIR", path);
        std::string start = current_directory();
        std::lock_guard<std::mutex> hold(folder.lock);
        folder.start = start;
        folder.name = name;
        folder.own_parent = own;
        folder.path = path + separator;
        return;
    }
    throw NumberedError("Error 1027: No folder for the RFC library can be created in " +
                        parent.path() + " !");
}

void sweep_run_folders() {
    HeldFolder parent;
    if (open_user_parent(temporary_base(), parent)) sweep_dead_runs(parent);
}

std::string run_folder_file(RunFolder &folder, const char *name) {
    std::lock_guard<std::mutex> hold(folder.lock);
    return folder.path + name;
}

std::string start_folder_file(RunFolder &folder, const char *name) {
    std::lock_guard<std::mutex> hold(folder.lock);
    return folder.start + name;
}

void begin_session(RunFolder &folder, const std::string &profile) {
    {
        std::lock_guard<std::mutex> hold(folder.lock);
        folder.profile = profile;
    }
    FolderWork work(folder);
    if (work.claimed()) work.in_session = change_directory(work.path);
}

void end_session(RunFolder &folder) {
    FolderWork work(folder);
    if (work.claimed()) work.end_session();
}

void finish_session(RunFolder &folder, bool keep_trace) {
    FolderWork work(folder);
    if (!work.claimed()) return;
    work.finish(keep_trace);
    folder.parent.empty_subfolder(folder.name, false);
}

void remove_run_folder(RunFolder &folder, bool keep_trace) {
    FolderWork work(folder);
    if (!work.claimed()) return;
    work.removed = true;
    // Empty after its last session, as a rule: then one call removes it.
    if (!work.in_session && !keep_trace && folder.parent.remove_empty_subfolder(folder.name))
        return;
    work.finish(keep_trace);
    folder.parent.empty_subfolder(folder.name, true);
}

void remove_run_folder_briefly(RunFolder &folder, bool keep_trace) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> removed = done->get_future();
    std::thread([&folder, keep_trace, done] {
        remove_run_folder(folder, keep_trace);
        done->set_value();
    }).detach();
    removed.wait_for(cleanup_margin);
}

void append_shared_trace(const std::string &path, const std::string &block) {
    AppendFile file;
    if (file.open(path, max_shared_trace_size)) file.append(block);
}
