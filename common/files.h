#pragma once
#include <istream>
#include <memory>
#include <string>

// Paths are handled in their Windows form everywhere ("C:\dir\name").
// native_path() is the one place that maps such a path to the file system
// of the build: unchanged on Windows; elsewhere backslashes become slashes
// and a leading drive letter with its colon is dropped.
std::string native_path(const std::string &windows_path);

// Opens files for reading by their Windows-form path. The sensor's readers
// take an opener so that tests can hand them files that live in memory.
class FileOpener {
  public:
    virtual ~FileOpener() = default;
    // nullptr when the file cannot be opened for reading.
    virtual std::unique_ptr<std::istream> open_read(const std::string &path) const;
    bool exists(const std::string &path) const { return open_read(path) != nullptr; }
};

// Reads lines like fgets() with a byte limit on a file opened in text mode:
// a read takes at most limit-1 characters, so a longer physical line arrives
// in pieces. A CR directly before LF is dropped as Windows text mode does, so
// both builds see the same lines. The line end stays in the text; the caller
// strips it with strip_line_end().
class LineReader {
  public:
    LineReader(std::istream &in, std::size_t limit) : in_(in), limit_(limit) {}
    bool next(std::string &line);

  private:
    std::istream &in_;
    std::size_t limit_;
};

// Removes one trailing carriage return, then one trailing line feed.
void strip_line_end(std::string &line);

// Writes content to a temporary file beside path and renames it over path,
// so that path holds either its old content or the whole new one. False,
// with nothing left behind and path untouched, when any step fails.
bool replace_file(const std::string &path, const std::string &content);

// Removes a file; false when it could not be removed.
bool remove_file(const std::string &path);
