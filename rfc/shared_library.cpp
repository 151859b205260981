#include "rfc/shared_library.h"

#include <cctype>
#include <cstdio>

#include "rfc/library_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

// LoadLibraryEx's flags, by value: the requests are made on every platform
// (elsewhere without flags), so that the unit tests see them everywhere.
constexpr unsigned long search_dll_load_dir = 0x00000100; // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr unsigned long search_default_dirs = 0x00001000; // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
constexpr unsigned long with_altered_search = 0x00000008; // LOAD_WITH_ALTERED_SEARCH_PATH

#ifdef _WIN32
constexpr bool is_windows_build = true;
#else
constexpr bool is_windows_build = false;
#endif

enum class PathKind { Bare, Full, Other };

PathKind path_kind(const std::string &path) {
    if (path.empty()) return PathKind::Other;
#ifdef _WIN32
    // "C:\..." or "\\server\share\...". "C:name" and "\name" are
    // relative to the drive's current folder and the current drive.
    bool drive = path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                 path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    bool unc = path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
               (path[1] == '\\' || path[1] == '/');
    if (drive || unc) return PathKind::Full;
    return path.find_first_of("\\/:") == std::string::npos ? PathKind::Bare : PathKind::Other;
#else
    if (path[0] == '/') return PathKind::Full;
    return path.find('/') == std::string::npos ? PathKind::Bare : PathKind::Other;
#endif
}

} // namespace

LibraryRequest library_request(const std::string &path) {
    switch (path_kind(path)) {
    case PathKind::Full:
        return {path, is_windows_build ? search_dll_load_dir | search_default_dirs : 0};
    case PathKind::Bare:
        return {path, is_windows_build ? search_default_dirs : 0};
    case PathKind::Other:
        break;
    }
    return {};
}

LibraryRequest older_library_request(const std::string &path) {
    if (path_kind(path) == PathKind::Full) return {path, with_altered_search};
    return {};
}

void *open_shared_library(const std::string &path) {
    LibraryRequest request = library_request(path);
    if (request.file.empty()) return nullptr;
#ifdef _WIN32
    // No error box for a DLL that cannot be loaded: PRTG runs the sensor
    // without a desktop.
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE library = LoadLibraryExA(request.file.c_str(), nullptr, request.flags);
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A system that does not know the search flags: the working folder
        // at least leaves the search for the libraries this one needs.
        request = older_library_request(path);
        if (!request.file.empty()) {
            SetDllDirectoryA("");
            library = LoadLibraryExA(request.file.c_str(), nullptr, request.flags);
        }
    }
    SetErrorMode(mode);
    return reinterpret_cast<void *>(library);
#else
    // dlopen never searches the working folder for a bare name (only the
    // folders of LD_LIBRARY_PATH, the cache and the system's), and a full
    // path is that file.
    return dlopen(request.file.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void *shared_library_symbol(void *library, const char *name) {
    if (!library) return nullptr;
#ifdef _WIN32
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

std::string wrong_bitness(const std::string &path) {
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (!in) return "";
    unsigned char head[64] = {}, pe[6] = {};
    std::size_t n = std::fread(head, 1, sizeof head, in);
    int bits = 0;
    if (n >= 5 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
        bits = head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;
    } else if (n == sizeof head && head[0] == 'M' && head[1] == 'Z') {
        long at = head[0x3c] | head[0x3d] << 8 | head[0x3e] << 16 | (long)head[0x3f] << 24;
        if (std::fseek(in, at, SEEK_SET) == 0 && std::fread(pe, 1, 6, in) == 6 && pe[0] == 'P' &&
            pe[1] == 'E' && pe[2] == 0 && pe[3] == 0) {
            unsigned machine = pe[4] | pe[5] << 8;
            bits = machine == 0x14c ? 32 : machine == 0x8664 ? 64 : 0;
        }
    }
    std::fclose(in);
    int own = static_cast<int>(sizeof(void *) * 8);
    return bits == 0 || bits == own ? "" : std::to_string(bits) + "-bit";
}

namespace {

bool file_exists(const std::string &path) {
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (in) std::fclose(in);
    return in != nullptr;
}

bool starts_with_nocase(const std::string &text, const char *prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i]))
            return false;
    return true;
}

// Whether the loader would find a file the library needs elsewhere than
// beside it.
bool found_by_loader(const std::string &name) {
#ifdef _WIN32
    // API sets are names the loader maps, not files.
    if (starts_with_nocase(name, "api-ms-") || starts_with_nocase(name, "ext-ms-")) return true;
    char system[MAX_PATH + 1];
    UINT size = GetSystemDirectoryA(system, sizeof system);
    return size > 0 && size < sizeof system && file_exists(std::string(system) + "\\" + name);
#else
    (void)starts_with_nocase;
    // Loaded by name as the library's own loading would look for it (a
    // library the process has loaded already is found at once).
    void *library = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library) dlclose(library);
    return library != nullptr;
#endif
}

} // namespace

std::vector<std::string> missing_needs(const std::string &path, const std::string &directory) {
    std::vector<std::string> missing;
    LibraryFile file = read_library_file(path);
    for (const std::string &name : file.needed) {
        if (name.find_first_of("/\\") != std::string::npos) continue; // not a bare name
        if (file_exists(directory + name) || found_by_loader(name)) continue;
        missing.push_back(name);
    }
    return missing;
}

std::string first_missing_need(const std::string &path, const std::string &directory) {
    std::vector<std::string> missing = missing_needs(path, directory);
    return missing.empty() ? "" : missing.front();
}

std::string loaded_library_file(void *library) {
    if (!library) return "";
#ifdef _WIN32
    char path[MAX_PATH + 1];
    DWORD size = GetModuleFileNameA(static_cast<HMODULE>(library), path, sizeof path);
    return size > 0 && size < sizeof path ? std::string(path, size) : "";
#else
    struct link_map *map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return "";
    return map->l_name;
#endif
}
