#include "common/path.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
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
