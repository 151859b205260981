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
// NetWeaver library from that directory, then by its bare name from the
// known folders (see library_request). Throws NumberedError 1018 naming each library, where it was
// looked for and, for a file of the wrong bitness, that; or naming the operations that the library
// found lacks.
RfcApi load_rfc_library(RfcLibraryChoice choice = RfcLibraryChoice::Classic);

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

// "32-bit" or "64-bit" when the file at path is a Windows or ELF shared
// library of the other bitness than this program; empty otherwise.
std::string wrong_bitness(const std::string &path);
