// The NetWeaver road: the classic operations the runs call, done through
// SAP's NetWeaver RFC library. Every answer the runs give stays the same:
// the library's result codes map onto the classic ones (ARCHITECTURE.md has
// the table), and the reason of a failure is written, as the classic library
// writes it, to Dev_Rfc.Trc in the trace directory, where the runs read it.
// There is no fatal-error handler on this road: the library calls nothing
// back. Single-threaded, like the runs.
#include "rfc/nw_library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include "common/numbered_error.h"
#include "config/destination_file.h"
#include "rfc/sapnwrfc.h"
#include "rfc/shared_library.h"

const char *nw_library_file_name() {
#ifdef _WIN32
    return "sapnwrfc.dll";
#else
    return "libsapnwrfc.so";
#endif
}

namespace {

using UcText = std::basic_string<nw::SAP_UC>;

struct NwApi {
    nw::RfcOpenConnection_t RfcOpenConnection = nullptr;
    nw::RfcCloseConnection_t RfcCloseConnection = nullptr;
    nw::RfcSetTraceDir_t RfcSetTraceDir = nullptr;
    nw::RfcCreateTypeDesc_t RfcCreateTypeDesc = nullptr;
    nw::RfcAddTypeField_t RfcAddTypeField = nullptr;
    nw::RfcSetTypeLength_t RfcSetTypeLength = nullptr;
    nw::RfcCreateFunctionDesc_t RfcCreateFunctionDesc = nullptr;
    nw::RfcAddParameter_t RfcAddParameter = nullptr;
    nw::RfcCreateFunction_t RfcCreateFunction = nullptr;
    nw::RfcDestroyFunction_t RfcDestroyFunction = nullptr;
    nw::RfcSetChars_t RfcSetChars = nullptr;
    nw::RfcInvoke_t RfcInvoke = nullptr;
    nw::RfcGetTable_t RfcGetTable = nullptr;
    nw::RfcGetRowCount_t RfcGetRowCount = nullptr;
    nw::RfcMoveTo_t RfcMoveTo = nullptr;
    nw::RfcGetInt_t RfcGetInt = nullptr;
    nw::RfcGetInt2_t RfcGetInt2 = nullptr;
};
NwApi nwapi;

// The profile's texts are Latin-1: one code unit per byte.
UcText uc(const std::string &text) {
    UcText out;
    for (unsigned char c : text)
        out += static_cast<nw::SAP_UC>(c);
    return out;
}

// Back to bytes: Latin-1 stays, anything beyond becomes "?" (the XML answer
// then escapes what is not ASCII).
std::string latin1(const nw::SAP_UC *text, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count && text[i]; ++i)
        out += text[i] < 256 ? static_cast<char>(text[i]) : '?';
    return out;
}
template <std::size_t N> std::string latin1(const nw::SAP_UC (&field)[N]) {
    return latin1(field, N);
}

// What RfcLastError hands out, and the trace block that carries the reason.
RFC_ERROR_INFO last_error{};

void copy_field(char *field, std::size_t width, const std::string &text) {
    std::size_t n = std::min(text.size(), width - 1);
    std::fill(field, field + width, '\0');
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field);
}

// Keeps the error record for RfcLastError and appends its reason to
// Dev_Rfc.Trc in the trace directory (the run's folder), in the layout the
// runs read: "ERROR" and the text, as the classic library writes it.
void record(const char *operation, const nw::RFC_ERROR_INFO &error, bool write_trace = true) {
    std::string key = latin1(error.key), message = latin1(error.message);
    copy_field(last_error.key, sizeof last_error.key, key);
    copy_field(last_error.status, sizeof last_error.status, operation);
    copy_field(last_error.message, sizeof last_error.message, message);
    copy_field(last_error.intstat, sizeof last_error.intstat,
               "RFC_RC " + std::to_string(static_cast<int>(error.code)));
    if (!write_trace) return;
    const char *dir = std::getenv("RFC_TRACE_DIR");
    std::string path = dir && *dir ? std::string(dir) : std::string();
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
#ifdef _WIN32
        path += '\\';
#else
        path += '/';
#endif
    path += "Dev_Rfc.Trc";
    std::time_t now = std::time(nullptr);
    char when[32] = "";
    if (const std::tm *local = std::localtime(&now))
        std::strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y", local);
    std::string block = std::string("\n**** ERROR file opened at ") + when + "\nsapnwrfc ======> " +
                        operation + ": " + key + "\nERROR       " + message + "\n";
    if (std::FILE *out = std::fopen(path.c_str(), "ab")) {
        std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
    }
}

void record_text(const char *operation, nw::RFC_RC code, const char *key,
                 const std::string &message) {
    nw::RFC_ERROR_INFO error{};
    error.code = code;
    UcText k = uc(key), m = uc(message);
    std::copy(k.begin(),
              k.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(k.size(), 127)),
              error.key);
    std::copy(m.begin(),
              m.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(m.size(), 511)),
              error.message);
    record(operation, error);
}

// ---- connections ----

// The road's state lives for the process (on the heap, so that no exit
// handler tears it down while a watchdog may still close a connection).
std::map<RFC_HANDLE, nw::RFC_CONNECTION_HANDLE> &connections =
    *new std::map<RFC_HANDLE, nw::RFC_CONNECTION_HANDLE>;
RFC_HANDLE next_handle = 1;

// Opens with the named parameters, in their order.
RFC_HANDLE open_with(const NwSettings &settings, const char *operation) {
    std::vector<UcText> texts;
    texts.reserve(settings.size() * 2);
    std::vector<nw::RFC_CONNECTION_PARAMETER> parameters;
    for (const auto &setting : settings) {
        texts.push_back(uc(setting.first));
        texts.push_back(uc(setting.second));
    }
    for (std::size_t i = 0; i < settings.size(); ++i)
        parameters.push_back({texts[2 * i].c_str(), texts[2 * i + 1].c_str()});
    nw::RFC_ERROR_INFO error{};
    nw::RFC_CONNECTION_HANDLE connection = nwapi.RfcOpenConnection(
        parameters.data(), static_cast<unsigned>(parameters.size()), &error);
    if (!connection) {
        record(operation, error);
        return 0;
    }
    RFC_HANDLE handle = next_handle++;
    connections[handle] = connection;
    return handle;
}

std::string trimmed(const char *text) {
    std::string value = text ? text : "";
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

void add(NwSettings &settings, const char *key, const std::string &value) {
    if (!value.empty()) settings.emplace_back(key, value);
}

} // namespace

NwSettings nw_logon_settings(const RFC_OPTIONS &options) {
    // The profile's values as they are: the classic library's blank padding
    // of user and password is not the NetWeaver library's.
    if (options.mode == RFC_MODE_CPIC)
        throw NumberedError("Error 1008: Mode R/2 of destination " + trimmed(options.destination) +
                            " needs the classic RFC library (librfc32); the NetWeaver RFC "
                            "library reaches R/3 systems only !");
    NwSettings settings;
    const auto *r3 = static_cast<const RFC_CONNOPT_R3ONLY *>(options.connopt);
    if (r3) {
        add(settings, "ASHOST", trimmed(r3->hostname));
        char sysnr[16];
        std::snprintf(sysnr, sizeof sysnr, "%02d", r3->sysnr);
        add(settings, "SYSNR", sysnr);
    }
    add(settings, "CLIENT", trimmed(options.client));
    add(settings, "USER", trimmed(options.user));
    add(settings, "PASSWD", trimmed(options.password));
    add(settings, "LANG", trimmed(options.language));
    if (r3) {
        add(settings, "GWHOST", trimmed(r3->gateway_host));
        add(settings, "GWSERV", trimmed(r3->gateway_service));
    }
    return settings;
}

NwSettings nw_destination_settings(const DestinationSettings &entry,
                                   const DestinationSettings &logon) {
    NwSettings passed;
    for (const auto &list : {entry, logon})
        for (const auto &word : list)
            if (word.first != "DEST" && word.first != "TYPE") {
                bool replaced = false;
                for (auto &earlier : passed)
                    if (earlier.first == word.first) {
                        earlier.second = word.second;
                        replaced = true;
                    }
                if (!replaced) passed.push_back(word);
            }
    return passed;
}

namespace {

void SAP_API nw_environment(RFC_ENV *) {}

RFC_HANDLE SAP_API nw_open(RFC_OPTIONS *options) {
    if (!options) return 0;
    return open_with(nw_logon_settings(*options), "RfcOpenConnection");
}

// The entry of destination in the destination file that RFC_INI names,
// read by the sensor's rules (config/destination_file.h). False when absent.
bool destination_entry(const std::string &destination, DestinationSettings &entry) {
    const char *ini = std::getenv("RFC_INI");
    std::FILE *in = std::fopen(ini && *ini ? ini : "SapRfc.ini", "rb");
    if (!in) return false;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0 && text.size() < (1u << 20))
        text.append(buffer, n);
    std::fclose(in);
    return read_destination_entry(text, destination, entry);
}

RFC_HANDLE SAP_API nw_open_ex(const char *connect_param, RFC_ERROR_INFO_EX *error) {
    DestinationSettings words = read_connect_words(connect_param ? connect_param : "");
    std::string destination = setting_value(words, "DEST");
    DestinationSettings settings;
    if (!destination_entry(destination, settings)) {
        record_text("RfcOpenConnection", nw::RFC_INVALID_PARAMETER, "RFC_ERROR_PROGRAM",
                    "destination " + destination + " not found in SapRfc.ini");
        if (error) {
            std::memset(error, 0, sizeof *error);
            copy_field(error->key, sizeof error->key, last_error.key);
            copy_field(error->message, sizeof error->message, last_error.message);
        }
        return 0;
    }
    RFC_HANDLE handle = open_with(nw_destination_settings(settings, words), "RfcOpenConnection");
    if (!handle && error) {
        std::memset(error, 0, sizeof *error);
        copy_field(error->key, sizeof error->key, last_error.key);
        copy_field(error->message, sizeof error->message, last_error.message);
    }
    return handle;
}

void SAP_API nw_close(RFC_HANDLE handle) {
    auto found = connections.find(handle);
    if (found == connections.end()) return;
    nw::RFC_ERROR_INFO error{};
    nwapi.RfcCloseConnection(found->second, &error);
    connections.erase(found);
}

// ---- descriptions: built here, as the classic road describes its call ----

struct Structure {
    std::string name;
    std::vector<RFC_TYPE_ELEMENT> elements; // offsets as laid out here
    std::vector<std::string> names;
    nw::RFC_TYPE_DESC_HANDLE description = nullptr;
    unsigned uc_length = 0;
};
std::vector<Structure> &structures = *new std::vector<Structure>;

nw::RFCTYPE nw_type(unsigned type) {
    return type == TYPINT ? nw::RFCTYPE_INT : type == TYPINT2 ? nw::RFCTYPE_INT2 : nw::RFCTYPE_CHAR;
}

unsigned aligned(unsigned offset, unsigned alignment) {
    return (offset + alignment - 1) / alignment * alignment;
}

template <std::size_t N> void set_name(nw::SAP_UC (&field)[N], const std::string &name) {
    UcText text = uc(name);
    std::size_t n = std::min(text.size(), N - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), field);
    field[n] = 0;
}

RFC_RC SAP_API nw_install_structure(const char *name, RFC_TYPE_ELEMENT *elements, unsigned entries,
                                    RFC_TYPEHANDLE *type_handle) {
    if (!name || !elements || !type_handle) return RFC_FAILURE;
    nw::RFC_ERROR_INFO error{};
    Structure s;
    s.name = name;
    s.description = nwapi.RfcCreateTypeDesc(uc(name).c_str(), &error);
    if (!s.description) return record("RfcCreateTypeDesc", error), RFC_FAILURE;
    unsigned nuc = 0, ucl = 0;
    for (unsigned i = 0; i < entries; ++i) {
        const RFC_TYPE_ELEMENT &e = elements[i];
        nw::RFC_FIELD_DESC field{};
        set_name(field.name, e.name ? e.name : "");
        field.type = nw_type(e.type);
        bool chars = field.type == nw::RFCTYPE_CHAR;
        unsigned alignment = chars ? 1 : e.length;
        field.nucLength = e.length;
        field.ucLength = chars ? 2 * e.length : e.length;
        field.nucOffset = aligned(nuc, alignment);
        field.ucOffset = aligned(ucl, chars ? 2 : alignment);
        field.decimals = e.decimals;
        nuc = field.nucOffset + field.nucLength;
        ucl = field.ucOffset + field.ucLength;
        if (nwapi.RfcAddTypeField(s.description, &field, &error) != nw::RFC_OK)
            return record("RfcAddTypeField", error), RFC_FAILURE;
        s.names.push_back(e.name ? e.name : "");
        s.elements.push_back(e);
        s.elements.back().offset = field.nucOffset;
    }
    s.uc_length = aligned(ucl, 4);
    if (nwapi.RfcSetTypeLength(s.description, aligned(nuc, 4), s.uc_length, &error) != nw::RFC_OK)
        return record("RfcSetTypeLength", error), RFC_FAILURE;
    structures.push_back(s);
    *type_handle = static_cast<RFC_TYPEHANDLE>(structures.size());
    return RFC_OK;
}

// ---- the call ----

struct Call {
    std::string function;
    struct Value {
        std::string name;
        unsigned type, length;
        std::string bytes;
    };
    std::vector<Value> exporting;
    std::vector<RFC_TABLE> tables;
};
std::map<RFC_HANDLE, Call> &pending = *new std::map<RFC_HANDLE, Call>;
std::map<std::string, nw::RFC_FUNCTION_DESC_HANDLE> &functions =
    *new std::map<std::string, nw::RFC_FUNCTION_DESC_HANDLE>;
std::string &exception_text = *new std::string;

std::string name_of(const char *name, unsigned length) {
    return name ? std::string(name, strnlen(name, length)) : "";
}

RFC_RC SAP_API nw_call(RFC_HANDLE handle, const char *function, RFC_PARAMETER *exporting,
                       RFC_TABLE *tables) {
    if (!connections.count(handle)) {
        record_text("RfcInvoke", nw::RFC_INVALID_HANDLE, "RFC_INVALID_HANDLE",
                    "invalid connection handle");
        return RFC_FAILURE;
    }
    Call call;
    call.function = function ? function : "";
    for (RFC_PARAMETER *p = exporting; p && p->name; ++p)
        call.exporting.push_back({name_of(p->name, p->nlen), p->type, p->leng,
                                  std::string(static_cast<const char *>(p->addr), p->leng)});
    for (RFC_TABLE *t = tables; t && t->name; ++t)
        call.tables.push_back(*t);
    pending[handle] = call;
    return RFC_OK;
}

nw::RFC_PARAMETER_DESC describe(const std::string &name, unsigned type, unsigned length,
                                nw::RFC_DIRECTION direction) {
    nw::RFC_PARAMETER_DESC p{};
    set_name(p.name, name);
    p.type = nw_type(type);
    p.direction = direction;
    p.nucLength = length;
    p.ucLength = p.type == nw::RFCTYPE_CHAR ? 2 * length : length;
    return p;
}

// The function's description, built once per process from the call.
nw::RFC_FUNCTION_DESC_HANDLE function_description(const Call &call, RFC_PARAMETER *importing) {
    auto known = functions.find(call.function);
    if (known != functions.end()) return known->second;
    nw::RFC_ERROR_INFO error{};
    nw::RFC_FUNCTION_DESC_HANDLE d = nwapi.RfcCreateFunctionDesc(uc(call.function).c_str(), &error);
    if (!d) return record("RfcCreateFunctionDesc", error), nullptr;
    std::vector<nw::RFC_PARAMETER_DESC> list;
    for (const auto &v : call.exporting)
        list.push_back(describe(v.name, v.type, v.length, nw::RFC_IMPORT));
    for (RFC_PARAMETER *p = importing; p && p->name; ++p)
        list.push_back(describe(name_of(p->name, p->nlen), p->type, p->leng, nw::RFC_EXPORT));
    for (const RFC_TABLE &t : call.tables) {
        if (t.type == 0 || t.type > structures.size()) {
            record_text("RfcAddParameter", nw::RFC_INVALID_PARAMETER, "RFC_INVALID_PARAMETER",
                        "table " + name_of(t.name, t.nlen) + ": no structure installed");
            return nullptr;
        }
        const Structure &s = structures[t.type - 1];
        nw::RFC_PARAMETER_DESC p = describe(name_of(t.name, t.nlen), TYPC, t.leng, nw::RFC_TABLES);
        p.type = nw::RFCTYPE_TABLE;
        p.ucLength = s.uc_length;
        p.typeDescHandle = s.description;
        list.push_back(p);
    }
    for (const auto &p : list)
        if (nwapi.RfcAddParameter(d, &p, &error) != nw::RFC_OK)
            return record("RfcAddParameter", error), nullptr;
    functions[call.function] = d;
    return d;
}

// Reads the table's rows into the internal table, field by field at the
// offsets of the classic line.
bool read_table(nw::RFC_FUNCTION_HANDLE function, const RFC_TABLE &t, nw::RFC_ERROR_INFO &error) {
    nw::RFC_TABLE_HANDLE rows = nullptr;
    unsigned count = 0;
    if (nwapi.RfcGetTable(function, uc(name_of(t.name, t.nlen)).c_str(), &rows, &error) !=
            nw::RFC_OK ||
        nwapi.RfcGetRowCount(rows, &count, &error) != nw::RFC_OK)
        return false;
    const Structure &s = structures[t.type - 1];
    auto *table = static_cast<std::vector<std::string> *>(t.ithandle);
    for (unsigned row = 0; row < count; ++row) {
        if (nwapi.RfcMoveTo(rows, row, &error) != nw::RFC_OK) return false;
        std::string line(t.leng, '\0');
        for (std::size_t i = 0; i < s.elements.size(); ++i) {
            const RFC_TYPE_ELEMENT &e = s.elements[i];
            UcText field = uc(s.names[i]);
            if (e.offset + e.length > line.size()) continue;
            if (e.type == TYPINT) {
                nw::RFC_INT value = 0;
                if (nwapi.RfcGetInt(rows, field.c_str(), &value, &error) != nw::RFC_OK)
                    return false;
                std::memcpy(&line[e.offset], &value, 4);
            } else if (e.type == TYPINT2) {
                nw::RFC_INT2 value = 0;
                if (nwapi.RfcGetInt2(rows, field.c_str(), &value, &error) != nw::RFC_OK)
                    return false;
                std::memcpy(&line[e.offset], &value, 2);
            }
        }
        table->push_back(line);
    }
    return true;
}

// The classic result code for the NetWeaver library's (ARCHITECTURE.md).
RFC_RC classic_code(nw::RFC_RC code) {
    switch (code) {
    case nw::RFC_OK:
        return RFC_OK;
    case nw::RFC_ABAP_EXCEPTION:
        return RFC_EXCEPTION;
    case nw::RFC_ABAP_MESSAGE:
    case nw::RFC_ABAP_RUNTIME_FAILURE:
    case nw::RFC_ABAP_CLASS_EXCEPTION:
        return RFC_SYS_EXCEPTION;
    case nw::RFC_UNKNOWN_ERROR:
        return 4; // "Other Failure"
    default:
        return RFC_FAILURE;
    }
}

RFC_RC SAP_API nw_receive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables,
                          char **exception) {
    (void)tables; // the tables of the call
    auto found = pending.find(handle);
    auto connection = connections.find(handle);
    if (found == pending.end() || connection == connections.end()) {
        record_text("RfcInvoke", nw::RFC_ILLEGAL_STATE, "RFC_ILLEGAL_STATE",
                    "no call pending on this handle");
        return RFC_FAILURE;
    }
    Call call = found->second;
    pending.erase(found);
    nw::RFC_FUNCTION_DESC_HANDLE description = function_description(call, importing);
    if (!description) return RFC_FAILURE;
    nw::RFC_ERROR_INFO error{};
    nw::RFC_FUNCTION_HANDLE function = nwapi.RfcCreateFunction(description, &error);
    if (!function) return record("RfcCreateFunction", error), RFC_FAILURE;
    nw::RFC_RC rc = nw::RFC_OK;
    for (const auto &v : call.exporting) {
        UcText value = uc(v.bytes);
        rc = nwapi.RfcSetChars(function, uc(v.name).c_str(), value.c_str(),
                               static_cast<unsigned>(value.size()), &error);
        if (rc != nw::RFC_OK) break;
    }
    const char *operation = rc == nw::RFC_OK ? "RfcInvoke" : "RfcSetChars";
    if (rc == nw::RFC_OK) rc = nwapi.RfcInvoke(connection->second, function, &error);
    if (rc == nw::RFC_OK) {
        for (const RFC_TABLE &t : call.tables)
            if (!read_table(function, t, error)) {
                rc = error.code == nw::RFC_OK ? nw::RFC_UNKNOWN_ERROR : error.code;
                operation = "RfcGetTable";
                break;
            }
    }
    nw::RFC_ERROR_INFO unused{};
    nwapi.RfcDestroyFunction(function, &unused);
    if (rc == nw::RFC_OK) return RFC_OK;
    error.code = rc;
    RFC_RC classic = classic_code(rc);
    // An exception the function module raised carries its key, and leaves
    // no trace, as on the classic road.
    record(operation, error, classic != RFC_EXCEPTION);
    exception_text = latin1(error.key);
    if (exception) *exception = &exception_text[0];
    return classic;
}

int SAP_API nw_last_error(RFC_ERROR_INFO *error) {
    if (!error) return 1;
    *error = last_error;
    return 0;
}

// ---- internal tables: the program's own ----

ITAB_H SAP_API nw_it_create(const char *, unsigned leng, unsigned, unsigned) {
    return leng == 0 ? nullptr : new std::vector<std::string>();
}

unsigned SAP_API nw_it_fill(ITAB_H table) {
    return table ? static_cast<unsigned>(static_cast<std::vector<std::string> *>(table)->size())
                 : 0;
}

void *SAP_API nw_it_get_line(ITAB_H table, unsigned line) {
    auto *lines = static_cast<std::vector<std::string> *>(table);
    if (!lines || line == 0 || line > lines->size()) return nullptr;
    return &(*lines)[line - 1][0];
}

int SAP_API nw_it_delete(ITAB_H table) {
    if (!table) return 1;
    delete static_cast<std::vector<std::string> *>(table);
    return 0;
}

} // namespace

bool load_nw_library(const std::string &directory, RfcApi &api, std::string &missing) {
    std::string path = directory + nw_library_file_name();
    void *library = open_shared_library(path);
    if (!library) {
        // By its bare name from the known folders only (library_request):
        // a library planted in the working folder or on PATH is not taken.
        path = nw_library_file_name();
        library = open_shared_library(path);
    }
    if (!library) return false;
    api.library_path = path;
    NwApi found;
    auto bind = [&](auto &entry, const char *name) { bind_symbol(library, entry, name, missing); };
    bind(found.RfcOpenConnection, "RfcOpenConnection");
    bind(found.RfcCloseConnection, "RfcCloseConnection");
    bind(found.RfcSetTraceDir, "RfcSetTraceDir");
    bind(found.RfcCreateTypeDesc, "RfcCreateTypeDesc");
    bind(found.RfcAddTypeField, "RfcAddTypeField");
    bind(found.RfcSetTypeLength, "RfcSetTypeLength");
    bind(found.RfcCreateFunctionDesc, "RfcCreateFunctionDesc");
    bind(found.RfcAddParameter, "RfcAddParameter");
    bind(found.RfcCreateFunction, "RfcCreateFunction");
    bind(found.RfcDestroyFunction, "RfcDestroyFunction");
    bind(found.RfcSetChars, "RfcSetChars");
    bind(found.RfcInvoke, "RfcInvoke");
    bind(found.RfcGetTable, "RfcGetTable");
    bind(found.RfcGetRowCount, "RfcGetRowCount");
    bind(found.RfcMoveTo, "RfcMoveTo");
    bind(found.RfcGetInt, "RfcGetInt");
    bind(found.RfcGetInt2, "RfcGetInt2");
    if (!missing.empty()) return false;
    nwapi = found;
    // The library's own trace goes to the run's folder.
    if (const char *dir = std::getenv("RFC_TRACE_DIR")) {
        UcText text = uc(dir);
        nw::RFC_ERROR_INFO error{};
        nwapi.RfcSetTraceDir(&text[0], &error);
    }
    // The program's own operations, in the order of RfcApi's entry points.
    api = RfcApi{nw_environment,
                 nw_open,
                 nw_open_ex,
                 nw_install_structure,
                 nw_call,
                 nw_receive,
                 nw_last_error,
                 nw_close,
                 nw_it_create,
                 nw_it_fill,
                 nw_it_get_line,
                 nw_it_delete,
                 RfcBackEnd::NetWeaver,
                 path,
                 library};
    return true;
}

std::string nw_library_version(void *library) {
    auto get_version =
        reinterpret_cast<nw::RfcGetVersion_t>(shared_library_symbol(library, "RfcGetVersion"));
    if (!get_version) return "";
    unsigned major = 0, minor = 0, patch = 0;
    const nw::SAP_UC *text = get_version(&major, &minor, &patch);
    std::string out =
        std::to_string(major) + "." + std::to_string(minor) + " patch " + std::to_string(patch);
    if (text) out += " (" + latin1(text, 128) + ")";
    return out;
}
