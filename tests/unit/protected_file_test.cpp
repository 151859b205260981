#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/files.h"
#include "common/protected_file.h"

#ifdef _WIN32
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string read_whole(const std::string &path) {
    auto in = FileOpener().open_read(path);
    return in ? in->read_rest() : "<missing>";
}

// A folder of the test's own in the temporary folder.
struct Folder {
    std::string path = temporary_directory() + "ramgauge-protected-" + std::to_string(process_id());
    std::string file = path + "/PRD.P00";
    Folder() {
#ifdef _WIN32
        CreateDirectoryA(path.c_str(), nullptr);
#else
        ::mkdir(path.c_str(), 0700);
#endif
    }
    ~Folder() {
        std::remove(file.c_str());
#ifdef _WIN32
        RemoveDirectoryA(path.c_str());
#else
        ::rmdir(path.c_str());
#endif
    }
};

#ifdef _WIN32
std::string own_user_sid() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD length = 0;
    char *text = nullptr;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

TEST(ProtectedFile, DescriptorGrantsSystemAdministratorsAndUserOnlyNothingInherited) {
    // P: the list is protected from inheritance; each entry is full access
    // (FA), allowed (A), not inheritable (no flags), for SYSTEM, the
    // Administrators group and this user. No other entry, no deny entry.
    std::string user = own_user_sid();
    ASSERT_FALSE(user.empty());
    OwnerOnlyDescriptor descriptor;
    ASSERT_NE(descriptor.attributes(), nullptr);
    EXPECT_EQ(descriptor.sddl(), "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + user + ")");
    EXPECT_FALSE(descriptor.attributes()->bInheritHandle);
}
#endif

TEST(ProtectedFile, ReplaceFileWritesWholeAndOwnerOnly) {
    Folder folder;
    ASSERT_TRUE(replace_file(folder.file, "old\n", true));
    ASSERT_TRUE(replace_file(folder.file, "new\n", true));
    EXPECT_EQ(read_whole(folder.file), "new\n");
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(::stat(folder.file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
    EXPECT_FALSE(replace_file(folder.path + "/no-such-folder/PRD.P00", "x", true));
}

} // namespace
