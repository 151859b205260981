// Writing a file whole and, where asked, for its owner alone. Kept apart from
// files.cpp so that only the programs that write such files link the
// Windows security functions.
#include "common/protected_file.h"

#include <cstdio>

#include "common/files.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

namespace {

// The SID of the user this process runs as, copied into sid.
bool copy_user_sid(unsigned char *sid, DWORD size) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    alignas(TOKEN_USER) unsigned char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    bool ok = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) != 0;
    CloseHandle(token);
    return ok && CopySid(size, sid, reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid) != 0;
}

bool well_known_sid(WELL_KNOWN_SID_TYPE type, unsigned char *sid) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    return CreateWellKnownSid(type, nullptr, sid, &size) != 0;
}

} // namespace

OwnerOnlyDescriptor::OwnerOnlyDescriptor() {
    if (!copy_user_sid(user_sid_, sizeof user_sid_) ||
        !well_known_sid(WinLocalSystemSid, system_sid_) ||
        !well_known_sid(WinBuiltinAdministratorsSid, administrators_sid_))
        return;
    ACL *acl = reinterpret_cast<ACL *>(acl_);
    if (!InitializeAcl(acl, sizeof acl_, ACL_REVISION)) return;
    for (unsigned char *sid : {system_sid_, administrators_sid_, user_sid_})
        if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return;
    if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    built_ = true;
}

std::string OwnerOnlyDescriptor::sddl() {
    if (!built_) return "";
    char *text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(
            &descriptor_, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return "";
    std::string result = text;
    LocalFree(text);
    return result;
}

namespace {

// A new file with the owner-only descriptor, opened for binary writing.
std::FILE *create_owner_only_file(const std::string &native_path) {
    OwnerOnlyDescriptor descriptor;
    if (!descriptor.attributes()) return nullptr;
    std::remove(native_path.c_str());
    HANDLE handle = CreateFileA(native_path.c_str(), GENERIC_WRITE, 0, descriptor.attributes(),
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *out = _fdopen(fd, "wb");
    if (!out) _close(fd);
    return out;
}

} // namespace
#endif

bool replace_file(const std::string &path, const std::string &content, bool owner_only) {
    std::string target = native_path(path);
    std::string temporary = target + "." + std::to_string(process_id()) + ".tmp";
#ifdef _WIN32
    // The descriptor is given at creation and moves with the file.
    std::FILE *out =
        owner_only ? create_owner_only_file(temporary) : create_new_file(temporary, false);
#else
    std::FILE *out = create_new_file(temporary, owner_only);
#endif
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
