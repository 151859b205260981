#include "common/files.h"

#include "common/numbered_error.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/protected_file.h"
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string native_path(const std::string &windows_path) {
#ifdef _WIN32
    return windows_path;
#else
    std::string path = windows_path;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        path.erase(0, 2);
    for (char &c : path)
        if (c == '\\') c = '/';
    return path;
#endif
}

std::unique_ptr<InputFile> InputFile::from_text(std::string text) {
    std::unique_ptr<InputFile> in(new InputFile);
    in->text_ = std::move(text);
    return in;
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

int InputFile::get() {
    if (file_) return std::getc(file_);
    return at_ < text_.size() ? static_cast<unsigned char>(text_[at_++]) : EOF;
}

int InputFile::peek() {
    if (!file_) return at_ < text_.size() ? static_cast<unsigned char>(text_[at_]) : EOF;
    int c = std::getc(file_);
    if (c != EOF) std::ungetc(c, file_);
    return c;
}

long long InputFile::size() {
    if (!file_) return static_cast<long long>(text_.size());
        // In 64 bits on every build: a 32-bit ftell cannot tell a file of 2 GB
        // or more.
#ifdef _WIN32
    struct _stati64 info;
    return _fstati64(_fileno(file_), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#else
    struct stat info;
    return ::fstat(fileno(file_), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#endif
}

void InputFile::seek(long long offset) {
    if (file_)
        std::fseek(file_, static_cast<long>(offset), SEEK_SET);
    else
        at_ = offset < 0 ? 0 : std::min(static_cast<std::size_t>(offset), text_.size());
}

std::string InputFile::read_rest() {
    if (!file_) {
        std::string rest = text_.substr(at_);
        at_ = text_.size();
        return rest;
    }
    std::string rest;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
        rest.append(buffer, n);
    return rest;
}

std::unique_ptr<InputFile> FileOpener::open_read(const std::string &path,
                                                 long long max_size) const {
    std::FILE *file = std::fopen(native_path(path).c_str(), "rb");
    if (!file) return nullptr;
    auto in = std::make_unique<InputFile>(file);
#ifndef _WIN32
    // A directory is a file that cannot be opened, as on Windows.
    struct stat info;
    bool known = ::fstat(fileno(file), &info) == 0;
    if (known && S_ISDIR(info.st_mode)) return nullptr;
    long long size = known ? static_cast<long long>(info.st_size) : -1;
#else
    long long size = in->size();
#endif
    if (max_size != unbounded_size && size > max_size)
        throw NumberedError("Error 1023: File " + path + " is larger than " +
                            std::to_string(max_size) + " bytes !");
    return in;
}

bool FileOpener::present(const std::string &path) const {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat info;
    return ::stat(native_path(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
#endif
}

namespace {

// One read of at most limit-1 characters, as fgets takes it; true when it
// ended at a line end or at the end of the file.
bool read_piece(InputFile &in, std::size_t limit, std::string &line) {
    line.clear();
    while (line.size() < limit - 1) {
        int c = in.get();
        if (c == EOF) return true;
        if (c == '\r' && in.peek() == '\n') continue;
        line.push_back(static_cast<char>(c));
        if (c == '\n') return true;
    }
    return false;
}

// The piece is a C string: it ends at its first NUL byte.
void cut_at_nul(std::string &line) {
    std::string::size_type nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
}

} // namespace

bool LineReader::next(std::string &line) {
    if (limit_ < 2) return false;
    read_piece(in_, limit_, line);
    if (line.empty()) return false;
    cut_at_nul(line);
    return true;
}

bool LineReader::next_line(std::string &line, bool &too_long) {
    too_long = false;
    if (limit_ < 2) return false;
    bool whole = read_piece(in_, limit_, line);
    if (line.empty()) return false;
    if (!whole) {
        // A full read is the whole line when only its line end follows.
        int c = in_.get();
        if (c == '\r' && in_.peek() == '\n') c = in_.get();
        if (c != EOF && c != '\n') {
            too_long = true;
            while ((c = in_.get()) != EOF && c != '\n') {
            }
        }
    }
    cut_at_nul(line);
    return true;
}

void strip_line_end(std::string &line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\n') line.pop_back();
}

unsigned long process_id() {
#ifdef _WIN32
    return static_cast<unsigned long>(_getpid());
#else
    return static_cast<unsigned long>(getpid());
#endif
}

std::string temporary_directory() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) return ".\\";
    std::string dir(buffer, n);
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return dir;
#else
    const char *dir = std::getenv("TMPDIR");
    std::string result = dir && *dir ? dir : "/tmp";
    if (result.back() != '/') result += '/';
    return result;
#endif
}

std::string running_program() {
    // It cannot change while the program runs: asked for once.
    static const std::string path = [] {
#ifdef _WIN32
        char text[MAX_PATH + 1] = {};
        DWORD n = GetModuleFileNameA(nullptr, text, MAX_PATH);
        return std::string(text, n);
#else
        char text[PATH_MAX + 1] = {};
        ssize_t n = readlink("/proc/self/exe", text, PATH_MAX);
        return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
#endif
    }();
    return path;
}

std::string program_directory() {
    std::string text = running_program();
    std::string::size_type sep = text.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : text.substr(0, sep + 1);
}

void set_environment(const char *name, const std::string &value) {
#ifdef _WIN32
    std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
#else
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
#endif
}

std::FILE *create_new_file(const std::string &native_path, bool owner_only) {
    std::remove(native_path.c_str()); // what a killed run of the same id left
#ifdef _WIN32
    (void)owner_only;
    return std::fopen(native_path.c_str(), "wb");
#else
    // Created anew: never written through a link that someone else placed.
    int fd = ::open(native_path.c_str(), O_WRONLY | O_CREAT | O_EXCL, owner_only ? 0600 : 0666);
    std::FILE *out = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && !out) ::close(fd);
    return out;
#endif
}

bool remove_file(const std::string &path) {
    return std::remove(native_path(path).c_str()) == 0;
}

AppendFile::~AppendFile() {
    close();
}

bool AppendFile::open(const std::string &path, long long cap) {
    close();
    path_ = path;
    cap_ = cap;
    refused_ = false;
    return open_file();
}

// With a cap: renames a file that the append would take past it, and opens
// the new one; when the rename fails, the file starts afresh or the append
// is dropped.
bool AppendFile::make_room(std::size_t length) {
    if (cap_ <= 0) return true;
    long long needed = static_cast<long long>(length);
    if (needed > cap_) return false;
    long long now = size();
    if (now <= 0 || now + needed <= cap_) return true;
    close();
    if (rename_file(path_, path_ + ".old")) return open_file();
    return open_file() && (size() + needed <= cap_ || start_afresh());
}

bool AppendFile::append_line(const std::string &text) {
#ifdef _WIN32
    return append(text + "\r\n");
#else
    return append(text + "\n");
#endif
}

#ifdef _WIN32
bool AppendFile::open_file() {
    // Without write access the system places every write at the end. Read
    // access only lets append() take the file's lock. A link or junction is
    // opened as itself, and then refused.
    OwnerOnlyDescriptor own;
    HANDLE file =
        CreateFileA(path_.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, own.attributes(),
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        info.nNumberOfLinks != 1 || GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        refused_ = true;
        return false;
    }
    handle_ = file;
    return true;
}

// Where the rename to .old fails, Windows drops the append: the handle may
// only append.
bool AppendFile::start_afresh() {
    return false;
}

bool AppendFile::is_open() const {
    return handle_ != nullptr;
}

long long AppendFile::size() const {
    LARGE_INTEGER size;
    if (!handle_ || !GetFileSizeEx(static_cast<HANDLE>(handle_), &size)) return -1;
    return size.QuadPart;
}

bool AppendFile::append(const std::string &text) {
    if (!handle_ || !make_room(text.size())) return false;
    // Appends are atomic on Windows itself, but not under Wine, which finds
    // the end and writes in two steps. Appenders therefore also take a lock
    // on one byte far beyond any end, which nobody reads or writes.
    HANDLE file = static_cast<HANDLE>(handle_);
    OVERLAPPED region = {};
    region.Offset = 0xfffffff0u;
    region.OffsetHigh = 0x7fffffffu;
    bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region) != 0;
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    if (locked) UnlockFileEx(file, 0, 1, 0, &region);
    return ok;
}

void AppendFile::close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool rename_file(const std::string &from, const std::string &to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool make_private_folder(const std::string &native_path) {
    return CreateDirectoryA(native_path.c_str(), nullptr) != 0;
}

bool remove_folder(const std::string &native_path) {
    return RemoveDirectoryA(native_path.c_str()) != 0;
}

std::vector<std::string> folder_entries(const std::string &native_path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((native_path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string current_directory() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n > MAX_PATH) return "";
    std::string dir(buffer, n);
    if (dir.back() != '\\') dir += '\\';
    return dir;
}

bool change_directory(const std::string &native_path) {
    return SetCurrentDirectoryA(native_path.c_str()) != 0;
}

bool process_running(unsigned long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
#else
bool AppendFile::open_file() {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting.
    int fd = ::open(native_path(path_).c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        refused_ = errno == ELOOP || errno == ENXIO || errno == EISDIR;
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        ::close(fd);
        refused_ = true;
        return false;
    }
    fd_ = fd;
    return true;
}

bool AppendFile::start_afresh() {
    return ::ftruncate(fd_, 0) == 0;
}

bool AppendFile::is_open() const {
    return fd_ >= 0;
}

long long AppendFile::size() const {
    struct stat info;
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
    return info.st_size;
}

bool AppendFile::append(const std::string &text) {
    if (fd_ < 0 || !make_room(text.size())) return false;
    ssize_t n;
    do
        n = ::write(fd_, text.data(), text.size());
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(text.size());
}

void AppendFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool rename_file(const std::string &from, const std::string &to) {
    return std::rename(native_path(from).c_str(), native_path(to).c_str()) == 0;
}

bool make_private_folder(const std::string &native_path) {
    return ::mkdir(native_path.c_str(), 0700) == 0;
}

bool remove_folder(const std::string &native_path) {
    return ::rmdir(native_path.c_str()) == 0;
}

std::vector<std::string> folder_entries(const std::string &native_path) {
    std::vector<std::string> names;
    DIR *dir = ::opendir(native_path.c_str());
    if (!dir) return names;
    while (const struct dirent *entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::string current_directory() {
    std::vector<char> buffer(4096);
    if (!::getcwd(buffer.data(), buffer.size())) return "";
    std::string dir = buffer.data();
    if (dir.back() != '/') dir += '/';
    return dir;
}

bool change_directory(const std::string &native_path) {
    return ::chdir(native_path.c_str()) == 0;
}

bool process_running(unsigned long id) {
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}
#endif
