#include "common/append_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/path.h"

bool AppendFile::open_file() {
    // Another sensor may remove the file at any moment (a successful scan
    // deletes the shared trace): a file without a name is opened anew.
    for (int tries = 0; tries < 3; ++tries) {
        // O_NONBLOCK: a FIFO without a reader fails at once instead of
        // waiting.
        int fd = ::open(native_path(path_).c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) {
            refused_ = errno == ELOOP || errno == ENXIO || errno == EISDIR;
            return false;
        }
        // Another user's file, even one open to all, is theirs to read: a
        // file of ours alone is written.
        struct stat info;
        bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
        if (plain && info.st_nlink == 1) {
            fd_ = fd;
            return true;
        }
        ::close(fd);
        if (!plain || info.st_nlink > 1) {
            refused_ = true;
            return false;
        }
    }
    return false;
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
