#include "common/system.h"

#include <cstdio>
#include <cstdlib>
#include <process.h>
#include <windows.h>

#include "common/path.h"

unsigned long process_id() {
    return static_cast<unsigned long>(_getpid());
}

void set_environment(const char *name, const std::string &value) {
    std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

std::FILE *create_new_file(const std::string &native_path, bool owner_only) {
    std::remove(native_path.c_str()); // what a killed run of the same id left
    (void)owner_only;
    return std::fopen(native_path.c_str(), "wb");
}

bool remove_file(const std::string &path) {
    return std::remove(native_path(path).c_str()) == 0;
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
