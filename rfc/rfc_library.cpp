#include "rfc/rfc_library.h"

#include "common/numbered_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

const char *rfc_library_file_name() {
#ifdef _WIN32
    return "librfc32.dll";
#else
    return "librfc32.so";
#endif
}

namespace {

// The directory of the running program, with its trailing separator.
std::string program_directory() {
#ifdef _WIN32
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, n);
    std::string::size_type sep = text.find_last_of("\\/");
#else
    char path[PATH_MAX + 1] = {};
    ssize_t n = readlink("/proc/self/exe", path, PATH_MAX);
    std::string text(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    std::string::size_type sep = text.rfind('/');
#endif
    return sep == std::string::npos ? std::string() : text.substr(0, sep + 1);
}

} // namespace

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
