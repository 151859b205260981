#include "common/files.h"

#include <cstdio>
#include <fstream>

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

bool remove_file(const std::string &path) {
    return std::remove(native_path(path).c_str()) == 0;
}
