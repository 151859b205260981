#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

// Paths are handled in their Windows form everywhere ("C:\dir\name").
// native_path() is the one place that maps such a path to the file system
// of the build: unchanged on Windows; elsewhere backslashes become slashes
// and a leading drive letter with its colon is dropped.
std::string native_path(const std::string &windows_path);

// A file opened for reading in binary mode, or a text in memory that stands
// in for one in tests. C stdio underneath: no iostreams in the programs.
class InputFile {
  public:
    explicit InputFile(std::FILE *file) : file_(file) {}
    static std::unique_ptr<InputFile> from_text(std::string text);
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // The next byte, or EOF; peek leaves it to be read.
    int get();
    int peek();
    // The size in bytes, and moving to an offset from the start.
    long long size();
    void seek(long long offset);
    // Everything from here to the end.
    std::string read_rest();

  private:
    InputFile() = default;
    std::FILE *file_ = nullptr;
    std::string text_;
    std::size_t at_ = 0;
};

// Opens files for reading by their Windows-form path. The sensor's readers
// take an opener so that tests can hand them files that live in memory.
class FileOpener {
  public:
    virtual ~FileOpener() = default;
    // nullptr when the file cannot be opened for reading.
    virtual std::unique_ptr<InputFile> open_read(const std::string &path) const;
    bool exists(const std::string &path) const { return open_read(path) != nullptr; }
};

// Reads lines like fgets() with a byte limit on a file opened in text mode:
// a read takes at most limit-1 characters, so a longer physical line arrives
// in pieces. A CR directly before LF is dropped as Windows text mode does, so
// both builds see the same lines. Like a C string, a piece ends at its first
// NUL byte. The line end stays in the text; the caller strips it with
// strip_line_end().
class LineReader {
  public:
    LineReader(InputFile &in, std::size_t limit) : in_(in), limit_(limit) {}
    bool next(std::string &line);

  private:
    InputFile &in_;
    std::size_t limit_;
};

// Removes one trailing carriage return, then one trailing line feed.
void strip_line_end(std::string &line);

// Writes content to a temporary file beside path and renames it over path,
// so that path holds either its old content or the whole new one. False,
// with nothing left behind and path untouched, when any step fails.
// Creates a file of this process's own by its native path, replacing what a
// killed earlier run of the same process id left there; opened for binary
// writing, nullptr when that fails. With owner_only it is readable by its
// owner alone (POSIX).
std::FILE *create_new_file(const std::string &native_path, bool owner_only);

// With owner_only the file is readable by its owner alone (POSIX).
bool replace_file(const std::string &path, const std::string &content, bool owner_only = false);

// A file of this process alone that must not outlive the run: it is
// removed when its use ends, and also on the ways out that skip the normal
// flow (the deadline watchdog, the fatal-error handler), which may run on
// another thread.
class TemporaryFile {
  public:
    void set(const std::string &native_path);
    void remove();

  private:
    std::mutex lock_;
    std::string path_;
};

// Size and last write time (seconds since 1970) of a file.
struct FileStatus {
    bool exists = false;
    long long size = 0;
    long long written = 0;
};
FileStatus file_status(const std::string &path);

// Now, in the seconds of FileStatus::written.
long long seconds_now();

// The system's folder for temporary files, ending in a separator.
std::string temporary_directory();

// The id of this process.
unsigned long process_id();

// Sets (or, with an empty value, removes) a variable in this process's
// environment, where the C runtime and the operating system look it up.
void set_environment(const char *name, const std::string &value);

// Removes a file; false when it could not be removed.
bool remove_file(const std::string &path);
