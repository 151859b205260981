#include "rfc/rfc_library.h"

#include <cstdio>

#include "common/files.h"
#include "common/numbered_error.h"
#include "rfc/nw_library.h"
#include "rfc/shared_library.h"

const char *rfc_library_file_name() {
#ifdef _WIN32
    return "librfc32.dll";
#else
    return "librfc32.so";
#endif
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

// Where a file a library needs was looked for, as the loader does.
#ifdef _WIN32
constexpr const char *missing_where = "neither beside it nor in the system's folder";
#else
constexpr const char *missing_where = "neither beside it nor where the loader looks";
#endif

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
    std::string missing = first_missing_need(path, directory);
    if (!missing.empty())
        return file + " in " + directory + " cannot be loaded: it needs " + missing +
               ", which is " + missing_where;
    return file + " in " + directory + " cannot be loaded";
}

// Whether why_not says more than that the file is there and failed.
bool says_why(const std::string &reason) {
    return reason.find(" is a ") != std::string::npos ||
           reason.find(" it needs ") != std::string::npos;
}

} // namespace

RfcApi load_rfc_library(RfcLibraryChoice choice) {
    std::string directory = program_directory();
    std::string classic_path = directory + rfc_library_file_name();
    if (choice != RfcLibraryChoice::NetWeaver) {
        void *library = open_shared_library(classic_path);
        if (!library && choice == RfcLibraryChoice::Classic) {
            std::string reason = why_not(rfc_library_file_name(), directory);
            throw NumberedError("Error 1018: RFC library " + classic_path +
                                " cannot be loaded; install it beside the sensor program..." +
                                (says_why(reason) ? " (" + reason + ")" : ""));
        }
        if (library) {
            std::string missing;
            RfcApi api = bind_classic(library, missing);
            if (!missing.empty())
                throw NumberedError(std::string("Error 1018: RFC library ") + classic_path +
                                    " lacks the operation(s) " + missing + "...");
            api.library_path = classic_path;
            api.library = library;
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
