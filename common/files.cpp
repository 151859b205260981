#include "common/files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
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
    long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    long end = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return end;
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

std::unique_ptr<InputFile> FileOpener::open_read(const std::string &path) const {
#ifndef _WIN32
    // A directory is a file that cannot be opened, as on Windows.
    struct stat info;
    if (::stat(native_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return nullptr;
#endif
    std::FILE *file = std::fopen(native_path(path).c_str(), "rb");
    if (!file) return nullptr;
    return std::make_unique<InputFile>(file);
}

bool LineReader::next(std::string &line) {
    line.clear();
    if (limit_ < 2) return false;
    while (line.size() < limit_ - 1) {
        int c = in_.get();
        if (c == EOF) break;
        if (c == '\r' && in_.peek() == '\n') continue;
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    if (line.empty()) return false;
    // The piece is a C string: it ends at its first NUL byte.
    std::string::size_type nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
    return true;
}

void strip_line_end(std::string &line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\n') line.pop_back();
}

FileStatus file_status(const std::string &path) {
    FileStatus status;
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return status;
    status.exists = true;
    status.size = static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    long long ticks = static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                      data.ftLastWriteTime.dwLowDateTime;
    status.written = (ticks - 116444736000000000LL) / 10000000;
#else
    struct stat info;
    if (::stat(native_path(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return status;
    status.exists = true;
    status.size = info.st_size;
    status.written = info.st_mtime;
#endif
    return status;
}

long long seconds_now() {
    return static_cast<long long>(std::time(nullptr));
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

void TemporaryFile::set(const std::string &native_path) {
    std::lock_guard<std::mutex> hold(lock_);
    path_ = native_path;
}

void TemporaryFile::remove() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!path_.empty()) std::remove(path_.c_str());
    path_.clear();
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

bool replace_file(const std::string &path, const std::string &content, bool owner_only) {
    std::string target = native_path(path);
    std::string temporary = target + "." + std::to_string(process_id()) + ".tmp";
    std::FILE *out = create_new_file(temporary, owner_only);
    if (!out) return false;
    bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    written = std::fflush(out) == 0 && written;
    written = std::fclose(out) == 0 && written;
#ifdef _WIN32
    written =
        written && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    written = written && std::rename(temporary.c_str(), target.c_str()) == 0;
#endif
    if (!written) std::remove(temporary.c_str());
    return written;
}

bool remove_file(const std::string &path) {
    return std::remove(native_path(path).c_str()) == 0;
}
