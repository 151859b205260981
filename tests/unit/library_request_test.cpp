#include <gtest/gtest.h>

#include <string>

#include "common/files.h"
#include "rfc/rfc_library.h"
#include "rfc/shared_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// What the loader is asked for, and what it is asked for on a system that
// refuses the search flags. An empty file: nothing is asked for.
struct Row {
    const char *path;
    LibraryRequest request, older;
};

#ifdef _WIN32
constexpr unsigned long full = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
const Row rows[] = {
    // A bare name: the program's folder and the system's, never the working
    // folder or PATH; on an older system not at all.
    {"sapnwrfc.dll", {"sapnwrfc.dll", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}, {}},
    {"C:\\PRTG\\Custom Sensors\\EXEXML\\sapnwrfc.dll",
     {"C:\\PRTG\\Custom Sensors\\EXEXML\\sapnwrfc.dll", full},
     {"C:\\PRTG\\Custom Sensors\\EXEXML\\sapnwrfc.dll", LOAD_WITH_ALTERED_SEARCH_PATH}},
    {"Z:/opt/prtg/librfc32.dll",
     {"Z:/opt/prtg/librfc32.dll", full},
     {"Z:/opt/prtg/librfc32.dll", LOAD_WITH_ALTERED_SEARCH_PATH}},
    {"\\\\probe\\sensors\\sapnwrfc.dll",
     {"\\\\probe\\sensors\\sapnwrfc.dll", full},
     {"\\\\probe\\sensors\\sapnwrfc.dll", LOAD_WITH_ALTERED_SEARCH_PATH}},
    // Names the working folder (or the current drive's) would resolve.
    {".\\sapnwrfc.dll", {}, {}},
    {"lib\\sapnwrfc.dll", {}, {}},
    {"lib/sapnwrfc.dll", {}, {}},
    {"C:sapnwrfc.dll", {}, {}},
    {"\\PRTG\\sapnwrfc.dll", {}, {}},
    {"", {}, {}},
};
#else
const Row rows[] = {
    // dlopen's own search, which holds no working folder.
    {"libsapnwrfc.so", {"libsapnwrfc.so", 0}, {}},
    {"/opt/prtg/libsapnwrfc.so", {"/opt/prtg/libsapnwrfc.so", 0}, {"/opt/prtg/libsapnwrfc.so", 8}},
    {"./libsapnwrfc.so", {}, {}},
    {"lib/libsapnwrfc.so", {}, {}},
    {"", {}, {}},
};
#endif

TEST(LibraryRequest, KnownFoldersOnly) {
    for (const Row &row : rows) {
        LibraryRequest request = library_request(row.path);
        EXPECT_EQ(request.file, row.request.file) << row.path;
        EXPECT_EQ(request.flags, row.request.flags) << row.path;
        LibraryRequest older = older_library_request(row.path);
        EXPECT_EQ(older.file, row.older.file) << row.path;
        EXPECT_EQ(older.flags, row.older.flags) << row.path;
    }
}

void close_library(void *library) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

// With the working folder where a loadable library lies (the classic
// stand-in, built beside the programs), neither its bare name nor a name
// relative to the working folder loads it; its full path does.
TEST(LibraryRequest, WorkingFolderIsNotSearched) {
    std::string folder = program_directory() + "../bin/";
    std::string name = rfc_library_file_name();
    void *control = open_shared_library(folder + name);
    if (!control) GTEST_SKIP() << "no loadable " << folder << name;
    close_library(control);
    std::string before = current_directory();
    ASSERT_TRUE(change_directory(folder));
    void *bare = open_shared_library(name);
    void *relative = open_shared_library("./" + name);
    change_directory(before);
    EXPECT_EQ(bare, nullptr);
    EXPECT_EQ(relative, nullptr);
    if (bare) close_library(bare);
    if (relative) close_library(relative);
}

} // namespace
