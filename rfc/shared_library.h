#pragma once
#include <string>
#include <vector>

// How a shared library is asked for: the file as the loader gets it and,
// on Windows, LoadLibraryExA's flags. Known folders only, never the working
// folder or PATH: a full path loads that file, and the libraries it needs
// come from its own folder (where SAP's libraries keep theirs) and the
// system's folders (LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR |
// LOAD_LIBRARY_SEARCH_DEFAULT_DIRS); a bare name is looked for in the
// program's folder and the system's folders
// (LOAD_LIBRARY_SEARCH_DEFAULT_DIRS). Elsewhere dlopen's own search (no
// flags): a full path is that file, and a bare name is looked for in the
// folders of LD_LIBRARY_PATH, the loader's cache and the system's library
// folders, never in the working folder. Any other name (a relative path,
// which the working folder would resolve) gives an empty file: nothing is
// asked for.
struct LibraryRequest {
    std::string file;
    unsigned long flags = 0;
};
LibraryRequest library_request(const std::string &path);

// The request to make instead when Windows refuses those flags with
// ERROR_INVALID_PARAMETER (Windows 7 without update KB2533623): a full path
// with its own folder first for the libraries it needs
// (LOAD_WITH_ALTERED_SEARCH_PATH; the working folder is taken out of the
// search with SetDllDirectoryA("") before); a bare name is not asked for at
// all, so that only the program's folder is searched.
LibraryRequest older_library_request(const std::string &path);

// A shared library by full path or bare name, asked for as library_request
// says; and one of its symbols. Null when absent.
void *open_shared_library(const std::string &path);
void *shared_library_symbol(void *library, const char *name);

// Sets entry to the library's function name; when the library lacks it,
// entry is null and name is added to missing (comma-separated).
template <typename Function>
void bind_symbol(void *library, Function *&entry, const char *name, std::string &missing) {
    void *address = shared_library_symbol(library, name);
    if (!address) missing += std::string(missing.empty() ? "" : ", ") + name;
    entry = reinterpret_cast<Function *>(address);
}

// The file a loaded library was taken from, as the loader found it
// (GetModuleFileName on Windows, the link map on Linux); empty when it
// cannot be told.
std::string loaded_library_file(void *library);

// "32-bit" or "64-bit" when the file at path is a Windows or ELF shared
// library of the other bitness than this program; empty otherwise.
std::string wrong_bitness(const std::string &path);

// The first file that the library at path (in directory, ending in a
// separator) needs, by its import table, and that the loader would not
// find: on Windows neither beside it nor in the system's folder (API set
// names always count as found), on Linux neither beside it nor by the
// dynamic loader's own search. Empty when each is found, or the file
// cannot be read.
std::string first_missing_need(const std::string &path, const std::string &directory);
// Every such file, in the import table's order.
std::vector<std::string> missing_needs(const std::string &path, const std::string &directory);
