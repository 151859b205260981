#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/files.h"
#include "common/held_folder.h"
#include "rfc/run_folder.h"

#ifdef _WIN32
#include <windows.h>

#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char sep = '\\';
#else
constexpr char sep = '/';
#endif

// A fresh folder for one test, removed with what the test left in it.
struct Scratch {
    std::string path;
    Scratch() {
        std::string base =
            temporary_directory() + "held-folder-test-" + std::to_string(process_id()) + "-";
        for (int i = 0; path.empty(); ++i)
            if (make_private_folder(base + std::to_string(i))) path = base + std::to_string(i);
    }
    ~Scratch() { remove_all(path); }
    static void remove_all(const std::string &folder) {
        for (const std::string &name : folder_entries(folder)) {
            std::string entry = folder + sep + name;
#ifndef _WIN32
            struct stat info;
            if (::lstat(entry.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) remove_all(entry);
#else
            remove_all(entry);
#endif
            std::remove(entry.c_str());
        }
        remove_folder(folder);
    }
    std::string file(const std::string &name, const std::string &text = "keep") const {
        std::string at = path + sep + name;
        std::FILE *out = std::fopen(at.c_str(), "wb");
        if (out) {
            std::fputs(text.c_str(), out);
            std::fclose(out);
        }
        return at;
    }
};

bool exists(const std::string &path) {
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in) std::fclose(in);
    return in != nullptr;
}

} // namespace

TEST(HeldFolder, CreatesTheUsersFolderAndRemovesOnlyFolders) {
    Scratch scratch;
    HeldFolder parent;
    std::string path = scratch.path + sep + "mine";
    ASSERT_TRUE(parent.open_private(path)) << "created when missing";
    parent.close();
    ASSERT_TRUE(parent.open_private(path)) << "accepted as it is the next time";

    ASSERT_TRUE(parent.make_subfolder("run"));
    EXPECT_FALSE(parent.make_subfolder("run")) << "never an existing name";
    std::FILE *out = std::fopen((path + sep + "run" + sep + "SapRfc.ini").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    EXPECT_FALSE(parent.remove_empty_subfolder("run")) << "not empty";
    EXPECT_TRUE(parent.empty_subfolder("run", false));
    EXPECT_TRUE(folder_entries(path + sep + "run").empty());
    EXPECT_TRUE(parent.empty_subfolder("run", true));
    EXPECT_TRUE(folder_entries(path).empty());

    // A file under a run folder's name is no folder of ours: it stays.
    std::FILE *plain = std::fopen((path + sep + "ramgauge-1-x").c_str(), "wb");
    ASSERT_NE(plain, nullptr);
    std::fclose(plain);
    for (const char *name : {"ramgauge-1-x", "..", ".", "", "missing"})
        EXPECT_FALSE(parent.empty_subfolder(name, true)) << name;
    EXPECT_TRUE(exists(path + sep + "ramgauge-1-x"));
}

TEST(HeldFolder, EntriesAreBounded) {
    Scratch scratch;
    for (int i = 0; i < 10; ++i)
        scratch.file("f" + std::to_string(i));
    HeldFolder folder;
    ASSERT_TRUE(folder.open_shared(scratch.path));
    EXPECT_EQ(folder.entries(4).size(), 4u);
    EXPECT_EQ(folder.entries(100).size(), 10u);
}

#ifndef _WIN32
// What another local user can put where the user's folder of run folders
// belongs, and what the run does with a link among its folders.
TEST(HeldFolder, RefusesWhatIsNotTheUsersOwnFolder) {
    struct Case {
        const char *name;
        void (*plant)(const Scratch &, const std::string &at);
        bool accepted;
    } cases[] = {
        {"a folder of mode 0700",
         [](const Scratch &, const std::string &at) { ::mkdir(at.c_str(), 0700); }, true},
        {"a folder others may enter",
         [](const Scratch &, const std::string &at) {
             ::mkdir(at.c_str(), 0700);
             ::chmod(at.c_str(), 0711);
         },
         false},
        {"a folder others may write",
         [](const Scratch &, const std::string &at) {
             ::mkdir(at.c_str(), 0700);
             ::chmod(at.c_str(), 0777);
         },
         false},
        {"a link to a folder of ours",
         [](const Scratch &s, const std::string &at) {
             ::mkdir((s.path + "/target").c_str(), 0700);
             ::symlink((s.path + "/target").c_str(), at.c_str());
         },
         false},
        {"a file", [](const Scratch &s, const std::string &) { s.file("parent"); }, false},
        {"a dangling link",
         [](const Scratch &s, const std::string &at) {
             ::symlink((s.path + "/nowhere").c_str(), at.c_str());
         },
         false},
    };
    for (const Case &c : cases) {
        Scratch scratch;
        std::string at = scratch.path + "/parent";
        c.plant(scratch, at);
        HeldFolder parent;
        EXPECT_EQ(parent.open_private(at), c.accepted) << c.name;
        EXPECT_FALSE(exists(scratch.path + "/nowhere")) << c.name << ": followed the link";
    }
}

TEST(HeldFolder, NeverRemovesThroughALink) {
    Scratch scratch;
    ::mkdir((scratch.path + "/victim").c_str(), 0700);
    std::string kept = scratch.path + "/victim/id_rsa";
    std::FILE *out = std::fopen(kept.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
    HeldFolder parent;
    ASSERT_TRUE(parent.open_private(scratch.path + "/parent"));
    // A link under a run folder's name, and a run folder holding a link.
    ASSERT_EQ(::symlink((scratch.path + "/victim").c_str(),
                        (scratch.path + "/parent/ramgauge-1-a").c_str()),
              0);
    ASSERT_TRUE(parent.make_subfolder("ramgauge-1-b"));
    ASSERT_EQ(::symlink(kept.c_str(), (scratch.path + "/parent/ramgauge-1-b/id_rsa").c_str()), 0);
    EXPECT_FALSE(parent.empty_subfolder("ramgauge-1-a", true));
    EXPECT_TRUE(parent.empty_subfolder("ramgauge-1-b", true)) << "the link itself goes";
    EXPECT_TRUE(exists(kept));
    EXPECT_EQ(folder_entries(scratch.path + "/parent"), std::vector<std::string>{"ramgauge-1-a"});
}
#else
// While the run holds a folder, nobody renames it or puts something else
// under its name: it is opened without FILE_SHARE_DELETE.
TEST(HeldFolder, AHeldFolderCannotBeRenamed) {
    Scratch scratch;
    HeldFolder parent;
    std::string path = scratch.path + "\\mine";
    ASSERT_TRUE(parent.open_private(path));
    EXPECT_FALSE(MoveFileA(path.c_str(), (scratch.path + "\\moved").c_str()));
    parent.close();
    EXPECT_TRUE(MoveFileA(path.c_str(), (scratch.path + "\\moved").c_str()));
}

// A folder that grants anyone but the user, SYSTEM and the Administrators
// is not the user's own, whoever made it. (Wine keeps of an access list only
// what the folder's Unix mode can hold, so entries for other groups are not
// tried here.)
TEST(HeldFolder, RefusesAFolderThatGrantsOthers) {
    struct Case {
        const char *name;
        const char *sddl; // the folder's access list; nullptr: none at all
        bool accepted;
    } cases[] = {
        {"everyone may change it", "D:P(A;;FA;;;WD)", false},
        {"no access list: everyone may do anything", nullptr, false},
        {"SYSTEM and the Administrators alone", "D:P(A;;FA;;;SY)(A;;FA;;;BA)", true},
    };
    for (const Case &c : cases) {
        Scratch scratch;
        std::string path = scratch.path + "\\parent";
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
        SECURITY_DESCRIPTOR open_to_all;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (c.sddl) {
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
                c.sddl, SDDL_REVISION_1, &descriptor, nullptr))
                << c.name;
        } else {
            InitializeSecurityDescriptor(&open_to_all, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&open_to_all, TRUE, nullptr, FALSE);
            descriptor = &open_to_all;
        }
        attributes.lpSecurityDescriptor = descriptor;
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), &attributes)) << c.name;
        if (c.sddl) LocalFree(descriptor);
        HeldFolder parent;
        EXPECT_EQ(parent.open_private(path), c.accepted) << c.name;
    }
}

TEST(HeldFolder, UserTagIsTheUsersSid) {
    std::string tag = user_folder_tag();
    EXPECT_EQ(tag.compare(0, 4, "S-1-"), 0) << tag;
}
#endif

// The run's folder lies in the user's own folder of run folders, which a
// finished run leaves empty and a sweep keeps clear of ended runs.
TEST(RunFolder, LivesInTheUsersOwnFolder) {
    RunFolder folder;
    create_run_folder(folder);
    std::string parent = folder.parent.path();
    std::string tag = user_folder_tag();
    EXPECT_EQ(parent.substr(parent.size() - tag.size() - 9), "ramgauge-" + tag);
    EXPECT_TRUE(folder.own_parent);
    EXPECT_EQ(folder.path, parent + sep + folder.name + sep);

    HeldFolder same;
    ASSERT_TRUE(same.open_private(parent));
    ASSERT_TRUE(same.make_subfolder("ramgauge-999999999-dead"));
    same.close();
    sweep_run_folders();
    std::vector<std::string> left = folder_entries(parent);
    EXPECT_EQ(left, std::vector<std::string>{folder.name}) << "the ended run's folder is swept";
    remove_run_folder(folder, false);
    set_environment("RFC_INI", "");
    set_environment("RFC_TRACE_DIR", "");
}
