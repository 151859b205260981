#pragma once
#include <cstdio>
#include <memory>
#include <string>

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

// The largest file the sensor reads: its files are a few hundred bytes to a
// few kilobytes, and a larger one is refused rather than read into memory.
constexpr long long max_input_size = 1024 * 1024;
constexpr long long unbounded_size = -1;

// Opens files for reading by their Windows-form path. The sensor's readers
// take an opener so that tests can hand them files that live in memory.
class FileOpener {
  public:
    virtual ~FileOpener() = default;
    // nullptr when the file cannot be opened for reading. A file larger than
    // max_size (unless unbounded_size) throws NumberedError 1023 naming it.
    virtual std::unique_ptr<InputFile> open_read(const std::string &path,
                                                 long long max_size = max_input_size) const;
    bool exists(const std::string &path) const {
        return open_read(path, unbounded_size) != nullptr;
    }
    // Whether a file (not a directory) lies at path, readable or not.
    virtual bool present(const std::string &path) const;
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
    // The next physical line whole: when it does not fit one read (and is
    // not the file's last), line holds its first read, too_long is set and
    // the rest of it is skipped, never returned as a line of its own.
    bool next_line(std::string &line, bool &too_long);

  private:
    InputFile &in_;
    std::size_t limit_;
};

// Removes one trailing carriage return, then one trailing line feed.
void strip_line_end(std::string &line);
