#include "common/system.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/path.h"

unsigned long process_id() {
    return static_cast<unsigned long>(getpid());
}

void set_environment(const char *name, const std::string &value) {
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
}

std::FILE *create_new_file(const std::string &native_path, bool owner_only) {
    std::remove(native_path.c_str()); // what a killed run of the same id left
    // Created anew: never written through a link that someone else placed.
    int fd = ::open(native_path.c_str(), O_WRONLY | O_CREAT | O_EXCL, owner_only ? 0600 : 0666);
    std::FILE *out = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && !out) ::close(fd);
    return out;
}

bool remove_file(const std::string &path) {
    return std::remove(native_path(path).c_str()) == 0;
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
