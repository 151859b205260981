#pragma once
#include <string>

#include "rfc/saprfc.h"

// Which of SAP's two RFC libraries a run works through.
enum class RfcBackEnd { Classic, NetWeaver };

// The twelve entry points the program takes from the RFC library. With the
// classic library they are the library's own; with the NetWeaver library
// they are the program's own operations of the same shape that work through
// it (rfc/nw_library). Unit tests fill one with fakes.
struct RfcApi {
    RfcEnvironment_t RfcEnvironment = nullptr;
    RfcOpen_t RfcOpen = nullptr;
    RfcOpenEx_t RfcOpenEx = nullptr;
    RfcInstallStructure_t RfcInstallStructure = nullptr;
    RfcCall_t RfcCall = nullptr;
    RfcReceive_t RfcReceive = nullptr;
    RfcLastError_t RfcLastError = nullptr;
    RfcClose_t RfcClose = nullptr;
    ItCreate_t ItCreate = nullptr;
    ItFill_t ItFill = nullptr;
    ItGetLine_t ItGetLine = nullptr;
    ItDelete_t ItDelete = nullptr;
    RfcBackEnd back_end = RfcBackEnd::Classic;
    std::string library_path; // as it was loaded
};

// "librfc32.dll" on Windows, "librfc32.so" elsewhere.
const char *rfc_library_file_name();

// Which library the option string's ",RFCLIB=" asks for: CLASSIC or NW in
// any case; absent, either (classic first). Throws NumberedError 1010 for
// any other value.
enum class RfcLibraryChoice { Either, Classic, NetWeaver };
RfcLibraryChoice rfc_library_choice(const std::string &option_string,
                                    const std::string &option_text);

// Loads the RFC library the choice allows: librfc32 from the directory of
// the running program; when it is not there or cannot be loaded, SAP's
// NetWeaver library from that directory, then from the system's search
// path. Throws NumberedError 1018 naming each library, where it was looked
// for and, for a file of the wrong bitness, that; or naming the operations
// that the library found lacks.
RfcApi load_rfc_library(RfcLibraryChoice choice = RfcLibraryChoice::Classic);

// A shared library by path (or bare name: the system's search path), and
// one of its symbols; null when absent.
void *open_shared_library(const std::string &path);
// A library by its bare name, from the system's own folders only: on
// Windows LoadLibraryExA with LOAD_LIBRARY_SEARCH_DEFAULT_DIRS (the
// program's folder, System32 and folders added for the process), never the
// working folder or PATH, where another user may have put a DLL; nothing
// where the system cannot search that way. Elsewhere dlopen's own search
// (LD_LIBRARY_PATH, the loader's cache and default folders), which never
// takes the working folder by itself.
void *open_system_library(const char *name);
void *shared_library_symbol(void *library, const char *name);

// Sets entry to the library's function name; when the library lacks it,
// entry is null and name is added to missing (comma-separated).
template <typename Function>
void bind_symbol(void *library, Function *&entry, const char *name, std::string &missing) {
    void *address = shared_library_symbol(library, name);
    if (!address) missing += std::string(missing.empty() ? "" : ", ") + name;
    entry = reinterpret_cast<Function *>(address);
}

// "32-bit" or "64-bit" when the file at path is a Windows or ELF shared
// library of the other bitness than this program; empty otherwise.
std::string wrong_bitness(const std::string &path);
