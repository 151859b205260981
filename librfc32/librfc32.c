/* The stand-in RFC library: SAP's classic librfc32 operations over a TCP
 * connection to sapsim. It behaves as SAP documents its library, so that
 * the sensor's tests fail where SAP's DLL would:
 * - RFC_INI and RFC_TRACE_DIR are read once, when the library is loaded;
 * - RfcOpen and RfcOpenEx only connect; the logon data are checked when the
 *   first call is sent;
 * - a partner is waited for 60 s unless the destination entry says
 *   otherwise (CONNECT_TIMEOUT), or the test-only variable
 *   RFC_STANDIN_CONNECT_TIMEOUT did when the library was loaded.
 * Failures are written to "Dev_Rfc.Trc" in RFC_TRACE_DIR, or else the
 * current directory, in the layout that SAP's library uses for its trace.
 * Plain C and single-threaded, like its caller: it needs no C++ runtime. */
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "librfc32/socket.h"
#include "librfc32/wire.h"
#include "rfc/saprfc.h"

#ifdef _WIN32
#define RFC_EXPORT __declspec(dllexport)
#else
#define RFC_EXPORT __attribute__((visibility("default")))
#endif

#define DEFAULT_CONNECT_TIMEOUT_S 60
#define DEFAULT_RECEIVE_TIMEOUT_S 20
#define MAX_CONNECTIONS 16
#define MAX_STRUCTURES 16
#define TEXT_MAX 256

typedef struct {
    RFC_HANDLE handle; /* 0: slot free */
    Socket socket;
    int logged_on, logon_pending;
    char logon_request[TEXT_MAX * 8]; /* sent with the first call */
    char logon_host[TEXT_MAX], client[TEXT_MAX], user[TEXT_MAX];
    char destination[TEXT_MAX];
    int receive_timeout_ms;
    char exception[TEXT_MAX]; /* what RfcReceive hands out for results 2 and 3 */
    int call_pending;
    char function[64]; /* of the pending call */
} Connection;

/* The library's own state: the installed environment, the last error, the
 * open connections and the installed structures. */
static RFC_ENV environment;
static RFC_ERROR_INFO last_error;
static Connection connections[MAX_CONNECTIONS];
static RFC_HANDLE next_handle = 1;
static struct {
    RFC_TYPEHANDLE handle;
    char name[64];
} structures[MAX_STRUCTURES];
static unsigned structure_count;

/* What the environment said when the library was loaded; never read again,
 * as a library on a C runtime of its own sees only the copy it took then. */
static char rfc_ini[1024];
static char trace_path[1024] = "Dev_Rfc.Trc";
static int connect_timeout_s = DEFAULT_CONNECT_TIMEOUT_S;

static void read_environment(void) {
    const char *ini = getenv("RFC_INI");
    snprintf(rfc_ini, sizeof rfc_ini, "%s", ini && *ini ? ini : "SapRfc.ini");
    const char *dir = getenv("RFC_TRACE_DIR");
    if (dir && *dir) {
        size_t n = strlen(dir);
        int separated = dir[n - 1] == '/' || dir[n - 1] == '\\';
#ifdef _WIN32
        const char *separator = separated ? "" : "\\";
#else
        const char *separator = separated ? "" : "/";
#endif
        snprintf(trace_path, sizeof trace_path, "%s%sDev_Rfc.Trc", dir, separator);
    }
    const char *wait = getenv("RFC_STANDIN_CONNECT_TIMEOUT");
    if (wait && atoi(wait) > 0) connect_timeout_s = atoi(wait);
}

#ifdef _WIN32
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) read_environment();
    return TRUE;
}
#else
__attribute__((constructor)) static void on_load(void) {
    read_environment();
}
#endif

/* A misbehaviour that sapsim asks for in its logon reply ("libfault NAME"),
 * so that tests reach the caller's handling of failures that a healthy
 * library never produces. Empty: behave. */
static char library_fault[32];

static int fault_is(const char *name) {
    return strcmp(library_fault, name) == 0;
}

/* Copies text into a fixed field, cut to fit and zero-filled. */
static void copy_field(char *field, size_t width, const char *text) {
    size_t n = strnlen(text, width - 1);
    memcpy(field, text, n);
    memset(field + n, 0, width - n);
}

/* Keeps the failure for RfcLastError and, unless it is only an exception
 * that the function module raised, appends it to Dev_Rfc.Trc in one write,
 * so that the blocks of sensors side by side never interleave. */
static void record_error_trace(const char *key, const char *operation, int write_trace,
                               const char *format, ...) {
    char text[TEXT_MAX * 2];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    copy_field(last_error.key, sizeof last_error.key, key);
    copy_field(last_error.status, sizeof last_error.status, operation);
    copy_field(last_error.message, sizeof last_error.message, text);
    char intstat[128];
    snprintf(intstat, sizeof intstat, "CPIC-CALL: %s", operation);
    copy_field(last_error.intstat, sizeof last_error.intstat, intstat);
    if (!write_trace) return;
    time_t now = time(NULL);
    char when[32] = "";
    const struct tm *local = localtime(&now);
    if (local) strftime(when, sizeof when, "%a %b %d %H:%M:%S %Y", local);
    char block[TEXT_MAX * 6];
    int n = snprintf(block, sizeof block,
                     "\n**** ERROR file opened at %s\nlibrfc ======> %s: %s\nERROR       %s\n",
                     when, operation, text, text);
    FILE *trace = fopen(trace_path, "a");
    if (!trace) return;
    fwrite(block, 1, n < (int)sizeof block ? (size_t)n : sizeof block - 1, trace);
    fclose(trace);
}
#define record_error(key, operation, ...) record_error_trace(key, operation, 1, __VA_ARGS__)

/* Reports an error that no result code can carry to the installed handler. */
static void raise_to_handler(const char *operation) {
    if (environment.errorhandler) {
        char text[64];
        copy_field(text, sizeof text, operation);
        environment.errorhandler(text);
    }
}

static const char *text_of(const char *text) {
    return text ? text : "";
}

/* Copies text without its trailing blanks. */
static void trim_right(char *to, size_t size, const char *text) {
    copy_field(to, size, text_of(text));
    size_t n = strlen(to);
    while (n && to[n - 1] == ' ')
        to[--n] = '\0';
}

/* The entry of destination in the saprfc.ini in use: the file that RFC_INI
 * named when the library was loaded, or "SapRfc.ini" in the current
 * directory. */
static int saprfc_ini_entry(const char *destination, WireEntry *entry) {
    FILE *in = fopen(rfc_ini, "rb");
    if (!in) return 0;
    static char text[64 * 1024];
    size_t length = fread(text, 1, sizeof text, in);
    fclose(in);
    return wire_read_saprfc_entry(text, length, destination, entry);
}

static int seconds_setting(const WireEntry *entry, const char *key, int fallback) {
    const char *value = wire_setting(entry, key);
    int seconds = value ? atoi(value) : 0;
    return seconds > 0 ? seconds : fallback;
}

typedef struct {
    char host[TEXT_MAX];
    int port;
    char destination[TEXT_MAX], client[TEXT_MAX], user[TEXT_MAX], password[TEXT_MAX],
        language[TEXT_MAX], logon_host[TEXT_MAX], sysnr[16];
    int connect_timeout_s, receive_timeout_s;
} Logon;

static void init_logon(Logon *logon) {
    memset(logon, 0, sizeof *logon);
    logon->connect_timeout_s = connect_timeout_s;
    logon->receive_timeout_s = DEFAULT_RECEIVE_TIMEOUT_S;
}

static void apply_timeouts(Logon *logon, const WireEntry *entry) {
    logon->connect_timeout_s = seconds_setting(entry, "CONNECT_TIMEOUT", logon->connect_timeout_s);
    logon->receive_timeout_s = seconds_setting(entry, "RECEIVE_TIMEOUT", logon->receive_timeout_s);
}

/* The gateway to connect to: the gateway host, or else the application
 * server; the gateway service, or else sapgwNN of the system number. */
static void choose_gateway(Logon *logon, const char *gwhost, const char *gwservice,
                           int default_port) {
    copy_field(logon->host, sizeof logon->host, *gwhost ? gwhost : logon->logon_host);
    logon->port = *gwservice ? socket_service_port(gwservice) : default_port;
}

static Connection *find_connection(RFC_HANDLE handle) {
    for (int i = 0; handle && i < MAX_CONNECTIONS; ++i)
        if (connections[i].handle == handle) return &connections[i];
    return NULL;
}

static void drop_connection(Connection *connection) {
    if (!connection) return;
    socket_close(&connection->socket);
    connection->handle = 0;
}

static RFC_HANDLE open_logon(const Logon *logon, const char *operation) {
    if (!logon->host[0] || logon->port <= 0) {
        record_error("RFC_ERROR_COMMUNICATION", operation,
                     "partner not reached: no host or service for destination %s",
                     logon->destination);
        return 0;
    }
    Connection *connection = find_connection(0);
    for (int i = 0; !connection && i < MAX_CONNECTIONS; ++i)
        if (!connections[i].handle) connection = &connections[i];
    if (!connection) {
        record_error("RFC_ERROR_RESOURCE", operation, "too many open connections");
        return 0;
    }
    memset(connection, 0, sizeof *connection);
    socket_init(&connection->socket);
    copy_field(connection->destination, sizeof connection->destination, logon->destination);
    connection->receive_timeout_ms = logon->receive_timeout_s * 1000;
    char reason[TEXT_MAX];
    if (!socket_connect(&connection->socket, logon->host, logon->port,
                        logon->connect_timeout_s * 1000, reason, sizeof reason)) {
        record_error("RFC_ERROR_COMMUNICATION", operation, "%s", reason);
        return 0;
    }
    /* The physical connection: the partner names the system it is, or
     * refuses when it is none. The logon data wait for the first call. */
    char request[TEXT_MAX * 2];
    int n = snprintf(request, sizeof request, "CONNECT\nhost %s\nsysnr %s\ndest %s\n\n",
                     logon->logon_host, logon->sysnr, logon->destination);
    if (!socket_send(&connection->socket, request, (size_t)n, reason, sizeof reason) ||
        !socket_receive(&connection->socket, connection->receive_timeout_ms, reason,
                        sizeof reason)) {
        record_error("RFC_ERROR_COMMUNICATION", operation, "connect to %s: %s", logon->logon_host,
                     reason);
        drop_connection(connection);
        return 0;
    }
    Socket *s = &connection->socket;
    if (s->line_count > 0 && strcmp(s->lines[0], "OK") == 0) {
        library_fault[0] = '\0';
        for (size_t i = 1; i < s->line_count; ++i)
            if (strncmp(s->lines[i], "libfault ", 9) == 0)
                copy_field(library_fault, sizeof library_fault, s->lines[i] + 9);
        snprintf(connection->logon_request, sizeof connection->logon_request,
                 "LOGON\nclient %s\nuser %s\npasswd %s\nlang %s\n\n", logon->client, logon->user,
                 logon->password, logon->language);
        copy_field(connection->logon_host, sizeof connection->logon_host, logon->logon_host);
        copy_field(connection->client, sizeof connection->client, logon->client);
        copy_field(connection->user, sizeof connection->user, logon->user);
        connection->handle = next_handle++;
        return connection->handle;
    }
    const char *why = s->line_count > 0 && strncmp(s->lines[0], "REFUSED ", 8) == 0
                          ? s->lines[0] + 8
                          : "unexpected reply";
    record_error("RFC_ERROR_COMMUNICATION", operation, "partner %s not reached: %s",
                 logon->logon_host, why);
    drop_connection(connection);
    return 0;
}

/* The logon data go out with the first call of a connection, in the same
 * packet, as SAP's library sends them; this reads the partner's answer to
 * them before the call's own. 0 with the failure recorded when the partner
 * refuses them (the connection is then dropped). */
static int receive_logon_answer(Connection *connection, const char *operation) {
    if (!connection->logon_pending) return 1;
    connection->logon_pending = 0;
    char reason[TEXT_MAX];
    Socket *s = &connection->socket;
    if (!socket_receive(s, connection->receive_timeout_ms, reason, sizeof reason)) {
        record_error("RFC_ERROR_COMMUNICATION", operation, "logon to %s: %s",
                     connection->logon_host, reason);
        drop_connection(connection);
        return 0;
    }
    if (s->line_count > 0 && strcmp(s->lines[0], "OK") == 0) {
        connection->logged_on = 1;
        return 1;
    }
    const char *why = s->line_count > 0 && strncmp(s->lines[0], "REFUSED ", 8) == 0
                          ? s->lines[0] + 8
                          : "unexpected reply";
    record_error("RFC_ERROR_LOGON_FAILURE", operation, "logon refused by %s client %s user %s: %s",
                 connection->logon_host, connection->client, connection->user, why);
    drop_connection(connection);
    return 0;
}

RFC_EXPORT void SAP_API RfcEnvironment(RFC_ENV *env) {
    if (env) environment = *env;
}

RFC_EXPORT RFC_HANDLE SAP_API RfcOpen(RFC_OPTIONS *options) {
    if (!options) return 0;
    Logon logon;
    init_logon(&logon);
    copy_field(logon.destination, sizeof logon.destination, text_of(options->destination));
    copy_field(logon.client, sizeof logon.client, text_of(options->client));
    trim_right(logon.user, sizeof logon.user, options->user);
    trim_right(logon.password, sizeof logon.password, options->password);
    copy_field(logon.language, sizeof logon.language, text_of(options->language));
    if (options->mode == RFC_MODE_CPIC) {
        const RFC_CONNOPT_CPIC *cpic = (const RFC_CONNOPT_CPIC *)options->connopt;
        if (cpic) {
            copy_field(logon.logon_host, sizeof logon.logon_host, text_of(cpic->gateway_host));
            copy_field(logon.host, sizeof logon.host, text_of(cpic->gateway_host));
            logon.port = socket_service_port(text_of(cpic->gateway_service));
        }
    } else {
        const RFC_CONNOPT_R3ONLY *r3 = (const RFC_CONNOPT_R3ONLY *)options->connopt;
        if (r3) {
            copy_field(logon.logon_host, sizeof logon.logon_host, text_of(r3->hostname));
            snprintf(logon.sysnr, sizeof logon.sysnr, "%02d", r3->sysnr);
            const char *gwhost = text_of(r3->gateway_host),
                       *gwservice = text_of(r3->gateway_service);
            choose_gateway(&logon, gwhost, gwservice, 3300 + r3->sysnr);
        }
    }
    WireEntry entry = {0};
    if (logon.destination[0] && saprfc_ini_entry(logon.destination, &entry))
        apply_timeouts(&logon, &entry);
    return open_logon(&logon, "RfcOpen");
}

static void fill_open_error(RFC_ERROR_INFO_EX *error) {
    if (!error) return;
    memset(error, 0, sizeof *error);
    error->group = 1;
    snprintf(error->key, sizeof error->key, "%s", last_error.key);
    snprintf(error->message, sizeof error->message, "%s", last_error.message);
}

RFC_EXPORT RFC_HANDLE SAP_API RfcOpenEx(const char *connect_param, RFC_ERROR_INFO_EX *error) {
    WireEntry words = {0};
    wire_read_words(text_of(connect_param), &words);
    Logon logon;
    init_logon(&logon);
    copy_field(logon.destination, sizeof logon.destination, text_of(wire_setting(&words, "DEST")));
    copy_field(logon.client, sizeof logon.client, text_of(wire_setting(&words, "CLIENT")));
    copy_field(logon.user, sizeof logon.user, text_of(wire_setting(&words, "USER")));
    copy_field(logon.password, sizeof logon.password, text_of(wire_setting(&words, "PASSWD")));
    copy_field(logon.language, sizeof logon.language, text_of(wire_setting(&words, "LANG")));
    WireEntry entry = {0};
    if (logon.destination[0] && !saprfc_ini_entry(logon.destination, &entry)) {
        record_error("RFC_ERROR_PROGRAM", "RfcOpenEx", "destination %s not found in SapRfc.ini",
                     logon.destination);
        fill_open_error(error);
        return 0;
    }
    static const char *const given[] = {"ASHOST", "SYSNR", "GWHOST", "GWSERV"};
    for (int i = 0; i < 4; ++i)
        if (wire_setting(&words, given[i]))
            wire_set(&entry, given[i], wire_setting(&words, given[i]));
    copy_field(logon.logon_host, sizeof logon.logon_host, text_of(wire_setting(&entry, "ASHOST")));
    copy_field(logon.sysnr, sizeof logon.sysnr, text_of(wire_setting(&entry, "SYSNR")));
    const char *gwhost = text_of(wire_setting(&entry, "GWHOST"));
    const char *gwserv = text_of(wire_setting(&entry, "GWSERV"));
    choose_gateway(&logon, gwhost, gwserv, 3300 + atoi(logon.sysnr));
    apply_timeouts(&logon, &entry);
    RFC_HANDLE handle = open_logon(&logon, "RfcOpenEx");
    if (!handle) fill_open_error(error);
    return handle;
}

/* What the dictionary of the simulated system says about the one structure
 * and function module it serves. A caller's description must agree, as the
 * real library relies on it when it packs and unpacks the data. */
typedef struct {
    const char *name;
    unsigned type, length, offset;
} FieldSpec;
static const FieldSpec mem_all_fields[] = {
    {"TYPE", TYPINT2, 2, 0},       {"SUBTYPE", TYPINT2, 2, 2},    {"SERIALNR", TYPINT2, 2, 4},
    {"IN_PG_SEC", TYPINT, 4, 8},   {"OUT_PG_SEC", TYPINT, 4, 12}, {"IN_KB_SEC", TYPINT, 4, 16},
    {"OUT_KB_SEC", TYPINT, 4, 20}, {"FREE_MEM", TYPINT, 4, 24},   {"PHYS_MEM", TYPINT, 4, 28},
    {"SWAP_CONF", TYPINT, 4, 32},  {"SWAP_FREE", TYPINT, 4, 36},  {"SWAP_SIZE", TYPINT, 4, 40},
    {"SWAP_MAX", TYPINT, 4, 44}};
#define MEM_ALL_FIELDS 13
#define MEM_ALL_LENGTH 48

typedef struct {
    const char *name;
    unsigned type, length;
} ParameterSpec;
static const ParameterSpec get_mem_all_exporting[] = {{"LOCAL_REMOTE", TYPC, 6},
                                                      {"LOGICAL_DESTINATION", TYPC, 32}};
static const ParameterSpec get_mem_all_importing[] = {
    {"ACTIVEFLAG", TYPINT, 4},  {"DETAILSCOLL", TYPINT, 4},  {"DETAILSMODE", TYPINT, 4},
    {"DETAILSREQI", TYPINT, 4}, {"F_MEM_ALL_READ", TYPC, 3}, {"INTERVAL", TYPINT, 4},
    {"LASTCOLLINT", TYPINT, 4}, {"LASTCOLLWRT", TYPC, 25},   {"NORMCOLLINT", TYPINT, 4}};

/* 0 when the description of MEM_ALL agrees with the dictionary, else 1 with
 * what differs in fault. Offsets may be 0 (the library lays the fields out)
 * or the dictionary's own. The texts stay short enough for one line of SAP's
 * trace. */
static int check_structure(const char *name, const RFC_TYPE_ELEMENT *elements, unsigned entries,
                           char *fault, size_t size) {
    if (strcmp(name, "MEM_ALL") != 0)
        return snprintf(fault, size, "structure %s is not in the dictionary", name), 1;
    if (entries != MEM_ALL_FIELDS)
        return snprintf(fault, size, "MEM_ALL has %d fields, not %u", MEM_ALL_FIELDS, entries), 1;
    unsigned end = 0;
    for (unsigned i = 0; i < entries; ++i) {
        const RFC_TYPE_ELEMENT *e = &elements[i];
        const FieldSpec *f = &mem_all_fields[i];
        const char *got = text_of(e->name);
        if (strcmp(got, f->name) != 0)
            return snprintf(fault, size, "MEM_ALL field %u is %s, expected %s", i + 1, got,
                            f->name),
                   1;
        if (e->type != f->type || e->length != f->length || e->decimals != 0 ||
            (e->offset != 0 && e->offset != f->offset))
            return snprintf(fault, size,
                            "MEM_ALL %s: type %u length %u offset %u, expected type %u length %u "
                            "offset %u",
                            got, e->type, e->length, e->offset, f->type, f->length, f->offset),
                   1;
        end = f->offset + f->length;
    }
    if (end != MEM_ALL_LENGTH) return snprintf(fault, size, "MEM_ALL is %u bytes", end), 1;
    return 0;
}

/* 0 when the parameter list matches the function's interface, in order. */
static int check_parameters(const char *kind, const RFC_PARAMETER *list,
                            const ParameterSpec *expected, size_t count, char *fault, size_t size) {
    size_t i = 0;
    for (const RFC_PARAMETER *p = list; p && p->name; ++p, ++i) {
        char got[64];
        size_t n = strnlen(p->name, p->nlen);
        if (n >= sizeof got) n = sizeof got - 1;
        memcpy(got, p->name, n);
        got[n] = '\0';
        if (i >= count) return snprintf(fault, size, "%s %s: not in GET_MEM_ALL", kind, got), 1;
        if (strcmp(got, expected[i].name) != 0 || p->nlen != strlen(expected[i].name))
            return snprintf(fault, size, "%s %u: %s, expected %s", kind, (unsigned)(i + 1), got,
                            expected[i].name),
                   1;
        if (p->type != expected[i].type || p->leng != expected[i].length || !p->addr)
            return snprintf(fault, size, "%s %s: type %u length %u, expected type %u length %u",
                            kind, got, p->type, p->leng, expected[i].type, expected[i].length),
                   1;
    }
    if (i != count)
        return snprintf(fault, size, "%s parameters of GET_MEM_ALL incomplete", kind), 1;
    return 0;
}

RFC_EXPORT RFC_RC SAP_API RfcInstallStructure(const char *name, RFC_TYPE_ELEMENT *elements,
                                              unsigned entries, RFC_TYPEHANDLE *type_handle) {
    if (!name || !elements || entries == 0 || !type_handle) return RFC_FAILURE;
    if (fault_is("install")) {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "RfcInstallStructure",
                     "no memory for the type description of %s", name);
        return RFC_FAILURE;
    }
    RFC_TYPE_ELEMENT seen[MEM_ALL_FIELDS];
    char fault[TEXT_MAX];
    int wrong;
    if (entries == MEM_ALL_FIELDS) {
        memcpy(seen, elements, sizeof seen);
        if (fault_is("structure")) seen[3].length = 2;
        wrong = check_structure(name, seen, entries, fault, sizeof fault);
    } else {
        wrong = check_structure(name, elements, entries, fault, sizeof fault);
    }
    if (wrong) {
        record_error("RFC_ERROR_PROGRAM", "RfcInstallStructure", "%s", fault);
        return RFC_FAILURE;
    }
    if (structure_count == MAX_STRUCTURES) {
        record_error("RFC_ERROR_RESOURCE", "RfcInstallStructure", "too many structures");
        return RFC_FAILURE;
    }
    RFC_TYPEHANDLE handle = (RFC_TYPEHANDLE)(structure_count + 100);
    structures[structure_count].handle = handle;
    copy_field(structures[structure_count].name, sizeof structures[0].name, name);
    ++structure_count;
    *type_handle = handle;
    return RFC_OK;
}

static const char *structure_name(RFC_TYPEHANDLE handle) {
    for (unsigned i = 0; i < structure_count; ++i)
        if (structures[i].handle == handle) return structures[i].name;
    return NULL;
}

/* Appends text to a growing request; 0 when no memory is left. */
typedef struct {
    char *text;
    size_t length, size;
} Buffer;

static int append(Buffer *b, const char *text, size_t length) {
    if (b->length + length + 1 > b->size) {
        size_t size = (b->length + length + 1) * 2;
        char *grown = realloc(b->text, size);
        if (!grown) return 0;
        b->text = grown;
        b->size = size;
    }
    memcpy(b->text + b->length, text, length);
    b->length += length;
    b->text[b->length] = '\0';
    return 1;
}

static int append_text(Buffer *b, const char *text) {
    return append(b, text, strlen(text));
}

/* Checks what the caller describes for GET_MEM_ALL; 0 when it agrees. */
static int check_call(RFC_PARAMETER *exporting, RFC_TABLE *tables, char *fault, size_t size) {
    RFC_PARAMETER seen[8];
    size_t n = 0;
    for (RFC_PARAMETER *p = exporting; p && p->name && n < 7; ++p)
        seen[n++] = *p;
    if (fault_is("exporting") && n) seen[0].leng = 5;
    memset(&seen[n], 0, sizeof seen[n]);
    if (check_parameters("exporting", seen, get_mem_all_exporting, 2, fault, size)) return 1;
    for (RFC_TABLE *t = tables; t && t->name; ++t) {
        RFC_TYPEHANDLE type = t->type + (fault_is("type_handle") ? 1 : 0);
        const char *installed = structure_name(type);
        const WireTable *table = (const WireTable *)t->ithandle;
        char name[64];
        size_t length = strnlen(t->name, t->nlen);
        if (length >= sizeof name) length = sizeof name - 1;
        memcpy(name, t->name, length);
        name[length] = '\0';
        if (!installed || strcmp(installed, "MEM_ALL") != 0)
            return snprintf(fault, size, "table %s: type %u is not MEM_ALL", name, type), 1;
        if (!table || table->line_length != MEM_ALL_LENGTH)
            return snprintf(fault, size, "table %s: lines are not %d bytes", name, MEM_ALL_LENGTH),
                   1;
    }
    return 0;
}

RFC_EXPORT RFC_RC SAP_API RfcCall(RFC_HANDLE handle, const char *function, RFC_PARAMETER *exporting,
                                  RFC_TABLE *tables) {
    Connection *connection = find_connection(handle);
    if (!connection) {
        record_error("RFC_ERROR_PROGRAM", "RfcCall", "invalid connection handle");
        return RFC_FAILURE;
    }
    char fault[TEXT_MAX];
    if (strcmp(text_of(function), "GET_MEM_ALL") == 0 &&
        check_call(exporting, tables, fault, sizeof fault)) {
        record_error("RFC_ERROR_PROGRAM", "RfcCall", "%s", fault);
        return RFC_FAILURE;
    }
    Buffer request = {0};
    int ok = 1;
    if (!connection->logged_on) {
        ok = append_text(&request, connection->logon_request);
        connection->logon_pending = 1;
    }
    ok = ok && append_text(&request, "CALL ") && append_text(&request, text_of(function)) &&
         append_text(&request, "\n");
    for (RFC_PARAMETER *p = exporting; ok && p && p->name; ++p) {
        char *hex = malloc(2 * (size_t)p->leng + 1);
        ok = hex != NULL;
        if (!ok) break;
        wire_to_hex((const unsigned char *)p->addr, p->leng, hex);
        if (fault_is("export_value") && strcmp(hex, "4c4f43414c20") == 0)
            memcpy(hex + 10, "58", 2); /* "LOCALX" */
        ok = append_text(&request, "export ") &&
             append(&request, p->name, strnlen(p->name, p->nlen)) && append_text(&request, " ") &&
             append_text(&request, hex) && append_text(&request, "\n");
        free(hex);
    }
    for (RFC_TABLE *t = tables; ok && t && t->name; ++t) {
        char length[32];
        snprintf(length, sizeof length, " %u\n", t->leng);
        ok = append_text(&request, "table ") &&
             append(&request, t->name, strnlen(t->name, t->nlen)) && append_text(&request, length);
    }
    ok = ok && append_text(&request, "\n");
    char reason[TEXT_MAX] = "no memory for the request";
    if (!ok ||
        !socket_send(&connection->socket, request.text, request.length, reason, sizeof reason)) {
        free(request.text);
        record_error("RFC_ERROR_COMMUNICATION", "RfcCall", "%s to %s", reason,
                     connection->destination);
        drop_connection(connection);
        return RFC_FAILURE;
    }
    free(request.text);
    connection->call_pending = 1;
    copy_field(connection->function, sizeof connection->function, text_of(function));
    return RFC_OK;
}

RFC_EXPORT RFC_RC SAP_API RfcReceive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables,
                                     char **exception) {
    Connection *connection = find_connection(handle);
    if (!connection || !connection->call_pending) {
        record_error("RFC_ERROR_PROGRAM", "RfcReceive", "no call pending on this handle");
        return RFC_FAILURE;
    }
    connection->call_pending = 0;
    char fault[TEXT_MAX], reason[TEXT_MAX];
    if (strcmp(connection->function, "GET_MEM_ALL") == 0) {
        RFC_PARAMETER seen[16];
        size_t n = 0;
        for (RFC_PARAMETER *p = importing; p && p->name && n < 15; ++p)
            seen[n++] = *p;
        if (fault_is("importing") && n) seen[n - 1].type = TYPC;
        memset(&seen[n], 0, sizeof seen[n]);
        if (check_parameters("importing", seen, get_mem_all_importing, 9, fault, sizeof fault)) {
            record_error("RFC_ERROR_PROGRAM", "RfcReceive", "%s", fault);
            drop_connection(connection);
            return RFC_FAILURE;
        }
    }
    if (!receive_logon_answer(connection, "RfcReceive")) return RFC_FAILURE;
    if (!socket_receive(&connection->socket, connection->receive_timeout_ms, reason,
                        sizeof reason)) {
        record_error("RFC_ERROR_COMMUNICATION", "RfcReceive", "%s from %s", reason,
                     connection->destination);
        drop_connection(connection);
        return RFC_FAILURE;
    }
    RFC_RC rc = RFC_FAILURE;
    char message[TEXT_MAX] = "";
    connection->exception[0] = '\0';
    if (!wire_apply_reply(connection->socket.lines, connection->socket.line_count, importing,
                          tables, connection->exception, sizeof connection->exception, &rc, message,
                          sizeof message)) {
        record_error("RFC_ERROR_PROTOCOL", "RfcReceive", "reply from %s breaks the protocol",
                     connection->destination);
        drop_connection(connection);
        raise_to_handler("RfcReceive");
        return RFC_FAILURE;
    }
    if (rc == RFC_EXCEPTION) {
        if (exception) *exception = connection->exception;
        record_error_trace("RFC_ERROR_EXCEPTION", "RfcReceive", 0, "exception %s",
                           connection->exception);
    } else if (rc == RFC_SYS_EXCEPTION) {
        if (exception) *exception = connection->exception;
        record_error("RFC_ERROR_SYSTEM_FAILURE", "RfcReceive", "%s", connection->exception);
    } else if (rc != RFC_OK) {
        if (message[0])
            record_error("RFC_ERROR_SYSTEM_FAILURE", "RfcReceive", "%s", message);
        else
            record_error("RFC_ERROR_SYSTEM_FAILURE", "RfcReceive", "call failed with code %d",
                         (int)rc);
    }
    return rc;
}

RFC_EXPORT int SAP_API RfcLastError(RFC_ERROR_INFO *error) {
    if (!error) return 1;
    *error = last_error;
    return 0;
}

RFC_EXPORT void SAP_API RfcClose(RFC_HANDLE handle) {
    if (handle == 0) return;
    drop_connection(find_connection(handle));
}

RFC_EXPORT ITAB_H SAP_API ItCreate(const char *name, unsigned leng, unsigned occu, unsigned memo) {
    (void)occu;
    (void)memo;
    if (leng == 0) return NULL;
    if (fault_is("create")) {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "ItCreate", "no memory for table %s",
                     text_of(name));
        return NULL;
    }
    WireTable *table = calloc(1, sizeof *table);
    if (!table) return NULL;
    copy_field(table->name, sizeof table->name, text_of(name));
    table->line_length = leng;
    return table;
}

RFC_EXPORT unsigned SAP_API ItFill(ITAB_H table) {
    return table ? ((WireTable *)table)->count : 0;
}

RFC_EXPORT void *SAP_API ItGetLine(ITAB_H table, unsigned line) {
    WireTable *t = (WireTable *)table;
    if (!t || line == 0 || line > t->count) return NULL;
    if (fault_is("get_line")) {
        record_error("RFC_ERROR_MEMORY_INSUFFICIENT", "ItGetLine",
                     "line %u of table %s is not paged in", line, t->name);
        return NULL;
    }
    return t->lines + (size_t)(line - 1) * t->line_length;
}

RFC_EXPORT int SAP_API ItDelete(ITAB_H table) {
    if (!table) return 1;
    WireTable *t = (WireTable *)table;
    if (fault_is("delete")) {
        record_error("RFC_ERROR_PROGRAM", "ItDelete", "table %s is still in use", t->name);
        return 1;
    }
    free(t->lines);
    free(t);
    return 0;
}
