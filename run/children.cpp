#include "run/children.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

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
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
extern char **environ;
#endif

namespace {

constexpr std::size_t max_count_digits = 3;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The word count of a block's first line, block[0, end); false when that
// is no count a reader takes.
bool request_count(const std::string &block, std::size_t end, std::size_t &count) {
    if (end == 0 || end > max_count_digits) return false;
    count = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (block[i] < '0' || block[i] > '9') return false;
        count = count * 10 + static_cast<std::size_t>(block[i] - '0');
    }
    return count <= max_request_words;
}

} // namespace

std::string encode_request(const std::vector<std::string> &words) {
    static const char digits[] = "0123456789abcdef";
    std::string block = std::to_string(words.size()) + "\n";
    for (const std::string &word : words) {
        for (unsigned char c : word) {
            block += digits[c >> 4];
            block += digits[c & 15];
        }
        block += '\n';
    }
    return block;
}

bool decode_request(const std::string &block, std::vector<std::string> &words) {
    words.clear();
    if (block.size() > max_request_bytes) return false;
    std::size_t end = block.find('\n'), count = 0;
    if (end == std::string::npos || !request_count(block, end, count)) return false;
    std::size_t at = end + 1;
    for (std::size_t n = 0; n < count; ++n) {
        end = block.find('\n', at);
        if (end == std::string::npos || (end - at) % 2 != 0) return false;
        std::string word;
        word.reserve((end - at) / 2);
        for (; at < end; at += 2) {
            int high = hex_value(block[at]), low = hex_value(block[at + 1]);
            if (high < 0 || low < 0) return false;
            word += static_cast<char>(high * 16 + low);
        }
        words.push_back(std::move(word));
        at = end + 1;
    }
    return at == block.size();
}

bool read_request(std::FILE *in, std::vector<std::string> &words) {
    words.clear();
    std::string block;
    // Appends one line; false when the input ends first or the block grows
    // beyond limit bytes.
    auto read_line = [&](std::size_t limit) {
        for (;;) {
            int c = std::getc(in);
            if (c == EOF || block.size() >= limit) return false;
            block += static_cast<char>(c);
            if (c == '\n') return true;
        }
    };
    std::size_t count = 0;
    if (!read_line(max_count_digits + 1) || !request_count(block, block.size() - 1, count))
        return false;
    for (std::size_t n = 0; n < count; ++n)
        if (!read_line(max_request_bytes)) return false;
    return decode_request(block, words);
}

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

#else

namespace {

// A descriptor above the standard three: a pipe's end that was one of them
// (a parent started without them) would be overwritten by another end
// before it is passed on. Close-on-exec, as every descriptor of ours.
int above_standard(int fd) {
    if (fd > 2) return fd;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

bool make_pipe(int ends[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    ends[0] = above_standard(ends[0]);
    ends[1] = above_standard(ends[1]);
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    for (int i = 0; i < 2; ++i)
        if (ends[i] >= 0) ::close(ends[i]);
    return false;
}

} // namespace

ChildProcess::~ChildProcess() {
    if (input_pipe_ >= 0) ::close(input_pipe_);
    if (pipe_ >= 0) ::close(pipe_);
}

bool ChildProcess::start(const std::vector<std::string> &arguments, std::string input) {
    std::string program = running_program();
    int output_ends[2], input_ends[2];
    if (!make_pipe(output_ends)) return false;
    if (!make_pipe(input_ends)) {
        ::close(output_ends[0]);
        ::close(output_ends[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input_ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output_ends[1], 1);
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
    ::close(output_ends[1]);
    ::close(input_ends[0]);
    if (failed) {
        ::close(output_ends[0]);
        ::close(input_ends[1]);
        return false;
    }
    pid_ = pid;
    pipe_ = output_ends[0];
    input_pipe_ = input_ends[1];
    input_ = std::move(input);
    return true;
}

bool ChildProcess::send_input() {
    // A child that has ended (or been killed) before reading everything
    // breaks the pipe: the write fails with EPIPE. The SIGPIPE that comes
    // with it is held back for this thread alone and then taken off, so
    // that it ends nothing.
    sigset_t pipe_signal, before, pending;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
    bool already_pending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    std::size_t at = 0;
    bool whole = true;
    while (at < input_.size()) {
        ssize_t n = ::write(input_pipe_, input_.data() + at, input_.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            whole = false;
            break;
        }
        at += static_cast<std::size_t>(n);
    }
    if (!whole && !already_pending) {
        timespec now = {0, 0};
        while (::sigtimedwait(&pipe_signal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(input_pipe_);
    input_pipe_ = -1;
    return whole;
}

void ChildProcess::collect() {
    bool sent = send_input();
    if (!sent) kill();
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
    exit_code = sent && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    std::lock_guard<std::mutex> hold(lock_);
    if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
}

void end_with_parent(unsigned long parent) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (static_cast<unsigned long>(::getppid()) != parent) std::_Exit(2);
}

void binary_standard_streams() {}

#endif
