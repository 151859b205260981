#include "rfc/rfc_library.h"

#include <cctype>
#include <cstdio>

#include "common/files.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "rfc/connection.h"
#include "rfc/nw_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

const char *rfc_library_file_name() {
#ifdef _WIN32
    return "librfc32.dll";
#else
    return "librfc32.so";
#endif
}

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

RfcLibraryChoice rfc_library_choice(const std::string &option_string,
                                    const std::string &option_text) {
    if (option_string.find(",RFCLIB=") == std::string::npos) return RfcLibraryChoice::Either;
    std::string value = option_value(option_string, option_text, ",RFCLIB=");
    std::string upper = upper_ascii(value);
    if (upper == "CLASSIC") return RfcLibraryChoice::Classic;
    if (upper == "NW") return RfcLibraryChoice::NetWeaver;
    throw NumberedError("Error 1010: ,RFCLIB=" + value +
                        " names no RFC library; use ,RFCLIB=CLASSIC or ,RFCLIB=NW !");
}

namespace {

// Binds the twelve entry points of the classic library; the names of those
// it lacks go to missing.
RfcApi bind_classic(void *library, std::string &missing) {
    RfcApi api;
    auto bind = [&](auto &entry, const char *name) { bind_symbol(library, entry, name, missing); };
    bind(api.RfcEnvironment, "RfcEnvironment");
    bind(api.RfcOpen, "RfcOpen");
    bind(api.RfcOpenEx, "RfcOpenEx");
    bind(api.RfcInstallStructure, "RfcInstallStructure");
    bind(api.RfcCall, "RfcCall");
    bind(api.RfcReceive, "RfcReceive");
    bind(api.RfcLastError, "RfcLastError");
    bind(api.RfcClose, "RfcClose");
    bind(api.ItCreate, "ItCreate");
    bind(api.ItFill, "ItFill");
    bind(api.ItGetLine, "ItGetLine");
    bind(api.ItDelete, "ItDelete");
    return api;
}

// Why the file at path was not loaded, for the 1018 text.
std::string why_not(const std::string &file, const std::string &directory) {
    std::string path = directory + file;
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (!in) return file + " is not in " + directory;
    std::fclose(in);
    std::string bits = wrong_bitness(path);
    if (!bits.empty())
        return file + " in " + directory + " is a " + bits + " library, the sensor a " +
               std::to_string(sizeof(void *) * 8) + "-bit program";
    return file + " in " + directory + " cannot be loaded";
}

} // namespace

RfcApi load_rfc_library(RfcLibraryChoice choice) {
    std::string directory = program_directory();
    std::string classic_path = directory + rfc_library_file_name();
    if (choice != RfcLibraryChoice::NetWeaver) {
        void *library = open_shared_library(classic_path);
        if (!library && choice == RfcLibraryChoice::Classic)
            throw NumberedError("Error 1018: RFC library " + classic_path +
                                " cannot be loaded; install it beside the sensor program..." +
                                (wrong_bitness(classic_path).empty()
                                     ? ""
                                     : " (" + why_not(rfc_library_file_name(), directory) + ")"));
        if (library) {
            std::string missing;
            RfcApi api = bind_classic(library, missing);
            if (!missing.empty())
                throw NumberedError(std::string("Error 1018: RFC library ") + classic_path +
                                    " lacks the operation(s) " + missing + "...");
            api.library_path = classic_path;
            return api;
        }
    }
    RfcApi api;
    std::string missing;
    if (load_nw_library(directory, api, missing)) return api;
    if (!missing.empty())
        throw NumberedError("Error 1018: RFC library " + api.library_path +
                            " lacks the operation(s) " + missing + "...");
    std::string nw = nw_library_file_name();
    std::string not_beside = why_not(nw, directory);
    std::string text = "Error 1018: no RFC library can be loaded: ";
    if (choice != RfcLibraryChoice::NetWeaver)
        text += why_not(rfc_library_file_name(), directory) + "; ";
    text += not_beside +
            (not_beside.find(" is not in ") != std::string::npos ? " nor" : ", and not") +
            " on the system's search path; put SAP's " +
            (choice == RfcLibraryChoice::NetWeaver ? "NetWeaver RFC library" : "RFC library") +
            " beside the sensor program...";
    throw NumberedError(text);
}
