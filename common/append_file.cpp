#include "common/append_file.h"

#include "common/system.h"

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
