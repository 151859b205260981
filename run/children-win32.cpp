#include "run/children.h"

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <utility>
#include <windows.h>

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
    // Arguments are the program's path, the child's mark and a process id:
    // no quotes or trailing backslashes that would need escaping.
    return "\"" + argument + "\"";
}

} // namespace

ChildProcess::~ChildProcess() {
    if (input_pipe_) CloseHandle(input_pipe_);
    if (pipe_) CloseHandle(pipe_);
    if (process_) CloseHandle(process_);
}

bool ChildProcess::start(const std::vector<std::string> &arguments) {
    // One start at a time: the child's ends of the pipes are inheritable
    // until the child has them, and a start beside it must not take them
    // along, should the list of handles to pass be refused.
    static std::mutex starting;
    std::lock_guard<std::mutex> one_at_a_time(starting);
    std::string program = running_program();
    std::string command = quoted(program);
    for (const std::string &argument : arguments)
        command += " " + quoted(argument);

    // The child's ends are inheritable, ours are not.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE input_read = nullptr, input_write = nullptr;
    if (!CreatePipe(&input_read, &input_write, &inherit, 0)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        return false;
    }
    SetHandleInformation(input_write, HANDLE_FLAG_INHERIT, 0);
    HANDLE null_device =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOEXA startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input_read;
    startup.StartupInfo.hStdOutput = write_end;
    startup.StartupInfo.hStdError = null_device;
    // Only these handles are inherited, whatever else is inheritable.
    std::vector<HANDLE> passed = {input_read, write_end};
    if (null_device != INVALID_HANDLE_VALUE) passed.push_back(null_device);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> list(size);
    auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
    if (size && InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                      passed.data(), passed.size() * sizeof(HANDLE), nullptr,
                                      nullptr)) {
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
    CloseHandle(input_read);
    if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
    if (!created) {
        CloseHandle(read_end);
        CloseHandle(input_write);
        return false;
    }
    if (HANDLE job = children_job()) AssignProcessToJobObject(job, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pipe_ = read_end;
    input_pipe_ = input_write;
    return true;
}

bool ChildProcess::send(const std::string &bytes) {
    if (!input_pipe_) return false;
    // A child that has ended (or been killed) breaks the pipe: the write
    // fails instead of waiting.
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t rest = bytes.size() - at;
        DWORD n = 0, piece = static_cast<DWORD>(rest < 65536 ? rest : 65536);
        if (!WriteFile(input_pipe_, bytes.data() + at, piece, &n, nullptr) || n == 0) return false;
        at += n;
    }
    return true;
}

std::size_t ChildProcess::read(char *buffer, std::size_t size) {
    DWORD n = 0, piece = static_cast<DWORD>(size < 65536 ? size : 65536);
    // The end of the output is a broken pipe; a write of no bytes is none.
    while (ReadFile(pipe_, buffer, piece, &n, nullptr))
        if (n > 0) return n;
    return 0;
}

void ChildProcess::close_input() {
    if (input_pipe_) CloseHandle(input_pipe_);
    input_pipe_ = nullptr;
}

int ChildProcess::wait() {
    if (!process_) return -1;
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    std::lock_guard<std::mutex> hold(lock_);
    if (killed_ || !GetExitCodeProcess(process_, &code)) return -1;
    return static_cast<int>(code);
}

void ChildProcess::kill() {
    std::lock_guard<std::mutex> hold(lock_);
    // A child that has ended keeps its exit code.
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        killed_ = true;
        TerminateProcess(process_, 255);
    }
}

void end_with_parent(unsigned long) {}

void binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}
