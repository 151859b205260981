#pragma once
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "common/files.h"

// A child process of the sensor itself, started with arguments of the
// program's own, that learns what it is to do through its standard input:
// a pipe from this process, on which the parent writes one request block
// (encode_request) and closes it. The command line carries nothing of a
// profile or the options, since other local users can read it. The child's
// standard output is a pipe to this process. It inherits nothing else: its
// standard error is the null device, and no other handle or descriptor of
// ours is passed on. A child ends with its parent: Linux kills it when the
// parent dies (the child asks for that, see end_with_parent), Windows
// through a job object that kills its processes when the parent's handle
// to it closes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts the running program again with arguments; input is what
    // collect() writes to its standard input. False when it cannot start.
    bool start(const std::vector<std::string> &arguments, std::string input);
    // Writes the input whole and closes the child's standard input, then
    // reads the child's output to its end (at most max_output bytes are
    // kept) and waits for it to exit. A child that does not take its input
    // whole (it ended early, or was killed) is killed and counts as not
    // exited by itself. Blocks; meant for a thread of its own, so that a
    // child that neither reads nor ends holds up nobody but that thread
    // until kill().
    void collect();
    // Ends the child at once; collect() then returns.
    void kill();

    std::string output;
    // The child's exit code; -1 when it did not exit by itself.
    int exit_code = -1;
    static constexpr std::size_t max_output = 256 * 1024;

  private:
    // Writes input_ to the child's standard input and closes that; false
    // when the pipe broke before all of it was written.
    bool send_input();

    std::string input_;
#ifdef _WIN32
    void *process_ = nullptr, *pipe_ = nullptr, *input_pipe_ = nullptr;
#else
    int pid_ = -1, pipe_ = -1, input_pipe_ = -1;
    // Once the child is reaped its id may be reused: kill() must not touch it.
    std::mutex lock_;
    bool reaped_ = false;
#endif
};

// In a child: ends the process when the parent with this id is gone
// (Linux; elsewhere the parent's job object does it).
void end_with_parent(unsigned long parent);

// In a child: standard input and output in binary mode, so that the request
// arrives as written, and the parent gets the bytes as written and its own
// console makes the line ends.
void binary_standard_streams();
