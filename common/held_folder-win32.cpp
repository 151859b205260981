#include "common/held_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "common/protected_file.h"

namespace {

// Opened as itself, a junction or link included (FILE_FLAG_OPEN_REPARSE_POINT),
// and without FILE_SHARE_DELETE, so that it is not renamed, removed or
// replaced while it is held.
HANDLE open_folder(const std::string &path) {
    return CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool real_folder(HANDLE folder) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(folder, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Owned by, and granting access to, nobody but the user, SYSTEM and the
// Administrators: the three that OwnerOnlyDescriptor grants.
bool private_to_user(HANDLE folder) {
    OwnerOnlyDescriptor own;
    if (!own.user()) return false;
    auto trusted = [&](PSID sid) {
        return sid && (EqualSid(sid, own.user()) || EqualSid(sid, own.system()) ||
                       EqualSid(sid, own.administrators()));
    };
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    // No access list at all grants everyone everything.
    bool ok = trusted(owner) && list != nullptr;
    for (DWORD i = 0; ok && i < list->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(list, i, &entry)) {
            ok = false;
            break;
        }
        auto *header = static_cast<ACE_HEADER *>(entry);
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE)
            ok = trusted(&static_cast<ACCESS_ALLOWED_ACE *>(entry)->SidStart);
        else if (header->AceType != ACCESS_DENIED_ACE_TYPE)
            ok = false; // an entry of a kind not looked into grants nothing here
    }
    LocalFree(descriptor);
    return ok;
}

} // namespace

HeldFolder::~HeldFolder() {
    close();
}

bool HeldFolder::open_private(const std::string &path) {
    close();
    OwnerOnlyDescriptor own;
    if (!own.attributes()) return false;
    CreateDirectoryA(path.c_str(), own.attributes()); // fails when it exists
    HANDLE folder = open_folder(path);
    if (folder == INVALID_HANDLE_VALUE) return false;
    if (!real_folder(folder) || !private_to_user(folder)) {
        CloseHandle(folder);
        return false;
    }
    handle_ = folder;
    path_ = path;
    return true;
}

bool HeldFolder::open_shared(const std::string &path) {
    close();
    HANDLE folder = CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    handle_ = folder;
    path_ = path;
    return true;
}

bool HeldFolder::is_open() const {
    return handle_ != nullptr;
}

void HeldFolder::close() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    path_.clear();
}

bool HeldFolder::make_subfolder(const std::string &name) const {
    OwnerOnlyDescriptor own;
    return handle_ && own.attributes() &&
           CreateDirectoryA((path_ + "\\" + name).c_str(), own.attributes()) != 0;
}

std::vector<std::string> HeldFolder::entries(std::size_t max) const {
    std::vector<std::string> names;
    if (!handle_) return names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (names.size() < max && FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool HeldFolder::empty_subfolder(const std::string &name, bool remove_itself) const {
    if (!handle_ || name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/:") != std::string::npos)
        return false;
    std::string sub = path_ + "\\" + name;
    HANDLE folder = open_folder(sub);
    if (folder == INVALID_HANDLE_VALUE) return false;
    if (!real_folder(folder) || !private_to_user(folder)) {
        CloseHandle(folder);
        return false;
    }
    bool whole = true;
    std::size_t seen = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((sub + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string file = found.cFileName;
            if (file == "." || file == "..") continue;
            // DeleteFileA removes a link or reparse point itself; a folder
            // inside is left alone.
            if (++seen > max_subfolder_entries ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
                !DeleteFileA((sub + "\\" + file).c_str())) {
                whole = false;
                if (seen > max_subfolder_entries) break;
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    CloseHandle(folder);
    if (!remove_itself) return whole;
    return whole && RemoveDirectoryA(sub.c_str()) != 0;
}

bool HeldFolder::remove_empty_subfolder(const std::string &name) const {
    return handle_ && !name.empty() && RemoveDirectoryA((path_ + "\\" + name).c_str()) != 0;
}

std::string user_folder_tag() {
    OwnerOnlyDescriptor own;
    char *text = nullptr;
    if (!own.user() || !ConvertSidToStringSidA(own.user(), &text)) return "";
    std::string tag = text;
    LocalFree(text);
    return tag;
}
