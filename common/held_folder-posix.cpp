#include "common/held_folder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int open_folder_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

bool ours(const struct stat &info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

HeldFolder::~HeldFolder() {
    close();
}

bool HeldFolder::open_private(const std::string &path) {
    close();
    int fd = ::open(path.c_str(), open_folder_flags | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT && ::mkdir(path.c_str(), 0700) == 0)
        fd = ::open(path.c_str(), open_folder_flags | O_NOFOLLOW);
    struct stat info;
    if (fd < 0) return false;
    if (::fstat(fd, &info) != 0 || !ours(info) || (info.st_mode & 077) != 0 ||
        (info.st_mode & 0700) != 0700) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

bool HeldFolder::open_shared(const std::string &path) {
    close();
    fd_ = ::open(path.c_str(), open_folder_flags);
    if (fd_ >= 0) path_ = path;
    return fd_ >= 0;
}

bool HeldFolder::is_open() const {
    return fd_ >= 0;
}

void HeldFolder::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool HeldFolder::make_subfolder(const std::string &name) const {
    return fd_ >= 0 && ::mkdirat(fd_, name.c_str(), 0700) == 0;
}

std::vector<std::string> HeldFolder::entries(std::size_t max) const {
    std::vector<std::string> names;
    if (fd_ < 0) return names;
    // fdopendir takes its descriptor over; ours stays with the folder.
    int fd = ::openat(fd_, ".", open_folder_flags);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return names;
    }
    while (names.size() < max) {
        const struct dirent *entry = ::readdir(dir);
        if (!entry) break;
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool HeldFolder::empty_subfolder(const std::string &name, bool remove_itself) const {
    if (fd_ < 0 || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return false;
    struct stat named, opened;
    if (::fstatat(fd_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !ours(named))
        return false;
    int fd = ::openat(fd_, name.c_str(), open_folder_flags | O_NOFOLLOW);
    if (fd < 0) return false;
    // The folder opened must be the one looked at, not one swapped in since.
    if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev ||
        opened.st_ino != named.st_ino || !ours(opened)) {
        ::close(fd);
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool whole = true;
    std::size_t seen = 0;
    while (const struct dirent *entry = ::readdir(dir)) {
        std::string file = entry->d_name;
        if (file == "." || file == "..") continue;
        // unlinkat removes a link itself; a folder inside is left alone.
        if (++seen > max_subfolder_entries || ::unlinkat(::dirfd(dir), file.c_str(), 0) != 0) {
            whole = false;
            if (seen > max_subfolder_entries) break;
        }
    }
    ::closedir(dir);
    if (!remove_itself) return whole;
    return whole && ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
}

bool HeldFolder::remove_empty_subfolder(const std::string &name) const {
    return fd_ >= 0 && !name.empty() && ::unlinkat(fd_, name.c_str(), AT_REMOVEDIR) == 0;
}

std::string user_folder_tag() {
    return std::to_string(static_cast<unsigned long>(::geteuid()));
}
