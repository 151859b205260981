#pragma once
#include <mutex>

#include "common/files.h"
#include <string>
#include <vector>

// A child process of the sensor itself, started with arguments of the
// program's own, whose standard output is a pipe to this process. It
// inherits nothing else: its standard input and error are the null device,
// and no other handle or descriptor of ours is passed on. A child ends with
// its parent: Linux kills it when the parent dies (the child asks for that,
// see end_with_parent), Windows through a job object that kills its
// processes when the parent's handle to it closes.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts the running program again with arguments; false when it cannot.
    bool start(const std::vector<std::string> &arguments);
    // Reads the child's output to its end (at most max_output bytes are
    // kept) and waits for it to exit. Blocks; meant for a thread of its own.
    void collect();
    // Ends the child at once; collect() then returns.
    void kill();

    std::string output;
    // The child's exit code; -1 when it did not exit by itself.
    int exit_code = -1;
    static constexpr std::size_t max_output = 256 * 1024;

  private:
#ifdef _WIN32
    void *process_ = nullptr, *pipe_ = nullptr;
#else
    int pid_ = -1, pipe_ = -1;
    // Once the child is reaped its id may be reused: kill() must not touch it.
    std::mutex lock_;
    bool reaped_ = false;
#endif
};

// In a child: ends the process when the parent with this id is gone
// (Linux; elsewhere the parent's job object does it).
void end_with_parent(unsigned long parent);

// In a child: standard output in binary mode, so that the parent gets the
// bytes as written and its own console makes the line ends.
void binary_standard_output();
