// The stand-in RFC library: SAP's classic librfc32 operations over a TCP
// connection to sapsim. Failures are written to "Dev_Rfc.Trc" in the
// current directory, in the layout that SAP's library uses for its trace.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "librfc32/connection.h"
#include "librfc32/protocol.h"
#include "rfc/saprfc.h"

#ifdef _WIN32
#define RFC_EXPORT extern "C" __declspec(dllexport)
#else
#define RFC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr int default_connect_timeout_s = 5;
constexpr int default_receive_timeout_s = 20;

struct Connection {
    Socket socket;
    std::string destination;
    int receive_timeout_ms = default_receive_timeout_s * 1000;
    std::string exception; // what RfcReceive hands out for results 2 and 3
    bool call_pending = false;
    std::string function; // of the pending call
};

// The library's own state: the installed environment, the last error and the
// open connections, each connection with its own socket and buffers.
std::mutex state_mutex;
RFC_ENV environment{};
RFC_ERROR_INFO last_error{};
std::map<RFC_HANDLE, std::unique_ptr<Connection>> connections;
RFC_HANDLE next_handle = 1;
std::map<RFC_TYPEHANDLE, std::string> structures;

// A misbehaviour that sapsim asks for in its logon reply ("libfault NAME"),
// so that tests reach the caller's handling of failures that a healthy
// library never produces. Empty: behave.
std::string library_fault;

void copy_field(char *field, std::size_t width, const std::string &text) {
    std::memset(field, 0, width);
    std::strncpy(field, text.c_str(), width - 1);
}

// Keeps the failure for RfcLastError and, unless it is only an exception
// that the function module raised, appends it to Dev_Rfc.Trc.
void record_error(const char *key, const std::string &operation, const std::string &text,
                  bool write_trace = true) {
    copy_field(last_error.key, sizeof last_error.key, key);
    copy_field(last_error.status, sizeof last_error.status, operation);
    copy_field(last_error.message, sizeof last_error.message, text);
    copy_field(last_error.intstat, sizeof last_error.intstat, "CPIC-CALL: " + operation);
    if (!write_trace) return;
    if (std::FILE *trace = std::fopen("Dev_Rfc.Trc", "a")) {
        std::time_t now = std::time(nullptr);
        char when[32] = "";
        if (const std::tm *local = std::localtime(&now))
            std::strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y", local);
        std::fprintf(trace, "\n**** ERROR file opened at %s\n", when);
        std::fprintf(trace, "librfc ======> %s: %s\n", operation.c_str(), text.c_str());
        std::fprintf(trace, "ERROR       %s\n", text.c_str());
        std::fclose(trace);
    }
}

// Reports an error that no result code can carry to the installed handler.
void raise_to_handler(const char *operation) {
    RFC_ERROR_HANDLER handler = environment.errorhandler;
    if (handler) {
        std::string text = operation;
        handler(&text[0]);
    }
}

std::string trim_right(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string text_of(const char *text) {
    return text ? text : "";
}

// "sapgw00" -> 3300, "3342" -> 3342, anything else -> 0.
int service_port(const std::string &service) {
    bool gateway_name = service.compare(0, 5, "sapgw") == 0;
    std::string digits = gateway_name ? service.substr(5) : service;
    if (digits.empty() || digits.size() > 5) return 0;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    int number = std::atoi(digits.c_str());
    return gateway_name ? 3300 + number : number;
}

// The saprfc.ini in use: the file that RFC_INI names, as SAP's library does,
// or "SapRfc.ini" in the current directory.
std::string saprfc_ini_path() {
    const char *path = std::getenv("RFC_INI");
    return path && *path ? path : "SapRfc.ini";
}

// The entry of a destination in the saprfc.ini in use.
bool saprfc_ini_entry(const std::string &destination, wire::Entry &entry) {
    std::ifstream in(saprfc_ini_path());
    return in && wire::read_saprfc_entry(in, destination, entry);
}

int seconds_setting(const wire::Entry &entry, const char *key, int fallback) {
    auto it = entry.find(key);
    if (it == entry.end()) return fallback;
    int value = std::atoi(it->second.c_str());
    return value > 0 ? value : fallback;
}

struct Logon {
    Endpoint endpoint;
    std::string destination, client, user, password, language, host, sysnr;
    int connect_timeout_s = default_connect_timeout_s;
    int receive_timeout_s = default_receive_timeout_s;
};

void apply_timeouts(Logon &logon) {
    wire::Entry entry;
    if (!logon.destination.empty() && saprfc_ini_entry(logon.destination, entry)) {
        logon.connect_timeout_s =
            seconds_setting(entry, "CONNECT_TIMEOUT", logon.connect_timeout_s);
        logon.receive_timeout_s =
            seconds_setting(entry, "RECEIVE_TIMEOUT", logon.receive_timeout_s);
    }
}

RFC_HANDLE open_logon(const Logon &logon, const char *operation) {
    if (logon.endpoint.host.empty() || logon.endpoint.port <= 0) {
        record_error("RFC_ERROR_COMMUNICATION", operation,
                     "partner not reached: no host or service for destination " +
                         logon.destination);
        return 0;
    }
    auto connection = std::make_unique<Connection>();
    connection->destination = logon.destination;
    connection->receive_timeout_ms = logon.receive_timeout_s * 1000;
    std::string reason;
    if (!connection->socket.connect_to(logon.endpoint, logon.connect_timeout_s * 1000, reason)) {
        record_error("RFC_ERROR_COMMUNICATION", operation, reason);
        return 0;
    }
    std::string request = "LOGON\nclient " + logon.client + "\nuser " + logon.user + "\npasswd " +
                          logon.password + "\nlang " + logon.language + "\nhost " + logon.host +
                          "\nsysnr " + logon.sysnr + "\ndest " + logon.destination + "\n\n";
    std::vector<std::string> reply;
    if (!connection->socket.send_all(request, reason) ||
        !connection->socket.receive_message(reply, connection->receive_timeout_ms, reason)) {
        record_error("RFC_ERROR_COMMUNICATION", operation,
                     "logon to " + logon.host + ": " + reason);
        return 0;
    }
    if (!reply.empty() && reply[0] == "OK") {
        library_fault.clear();
        for (std::size_t i = 1; i < reply.size(); ++i)
            if (reply[i].compare(0, 9, "libfault ") == 0) library_fault = reply[i].substr(9);
        RFC_HANDLE handle = next_handle++;
        connections[handle] = std::move(connection);
        return handle;
    }
    std::string why = !reply.empty() && reply[0].compare(0, 8, "REFUSED ") == 0
                          ? reply[0].substr(8)
                          : "unexpected reply";
    record_error("RFC_ERROR_LOGON_FAILURE", operation,
                 "logon refused by " + logon.host + " client " + logon.client + " user " +
                     logon.user + ": " + why);
    return 0;
}

// What the dictionary of the simulated system says about the one structure
// and function module it serves. A caller's description must agree, as the
// real library relies on it when it packs and unpacks the data.
struct FieldSpec {
    const char *name;
    unsigned type, length, offset;
};
const FieldSpec mem_all_fields[] = {
    {"TYPE", TYPINT2, 2, 0},       {"SUBTYPE", TYPINT2, 2, 2},    {"SERIALNR", TYPINT2, 2, 4},
    {"IN_PG_SEC", TYPINT, 4, 8},   {"OUT_PG_SEC", TYPINT, 4, 12}, {"IN_KB_SEC", TYPINT, 4, 16},
    {"OUT_KB_SEC", TYPINT, 4, 20}, {"FREE_MEM", TYPINT, 4, 24},   {"PHYS_MEM", TYPINT, 4, 28},
    {"SWAP_CONF", TYPINT, 4, 32},  {"SWAP_FREE", TYPINT, 4, 36},  {"SWAP_SIZE", TYPINT, 4, 40},
    {"SWAP_MAX", TYPINT, 4, 44}};
constexpr unsigned mem_all_fields_count = 13;
constexpr unsigned mem_all_length = 48;

struct ParameterSpec {
    const char *name;
    unsigned type, length;
};
const ParameterSpec get_mem_all_exporting[] = {{"LOCAL_REMOTE", TYPC, 6},
                                               {"LOGICAL_DESTINATION", TYPC, 32}};
const ParameterSpec get_mem_all_importing[] = {
    {"ACTIVEFLAG", TYPINT, 4},  {"DETAILSCOLL", TYPINT, 4},  {"DETAILSMODE", TYPINT, 4},
    {"DETAILSREQI", TYPINT, 4}, {"F_MEM_ALL_READ", TYPC, 3}, {"INTERVAL", TYPINT, 4},
    {"LASTCOLLINT", TYPINT, 4}, {"LASTCOLLWRT", TYPC, 25},   {"NORMCOLLINT", TYPINT, 4}};

// "type 8 length 4", the words of the trace texts below, which stay short
// enough for one line of SAP's trace.
std::string describe(unsigned type, unsigned length) {
    return "type " + std::to_string(type) + " length " + std::to_string(length);
}

// Empty when the description of MEM_ALL agrees with the dictionary, else
// what differs. Offsets may be 0 (the library lays the fields out) or the
// dictionary's own.
std::string check_structure(const std::string &name, const RFC_TYPE_ELEMENT *elements,
                            unsigned entries) {
    if (name != "MEM_ALL") return "structure " + name + " is not in the dictionary";
    if (entries != mem_all_fields_count)
        return "MEM_ALL has " + std::to_string(mem_all_fields_count) + " fields, not " +
               std::to_string(entries);
    unsigned end = 0;
    for (unsigned i = 0; i < entries; ++i) {
        const RFC_TYPE_ELEMENT &e = elements[i];
        const FieldSpec &f = mem_all_fields[i];
        std::string got = e.name ? e.name : "";
        if (got != f.name)
            return "MEM_ALL field " + std::to_string(i + 1) + " is " + got + ", expected " + f.name;
        if (e.type != f.type || e.length != f.length || e.decimals != 0 ||
            (e.offset != 0 && e.offset != f.offset))
            return "MEM_ALL " + got + ": " + describe(e.type, e.length) + " offset " +
                   std::to_string(e.offset) + ", expected " + describe(f.type, f.length) +
                   " offset " + std::to_string(f.offset);
        end = f.offset + f.length;
    }
    if (end != mem_all_length) return "MEM_ALL is " + std::to_string(end) + " bytes";
    return "";
}

// Empty when the parameter list matches the function's interface, in order.
template <std::size_t N>
std::string check_parameters(const char *kind, const RFC_PARAMETER *list,
                             const ParameterSpec (&spec)[N]) {
    std::size_t i = 0;
    for (const RFC_PARAMETER *p = list; p && p->name; ++p, ++i) {
        std::string got(p->name, strnlen(p->name, p->nlen));
        if (i >= N) return std::string(kind) + " " + got + ": not in GET_MEM_ALL";
        if (got != spec[i].name || p->nlen != std::strlen(spec[i].name))
            return std::string(kind) + " " + std::to_string(i + 1) + ": " + got + ", expected " +
                   spec[i].name;
        if (p->type != spec[i].type || p->leng != spec[i].length || !p->addr)
            return std::string(kind) + " " + got + ": " + describe(p->type, p->leng) +
                   ", expected " + describe(spec[i].type, spec[i].length);
    }
    if (i != N) return std::string(kind) + " parameters of GET_MEM_ALL incomplete";
    return "";
}

Connection *find_connection(RFC_HANDLE handle) {
    auto it = connections.find(handle);
    return it == connections.end() ? nullptr : it->second.get();
}

void drop_connection(RFC_HANDLE handle) {
    connections.erase(handle);
}

} // namespace

RFC_EXPORT void SAP_API RfcEnvironment(RFC_ENV *env) {
    std::lock_guard<std::mutex> lock(state_mutex);
    if (env) environment = *env;
}

RFC_EXPORT RFC_HANDLE SAP_API RfcOpen(RFC_OPTIONS *options) {
    std::lock_guard<std::mutex> lock(state_mutex);
    if (!options) return 0;
    Logon logon;
    logon.destination = text_of(options->destination);
    logon.client = text_of(options->client);
    logon.user = trim_right(text_of(options->user));
    logon.password = trim_right(text_of(options->password));
    logon.language = text_of(options->language);
    std::string gwhost, gwservice;
    if (options->mode == RFC_MODE_CPIC) {
        const RFC_CONNOPT_CPIC *cpic = static_cast<const RFC_CONNOPT_CPIC *>(options->connopt);
        if (cpic) {
            gwhost = text_of(cpic->gateway_host);
            gwservice = text_of(cpic->gateway_service);
        }
        logon.host = gwhost;
        logon.endpoint = {gwhost, service_port(gwservice)};
    } else {
        const RFC_CONNOPT_R3ONLY *r3 = static_cast<const RFC_CONNOPT_R3ONLY *>(options->connopt);
        if (r3) {
            logon.host = text_of(r3->hostname);
            logon.sysnr = std::to_string(r3->sysnr);
            if (logon.sysnr.size() < 2) logon.sysnr = "0" + logon.sysnr;
            gwhost = text_of(r3->gateway_host);
            gwservice = text_of(r3->gateway_service);
            if (!gwhost.empty() && !gwservice.empty())
                logon.endpoint = {gwhost, service_port(gwservice)};
            else
                logon.endpoint = {logon.host, 3300 + r3->sysnr};
        }
    }
    apply_timeouts(logon);
    return open_logon(logon, "RfcOpen");
}

RFC_EXPORT RFC_HANDLE SAP_API RfcOpenEx(const char *connect_param, RFC_ERROR_INFO_EX *error) {
    std::lock_guard<std::mutex> lock(state_mutex);
    wire::Entry words;
    std::istringstream in(text_of(connect_param));
    std::string word;
    while (in >> word) {
        std::string::size_type eq = word.find('=');
        if (eq == std::string::npos) continue;
        std::string key = word.substr(0, eq);
        for (char &c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        words[key] = word.substr(eq + 1);
    }
    Logon logon;
    logon.destination = words["DEST"];
    logon.client = words["CLIENT"];
    logon.user = words["USER"];
    logon.password = words["PASSWD"];
    logon.language = words["LANG"];
    wire::Entry entry;
    if (!logon.destination.empty() && !saprfc_ini_entry(logon.destination, entry)) {
        record_error("RFC_ERROR_PROGRAM", "RfcOpenEx",
                     "destination " + logon.destination + " not found in SapRfc.ini");
        if (error) {
            error->group = 1;
            copy_field(error->key, sizeof error->key, last_error.key);
            copy_field(error->message, sizeof error->message, last_error.message);
        }
        return 0;
    }
    for (const char *key : {"ASHOST", "SYSNR", "GWHOST", "GWSERV"})
        if (words.count(key)) entry[key] = words[key];
    logon.host = entry["ASHOST"];
    logon.sysnr = entry["SYSNR"];
    if (!entry["GWHOST"].empty() && !entry["GWSERV"].empty())
        logon.endpoint = {entry["GWHOST"], service_port(entry["GWSERV"])};
    else
        logon.endpoint = {logon.host, 3300 + std::atoi(logon.sysnr.c_str())};
    logon.connect_timeout_s = seconds_setting(entry, "CONNECT_TIMEOUT", logon.connect_timeout_s);
    logon.receive_timeout_s = seconds_setting(entry, "RECEIVE_TIMEOUT", logon.receive_timeout_s);
    RFC_HANDLE handle = open_logon(logon, "RfcOpenEx");
    if (!handle && error) {
        error->group = 1;
        copy_field(error->key, sizeof error->key, last_error.key);
        copy_field(error->message, sizeof error->message, last_error.message);
    }
    return handle;
}

RFC_EXPORT RFC_RC SAP_API RfcInstallStructure(const char *name, RFC_TYPE_ELEMENT *elements,
                                              unsigned entries, RFC_TYPEHANDLE *type_handle) {
    std::lock_guard<std::mutex> lock(state_mutex);
    if (!name || !elements || entries == 0 || !type_handle) return RFC_FAILURE;
    if (library_fault == "install") {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "RfcInstallStructure",
                     "no memory for the type description of " + std::string(name));
        return RFC_FAILURE;
    }
    std::vector<RFC_TYPE_ELEMENT> seen(elements, elements + entries);
    if (library_fault == "structure") seen[3].length = 2;
    std::string fault = check_structure(name, seen.data(), entries);
    if (!fault.empty()) {
        record_error("RFC_ERROR_PROGRAM", "RfcInstallStructure", fault);
        return RFC_FAILURE;
    }
    RFC_TYPEHANDLE handle = static_cast<RFC_TYPEHANDLE>(structures.size() + 100);
    structures[handle] = name;
    *type_handle = handle;
    return RFC_OK;
}

RFC_EXPORT RFC_RC SAP_API RfcCall(RFC_HANDLE handle, const char *function, RFC_PARAMETER *exporting,
                                  RFC_TABLE *tables) {
    std::lock_guard<std::mutex> lock(state_mutex);
    Connection *connection = find_connection(handle);
    if (!connection) {
        record_error("RFC_ERROR_PROGRAM", "RfcCall", "invalid connection handle");
        return RFC_FAILURE;
    }
    std::string fault;
    if (text_of(function) == "GET_MEM_ALL") {
        std::vector<RFC_PARAMETER> seen;
        for (RFC_PARAMETER *p = exporting; p && p->name; ++p)
            seen.push_back(*p);
        if (library_fault == "exporting" && !seen.empty()) seen[0].leng = 5;
        seen.push_back(RFC_PARAMETER{});
        fault = check_parameters("exporting", seen.data(), get_mem_all_exporting);
        for (RFC_TABLE *t = tables; fault.empty() && t && t->name; ++t) {
            RFC_TYPEHANDLE type = t->type + (library_fault == "type_handle" ? 1 : 0);
            auto installed = structures.find(type);
            const wire::Table *table = static_cast<const wire::Table *>(t->ithandle);
            std::string name(t->name, strnlen(t->name, t->nlen));
            if (installed == structures.end() || installed->second != "MEM_ALL")
                fault = "table " + name + ": type " + std::to_string(type) + " is not MEM_ALL";
            else if (!table || table->line_length != mem_all_length)
                fault = "table " + name + ": lines are not " + std::to_string(mem_all_length) +
                        " bytes";
        }
    }
    if (!fault.empty()) {
        record_error("RFC_ERROR_PROGRAM", "RfcCall", fault);
        return RFC_FAILURE;
    }
    std::string request = "CALL " + text_of(function) + "\n";
    for (RFC_PARAMETER *p = exporting; p && p->name; ++p)
        request += "export " + std::string(p->name, p->nlen) + " " +
                   wire::to_hex(static_cast<const unsigned char *>(p->addr), p->leng) + "\n";
    for (RFC_TABLE *t = tables; t && t->name; ++t)
        request += "table " + std::string(t->name, t->nlen) + " " + std::to_string(t->leng) + "\n";
    request += "\n";
    if (library_fault == "export_value") {
        std::string::size_type blank =
            request.find(wire::to_hex(reinterpret_cast<const unsigned char *>("LOCAL "), 6));
        if (blank != std::string::npos) request.replace(blank + 10, 2, "58"); // "LOCALX"
    }
    std::string reason;
    if (!connection->socket.send_all(request, reason)) {
        record_error("RFC_ERROR_COMMUNICATION", "RfcCall",
                     reason + " to " + connection->destination);
        drop_connection(handle);
        return RFC_FAILURE;
    }
    connection->call_pending = true;
    connection->function = text_of(function);
    return RFC_OK;
}

RFC_EXPORT RFC_RC SAP_API RfcReceive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables,
                                     char **exception) {
    std::unique_lock<std::mutex> lock(state_mutex);
    Connection *connection = find_connection(handle);
    if (!connection || !connection->call_pending) {
        record_error("RFC_ERROR_PROGRAM", "RfcReceive", "no call pending on this handle");
        return RFC_FAILURE;
    }
    connection->call_pending = false;
    std::vector<RFC_PARAMETER> seen;
    for (RFC_PARAMETER *p = importing; p && p->name; ++p)
        seen.push_back(*p);
    if (library_fault == "importing" && !seen.empty()) seen.back().type = TYPC;
    seen.push_back(RFC_PARAMETER{});
    std::string fault;
    if (connection->function == "GET_MEM_ALL")
        fault = check_parameters("importing", seen.data(), get_mem_all_importing);
    if (!fault.empty()) {
        record_error("RFC_ERROR_PROGRAM", "RfcReceive", fault);
        drop_connection(handle);
        return RFC_FAILURE;
    }
    std::vector<std::string> reply;
    std::string reason;
    if (!connection->socket.receive_message(reply, connection->receive_timeout_ms, reason)) {
        record_error("RFC_ERROR_COMMUNICATION", "RfcReceive",
                     reason + " from " + connection->destination);
        drop_connection(handle);
        return RFC_FAILURE;
    }
    RFC_RC rc = RFC_FAILURE;
    std::string message;
    connection->exception.clear();
    if (!wire::apply_reply(reply, importing, tables, connection->exception, rc, message)) {
        record_error("RFC_ERROR_PROTOCOL", "RfcReceive",
                     "reply from " + connection->destination + " breaks the protocol");
        drop_connection(handle);
        lock.unlock();
        raise_to_handler("RfcReceive");
        return RFC_FAILURE;
    }
    if (rc == RFC_EXCEPTION || rc == RFC_SYS_EXCEPTION) {
        if (exception) *exception = &connection->exception[0];
        record_error(
            rc == RFC_EXCEPTION ? "RFC_ERROR_EXCEPTION" : "RFC_ERROR_SYSTEM_FAILURE", "RfcReceive",
            rc == RFC_EXCEPTION ? "exception " + connection->exception : connection->exception,
            rc != RFC_EXCEPTION);
    } else if (rc != RFC_OK) {
        record_error("RFC_ERROR_SYSTEM_FAILURE", "RfcReceive",
                     message.empty() ? "call failed with code " + std::to_string(rc) : message);
    }
    return rc;
}

RFC_EXPORT int SAP_API RfcLastError(RFC_ERROR_INFO *error) {
    std::lock_guard<std::mutex> lock(state_mutex);
    if (!error) return 1;
    *error = last_error;
    return 0;
}

RFC_EXPORT void SAP_API RfcClose(RFC_HANDLE handle) {
    std::lock_guard<std::mutex> lock(state_mutex);
    if (handle == 0) return;
    drop_connection(handle);
}

RFC_EXPORT ITAB_H SAP_API ItCreate(const char *name, unsigned leng, unsigned, unsigned) {
    if (leng == 0) return nullptr;
    if (library_fault == "create") {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "ItCreate",
                     "no memory for table " + text_of(name));
        return nullptr;
    }
    return new wire::Table{text_of(name), leng, {}};
}

RFC_EXPORT unsigned SAP_API ItFill(ITAB_H table) {
    return table ? static_cast<unsigned>(static_cast<wire::Table *>(table)->lines.size()) : 0;
}

RFC_EXPORT void *SAP_API ItGetLine(ITAB_H table, unsigned line) {
    wire::Table *t = static_cast<wire::Table *>(table);
    if (!t || line == 0 || line > t->lines.size()) return nullptr;
    if (library_fault == "get_line") {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "ItGetLine",
                     "line " + std::to_string(line) + " of table " + t->name + " is not paged in");
        return nullptr;
    }
    return t->lines[line - 1].data();
}

RFC_EXPORT int SAP_API ItDelete(ITAB_H table) {
    if (!table) return 1;
    if (library_fault == "delete") {
        record_error("RFC_ERROR_PROGRAM", "ItDelete",
                     "table " + static_cast<wire::Table *>(table)->name + " is still in use");
        return 1;
    }
    delete static_cast<wire::Table *>(table);
    return 0;
}
