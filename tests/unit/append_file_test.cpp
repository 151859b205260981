#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string slurp(const std::string &path) {
    std::string text;
    if (std::FILE *in = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, n);
        std::fclose(in);
    }
    return text;
}

// A folder of its own for one test, and the names in it.
struct Folder {
    std::string path;
    Folder() {
        std::string base =
            temporary_directory() + "append-test-" + std::to_string(process_id()) + "-";
        for (int i = 0; path.empty(); ++i)
            if (make_private_folder(base + std::to_string(i))) path = base + std::to_string(i);
    }
    ~Folder() {
        for (const std::string &name : folder_entries(path)) {
            std::string entry = at(name);
            if (!remove_folder(entry)) std::remove(entry.c_str());
        }
        remove_folder(path);
    }
    std::string at(const std::string &name) const {
#ifdef _WIN32
        return path + "\\" + name;
#else
        return path + "/" + name;
#endif
    }
};

} // namespace

TEST(AppendFile, CapHoldsWhateverHappensToTheRename) {
    const std::string full = std::string(1000, 'x') + "abcde";
    struct Case {
        const char *name;
        bool old_is_folder; // then the rename to .old fails
        std::string file, old;
    } cases[] = {
        {"renamed to .old", false, "next\n", full},
#ifdef _WIN32
        // The handle may only append: the append is dropped.
        {"rename fails: dropped", true, full, ""},
#else
        {"rename fails: started afresh", true, "next\n", ""},
#endif
    };
    for (const Case &c : cases) {
        Folder folder;
        std::string path = folder.at("Dev_Rfc.Trc");
        if (c.old_is_folder) {
            ASSERT_TRUE(make_private_folder(path + ".old"));
        }
        AppendFile file;
        ASSERT_TRUE(file.open(path, 1005)) << c.name;
        EXPECT_TRUE(file.append(std::string(1000, 'x')));
        EXPECT_TRUE(file.append("abcde")) << "exactly at the cap: kept";
        file.append("next\n");
        EXPECT_LE(file.size(), 1005) << c.name;
        EXPECT_FALSE(file.append(std::string(2000, 'y'))) << "longer than the cap itself";
        file.close();
        EXPECT_EQ(slurp(path), c.file) << c.name;
        if (!c.old_is_folder) {
            EXPECT_EQ(slurp(path + ".old"), c.old) << c.name;
        }
    }
}

#ifndef _WIN32
void spit(const std::string &path, const std::string &text) {
    std::FILE *out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
}

// What another local user can put where a shared file belongs: the file is
// left alone, what it points to untouched, and opening it never blocks.
TEST(AppendFile, LeavesAloneWhatIsNoPlainFileOfItsOwn) {
    struct Case {
        const char *name;
        void (*plant)(const Folder &, const std::string &at);
    } cases[] = {
        {"a link to a file",
         [](const Folder &f, const std::string &at) {
             ASSERT_EQ(::symlink(f.at("victim").c_str(), at.c_str()), 0);
         }},
        {"a hard link to a file",
         [](const Folder &f, const std::string &at) {
             ASSERT_EQ(::link(f.at("victim").c_str(), at.c_str()), 0);
         }},
        {"a FIFO", [](const Folder &, const std::string &at) { ::mkfifo(at.c_str(), 0666); }},
        {"a folder", [](const Folder &, const std::string &at) { ::mkdir(at.c_str(), 0700); }},
        {"another user's file open to all",
         [](const Folder &, const std::string &at) {
             spit(at, "theirs");
             ::chmod(at.c_str(), 0666);
             if (::geteuid() == 0) ::chown(at.c_str(), 65534, 65534);
         }},
        {"a dangling link",
         [](const Folder &f, const std::string &at) {
             ASSERT_EQ(::symlink(f.at("nowhere").c_str(), at.c_str()), 0);
         }},
    };
    for (const Case &c : cases) {
        if (::geteuid() != 0 && std::string(c.name).find("another user") == 0) continue;
        Folder folder;
        spit(folder.at("victim"), "kept");
        std::string path = folder.at("Ramgauge.Log");
        c.plant(folder, path);
        AppendFile file;
        EXPECT_FALSE(file.open(path, max_shared_file_size)) << c.name;
        EXPECT_TRUE(file.refused()) << c.name;
        EXPECT_FALSE(file.append("written\n")) << c.name;
        EXPECT_EQ(slurp(folder.at("victim")), "kept") << c.name;
        struct stat info;
        EXPECT_NE(::stat(folder.at("nowhere").c_str(), &info), 0) << c.name << ": created";
    }
}

TEST(AppendFile, NewFilesAreTheOwnersAloneAndNeverTruncated) {
    Folder folder;
    mode_t was = ::umask(0);
    AppendFile file;
    ASSERT_TRUE(file.open(folder.at("Ramgauge.EoX")));
    file.close();
    ::umask(was);
    struct stat info;
    ASSERT_EQ(::stat(folder.at("Ramgauge.EoX").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    spit(folder.at("Ramgauge.EoX"), "left");
    ASSERT_TRUE(file.open(folder.at("Ramgauge.EoX")));
    file.close();
    EXPECT_EQ(slurp(folder.at("Ramgauge.EoX")), "left");
}
#endif
