#include "rfc/run_folder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

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

// Removes a folder with the files in it (the library leaves no subfolders).
void remove_tree(const std::string &native) {
    for (const std::string &name : folder_entries(native))
        std::remove((native + separator + name).c_str());
    remove_folder(native);
}

// Earlier runs killed before they could clean up left their folders (and,
// before run folders, their private copies "ramgauge-<pid>-SapRfc.ini").
void sweep_dead_runs(const std::string &temporary) {
    unsigned long me = process_id();
    for (const std::string &name : folder_entries(temporary)) {
        unsigned long process = 0;
        if (!run_folder_process(name, process) || process == me || process_running(process))
            continue;
        std::string native = temporary + name;
        if (!remove_folder(native) && std::remove(native.c_str()) != 0) remove_tree(native);
    }
}

#ifndef _WIN32
// A run folder lives for about a millisecond. On a disk's file system its
// creation and removal can cost more than the rest of a scan (a removed
// folder's block may be discarded on the device before rmdir returns), so
// on Linux it goes to memory-backed /dev/shm, unless TMPDIR names a folder.
std::string run_folder_parent() {
    const char *chosen = std::getenv("TMPDIR");
    if ((!chosen || !*chosen) && ::access(memory_folder, W_OK | X_OK) == 0)
        return std::string(memory_folder) + "/";
    return temporary_directory();
}
#else
std::string run_folder_parent() {
    return temporary_directory();
}
#endif

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

// With the lock held.
void end_session_locked(RunFolder &folder) {
    if (folder.in_session) change_directory(folder.start);
    folder.in_session = false;
}

void finish_locked(RunFolder &folder, bool keep_trace) {
    end_session_locked(folder);
    if (folder.path.empty()) return;
    std::string trace = folder.path + sap_trace_file;
    if (keep_trace) {
        std::string lines = read_tail(trace, max_shared_trace_size / 2);
        if (!lines.empty()) {
            if (lines.back() != '\n') lines += line_end;
            append_shared_trace(folder.start + sap_trace_file,
                                trace_header(folder.profile) + lines);
        }
    }
    for (const std::string &name : folder_entries(folder.path))
        std::remove((folder.path + name).c_str());
}

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
    std::lock_guard<std::mutex> hold(folder.lock);
    std::string temporary = run_folder_parent();
    folder.start = current_directory();
    if (sweep) sweep_dead_runs(temporary);
    auto seed = static_cast<unsigned long long>(
                    std::chrono::steady_clock::now().time_since_epoch().count()) ^
                reinterpret_cast<std::uintptr_t>(&folder);
    std::string base = temporary + run_folder_prefix + std::to_string(process_id()) + "-";
    for (int attempt = 0; attempt < 8; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        std::string path = base + hex(seed >> 32, 8);
        if (!make_private_folder(path)) continue;
        folder.path = path + separator;
        set_environment("RFC_INI", folder.path + "SapRfc.ini");
        set_environment("RFC_TRACE_DIR", path);
        return;
    }
    throw NumberedError("Error 1027: No folder for the RFC library can be created in " + temporary +
                        " !");
}

void sweep_run_folders() {
    sweep_dead_runs(run_folder_parent());
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
    std::lock_guard<std::mutex> hold(folder.lock);
    folder.profile = profile;
    if (folder.path.empty()) return;
    folder.in_session = change_directory(folder.path);
}

void end_session(RunFolder &folder) {
    std::lock_guard<std::mutex> hold(folder.lock);
    end_session_locked(folder);
}

void finish_session(RunFolder &folder, bool keep_trace) {
    std::lock_guard<std::mutex> hold(folder.lock);
    finish_locked(folder, keep_trace);
}

void remove_run_folder(RunFolder &folder, bool keep_trace) {
    std::lock_guard<std::mutex> hold(folder.lock);
    if (folder.path.empty()) return;
    std::string path = folder.path;
    path.pop_back();
    // Empty after its last session, as a rule: then one call removes it.
    if (folder.in_session || keep_trace || !remove_folder(path)) {
        finish_locked(folder, keep_trace);
        remove_folder(path);
    }
    folder.path.clear();
}

void append_shared_trace(const std::string &path, const std::string &block) {
    AppendFile file;
    if (!file.open(path)) return;
    long long size = file.size();
    if (size > 0 && size + static_cast<long long>(block.size()) > max_shared_trace_size) {
        file.close();
        rename_file(path, path + ".old");
        if (!file.open(path)) return;
    }
    file.append(block);
}
