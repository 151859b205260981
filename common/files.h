#pragma once
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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

// Creates a file of this process's own by its native path, replacing what a
// killed earlier run of the same process id left there; opened for binary
// writing, nullptr when that fails. With owner_only it is readable by its
// owner alone on POSIX (mode 0600); on Windows it gets the access list of the
// folder, which for the temporary folder is the user's own.
std::FILE *create_new_file(const std::string &native_path, bool owner_only);

// Writes content to a temporary file beside path and renames it over path,
// so that path holds either its old content or the whole new one. False,
// with nothing left behind and path untouched, when any step fails. With
// owner_only it is readable by its owner alone: mode 0600 on POSIX; on
// Windows a protected access list of SYSTEM, the Administrators group and
// the writing user (OwnerOnlyDescriptor), nothing inherited. Defined in
// protected_file.cpp.
bool replace_file(const std::string &path, const std::string &content, bool owner_only = false);

// The system's folder for temporary files, ending in a separator.
std::string temporary_directory();

// The directory of the running program, in the system's own form, with its
// trailing separator; empty when it cannot be told.
std::string program_directory();
// The full path of the running program.
std::string running_program();

// The id of this process.
unsigned long process_id();

// Sets (or, with an empty value, removes) a variable in this process's
// environment, where the C runtime and the operating system look it up.
void set_environment(const char *name, const std::string &value);

// Removes a file; false when it could not be removed.
bool remove_file(const std::string &path);

// The largest size of a file that sensors share and append to
// (Dev_Rfc.Trc, Ramgauge.Log): an append that would pass it first renames
// the file to <name>.old.
constexpr long long max_shared_file_size = 1024 * 1024;

// A file that several processes append to at once, such as a log that
// sensors side by side share, in a folder that other local users may write
// to as well. Each append() is one write at the file's end that the system
// never interleaves with another process's (O_APPEND, or FILE_APPEND_DATA on
// Windows).
//
// It is opened only as a plain file of its own: not through a link (or a
// Windows reparse point), not a FIFO, device or folder, and with one name
// only, so that nobody can make the sensor write into another file; opening
// never blocks. A new file is created for its owner alone (mode 0600, or the
// owner-only access list on Windows); an existing one is never truncated.
class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile &) = delete;
    AppendFile &operator=(const AppendFile &) = delete;

    // Opens (creating) the file by its Windows-form path; false when it
    // cannot be opened or is refused (refused() then says so). With a cap,
    // no append takes the file past cap bytes: it is renamed to
    // path + ".old" first, and when that rename fails the file is started
    // afresh (POSIX) or the append is dropped (Windows).
    bool open(const std::string &path, long long cap = 0);
    bool is_open() const;
    // Whether the last open() found something other than a plain file of its
    // own at the path, and left it alone.
    bool refused() const { return refused_; }
    // The file's size now; -1 when it is not open.
    long long size() const;
    bool append(const std::string &text);
    // text and the line end of the platform (CRLF on Windows), in one write.
    bool append_line(const std::string &text);
    void close();

  private:
    bool open_file();
    bool make_room(std::size_t length);
    bool start_afresh();
#ifdef _WIN32
    void *handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::string path_;
    long long cap_ = 0;
    bool refused_ = false;
};

// Renames a file over another (replacing it); false on failure. Both by
// their Windows-form paths.
bool rename_file(const std::string &from, const std::string &to);

// Folders by their native paths. make_private_folder creates a new folder
// that only its owner may read (POSIX), and fails when the name exists.
bool make_private_folder(const std::string &native_path);
bool remove_folder(const std::string &native_path);
// The names of the entries of a folder (without "." and "..").
std::vector<std::string> folder_entries(const std::string &native_path);
// The current directory with a trailing separator; changing it.
std::string current_directory();
bool change_directory(const std::string &native_path);

// Whether a process with this id is still running.
bool process_running(unsigned long id);
