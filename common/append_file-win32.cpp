#include "common/append_file.h"

#include <windows.h>

#include "common/protected_file.h"

bool AppendFile::open_file() {
    // Without write access the system places every write at the end. Read
    // access only lets append() take the file's lock. A link or junction is
    // opened as itself, and then refused.
    OwnerOnlyDescriptor own;
    // Another sensor may remove the file at any moment (a successful scan
    // deletes the shared trace): a file without a name is opened anew.
    for (int tries = 0; tries < 3; ++tries) {
        HANDLE file =
            CreateFileA(path_.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, own.attributes(),
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        BY_HANDLE_FILE_INFORMATION info;
        bool plain =
            GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0;
        if (plain && info.nNumberOfLinks == 1) {
            handle_ = file;
            return true;
        }
        CloseHandle(file);
        if (!plain || info.nNumberOfLinks > 1) {
            refused_ = true;
            return false;
        }
    }
    return false;
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
