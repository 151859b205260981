#include "run/children.h"

#include <cstdio>

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

#ifdef _WIN32

namespace {

// Children are killed when this handle closes, that is when the parent
// process ends, however it ends.
HANDLE children_job() {
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectA(nullptr, nullptr);
        if (created) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                    sizeof limits);
        }
        return created;
    }();
    return job;
}

std::string quoted(const std::string &argument) {
    // Arguments are the program's path and hexadecimal texts: no quotes or
    // trailing backslashes that would need escaping.
    return "\"" + argument + "\"";
}

} // namespace

ChildProcess::~ChildProcess() {
    if (pipe_) CloseHandle(pipe_);
    if (process_) CloseHandle(process_);
}

bool ChildProcess::start(const std::vector<std::string> &arguments) {
    std::string program = running_program();
    std::string command = quoted(program);
    for (const std::string &argument : arguments)
        command += " " + quoted(argument);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE null_device =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = null_device;
    startup.StartupInfo.hStdOutput = write_end;
    startup.StartupInfo.hStdError = null_device;
    // Only these two handles are inherited, whatever else is inheritable.
    HANDLE passed[2] = {write_end, null_device};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> list(size);
    auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
    if (size && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, passed,
                                      null_device != INVALID_HANDLE_VALUE ? sizeof passed
                                                                          : sizeof passed[0],
                                      nullptr, nullptr)) {
            startup.lpAttributeList = attributes;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    PROCESS_INFORMATION info = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    BOOL created = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                  nullptr, nullptr, &startup.StartupInfo, &info);
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(attributes);
    CloseHandle(write_end);
    if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
    if (!created) {
        CloseHandle(read_end);
        return false;
    }
    if (HANDLE job = children_job()) AssignProcessToJobObject(job, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pipe_ = read_end;
    return true;
}

void ChildProcess::collect() {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe_, buffer, sizeof buffer, &n, nullptr) && n > 0)
        if (output.size() < max_output) output.append(buffer, n);
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code)) exit_code = static_cast<int>(code);
}

void ChildProcess::kill() {
    if (process_) TerminateProcess(process_, 255);
}

void end_with_parent(unsigned long) {}

void binary_standard_output() {
    _setmode(_fileno(stdout), _O_BINARY);
}

#else

ChildProcess::~ChildProcess() {
    if (pipe_ >= 0) ::close(pipe_);
}

bool ChildProcess::start(const std::vector<std::string> &arguments) {
    std::string program = running_program();
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    // Every other descriptor of ours is close-on-exec.
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    if (failed) {
        ::close(ends[0]);
        return false;
    }
    pid_ = pid;
    pipe_ = ends[0];
    return true;
}

void ChildProcess::collect() {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(pipe_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < max_output) output.append(buffer, static_cast<std::size_t>(n));
    }
    // Waits without reaping, so that kill() never meets a reused id.
    siginfo_t info;
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    std::lock_guard<std::mutex> hold(lock_);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    std::lock_guard<std::mutex> hold(lock_);
    if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
}

void end_with_parent(unsigned long parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (static_cast<unsigned long>(::getppid()) != parent) std::_Exit(2);
}

void binary_standard_output() {}

#endif
