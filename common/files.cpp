#include "common/files.h"

#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
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

std::unique_ptr<std::istream> FileOpener::open_read(const std::string &path) const {
#ifndef _WIN32
    // A directory is a file that cannot be opened, as on Windows.
    struct stat info;
    if (::stat(native_path(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return nullptr;
#endif
    auto in = std::make_unique<std::ifstream>(native_path(path), std::ios::binary);
    if (!in->is_open()) return nullptr;
    return in;
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
    return !line.empty();
}

void strip_line_end(std::string &line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\n') line.pop_back();
}

bool replace_file(const std::string &path, const std::string &content) {
    std::string target = native_path(path);
#ifdef _WIN32
    std::string temporary = target + "." + std::to_string(_getpid()) + ".tmp";
#else
    std::string temporary = target + "." + std::to_string(getpid()) + ".tmp";
#endif
    std::FILE *out = std::fopen(temporary.c_str(), "wb");
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
