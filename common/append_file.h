#pragma once
#include <cstddef>
#include <string>

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
