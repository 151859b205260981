#pragma once
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "common/files.h"

// A child process of the sensor itself, started with arguments of the
// program's own, that learns what it is to do through its standard input:
// a pipe from this process, on which the parent writes request blocks
// (encode_request), one at a time, and which it closes when it has no more.
// The command line carries nothing of a profile or the options, since other
// local users can read it. The child's standard output is a pipe to this
// process. It inherits nothing else: its standard error is the null device,
// and no other handle or descriptor of ours is passed on (every one of ours
// is close-on-exec or not inheritable, so that a child started beside it
// cannot hold its pipes open). A child ends with its parent: Linux kills it
// when the parent dies (the child asks for that, see end_with_parent),
// Windows through a job object that kills its processes when the parent's
// handle to it closes.
//
// send, read, close_input and wait are for one thread at a time (the one
// that talks to the child); kill may come from any thread, at any moment.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts the running program again with arguments. False when it
    // cannot start.
    bool start(const std::vector<std::string> &arguments);
    // Writes bytes whole to the child's standard input. False when the pipe
    // broke first (the child has ended or was killed); that never raises
    // SIGPIPE.
    bool send(const std::string &bytes);
    // Reads what the child has written to its standard output, up to size
    // bytes, waiting for some; 0 once the output has ended (the child has
    // ended or closed it).
    std::size_t read(char *buffer, std::size_t size);
    // Closes the child's standard input: the end of its requests.
    void close_input();
    // Waits for the child to end; its exit code, or -1 when it did not exit
    // by itself (killed, or ended by a signal or an exception).
    int wait();
    // Ends the child at once; read() then comes to the end of the output.
    void kill();

  private:
#ifdef _WIN32
    void *process_ = nullptr, *pipe_ = nullptr, *input_pipe_ = nullptr;
    std::mutex lock_;
    bool killed_ = false;
#else
    int pid_ = -1, pipe_ = -1, input_pipe_ = -1;
    // Once the child is reaped its id may be reused: kill() must not touch it.
    std::mutex lock_;
    bool reaped_ = false;
    int exit_code_ = -1;
#endif
};

// In a child: ends the process when the parent with this id is gone
// (Linux; elsewhere the parent's job object does it).
void end_with_parent(unsigned long parent);

// In a child: standard input and output in binary mode, so that the request
// arrives as written, and the parent gets the bytes as written and its own
// console makes the line ends.
void binary_standard_streams();
