#include "run/children.h"

#include <cstdlib>
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
#include <utility>

extern char **environ;

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

bool ChildProcess::start(const std::vector<std::string> &arguments) {
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
    return true;
}

bool ChildProcess::send(const std::string &bytes) {
    if (input_pipe_ < 0) return false;
    // A child that has ended (or been killed) breaks the pipe: the write
    // fails with EPIPE. The SIGPIPE that comes with it is held back for this
    // thread alone and then taken off, so that it ends nothing.
    sigset_t pipe_signal, before, pending;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
    bool already_pending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    std::size_t at = 0;
    bool whole = true;
    while (at < bytes.size()) {
        ssize_t n = ::write(input_pipe_, bytes.data() + at, bytes.size() - at);
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
    return whole;
}

std::size_t ChildProcess::read(char *buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(pipe_, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

void ChildProcess::close_input() {
    if (input_pipe_ >= 0) ::close(input_pipe_);
    input_pipe_ = -1;
}

int ChildProcess::wait() {
    if (pid_ <= 0) return -1;
    // Waits without reaping, so that kill() never meets a reused id.
    siginfo_t info;
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    std::lock_guard<std::mutex> hold(lock_);
    int status = 0;
    if (!reaped_) {
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exit_code_;
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
