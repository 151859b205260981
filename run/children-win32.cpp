#include "run/children.h"

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <cstdio>
#include <fcntl.h>
#include <io.h>
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

bool ChildProcess::start(const std::vector<std::string> &arguments, std::string input) {
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
    input_ = std::move(input);
    return true;
}

bool ChildProcess::send_input() {
    // A child that has ended (or been killed) before reading everything
    // breaks the pipe: the write fails instead of waiting.
    std::size_t at = 0;
    bool whole = true;
    while (at < input_.size()) {
        std::size_t rest = input_.size() - at;
        DWORD n = 0, piece = static_cast<DWORD>(rest < 65536 ? rest : 65536);
        if (!WriteFile(input_pipe_, input_.data() + at, piece, &n, nullptr) || n == 0) {
            whole = false;
            break;
        }
        at += n;
    }
    CloseHandle(input_pipe_);
    input_pipe_ = nullptr;
    return whole;
}

void ChildProcess::collect() {
    bool sent = send_input();
    if (!sent) kill();
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe_, buffer, sizeof buffer, &n, nullptr) && n > 0)
        if (output.size() < max_output) output.append(buffer, n);
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    if (sent && GetExitCodeProcess(process_, &code)) exit_code = static_cast<int>(code);
}

void ChildProcess::kill() {
    if (process_) TerminateProcess(process_, 255);
}

void end_with_parent(unsigned long) {}

void binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}
