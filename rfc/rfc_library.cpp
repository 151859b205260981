#include "rfc/rfc_library.h"

#include "common/files.h"
#include "common/numbered_error.h"

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

RfcApi load_rfc_library() {
    std::string path = program_directory() + rfc_library_file_name();
#ifdef _WIN32
    HMODULE library = LoadLibraryA(path.c_str());
    auto lookup = [&](const char *name) {
        return library ? reinterpret_cast<void *>(GetProcAddress(library, name)) : nullptr;
    };
#else
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto lookup = [&](const char *name) { return library ? dlsym(library, name) : nullptr; };
#endif
    if (!library)
        throw NumberedError(std::string("Error 1018: RFC library ") + path +
                            " cannot be loaded; install it beside the sensor program...");
    RfcApi api;
    std::string missing;
    auto bind = [&](auto &entry, const char *name) {
        void *address = lookup(name);
        if (!address) missing += std::string(missing.empty() ? "" : ", ") + name;
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(address);
    };
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
    if (!missing.empty())
        throw NumberedError(std::string("Error 1018: RFC library ") + path +
                            " lacks the operation(s) " + missing + "...");
    return api;
}
