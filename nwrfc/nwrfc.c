/* The stand-in for SAP's NetWeaver RFC library: the client operations of
 * sapnwrfc that Ramgauge uses, over a TCP connection to sapsim. It behaves
 * as SAP documents its library, so that the sensor's tests fail where SAP's
 * would:
 * - RFC_TRACE_DIR is read once, when the library is loaded; RfcSetTraceDir
 *   changes it (the stand-in writes no trace of its own: SAP's writes one
 *   only when tracing is on, and severe errors, whose layout is not known);
 * - RfcOpenConnection connects and logs on: a refused logon is its failure;
 * - texts are SAP_UC (UTF-16); the partner's are Latin-1;
 * - a caller's function and type descriptions must agree with the simulated
 *   system's dictionary, and every name it hands over must exist.
 * Plain C and single-threaded, like its caller: it needs no C++ runtime. */
#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "librfc32/socket.h"
#include "rfc/sapnwrfc.h"

#ifdef _WIN32
#define NW_EXPORT __declspec(dllexport)
#else
#define NW_EXPORT __attribute__((visibility("default")))
#endif

#define DEFAULT_CONNECT_TIMEOUT_S 60
#define DEFAULT_RECEIVE_TIMEOUT_S 20
#define TEXT_MAX 256
#define MAX_FIELDS 32

/* ---- texts: SAP_UC <-> Latin-1 ---- */

/* Copies a SAP_UC text into a Latin-1 buffer; a code unit above 255
 * becomes '?'. */
static void to_latin1(char *to, size_t size, const SAP_UC *text) {
    size_t n = 0;
    for (; text && text[n] && n + 1 < size; ++n)
        to[n] = text[n] < 256 ? (char)text[n] : '?';
    to[n] = '\0';
}

static void to_uc(SAP_UC *to, size_t count, const char *text) {
    size_t n = 0;
    for (; text[n] && n + 1 < count; ++n)
        to[n] = (SAP_UC)(unsigned char)text[n];
    for (; n < count; ++n)
        to[n] = 0;
}

/* ---- the error record and the trace ---- */

static char trace_dir[1024];
static int connect_timeout_s = DEFAULT_CONNECT_TIMEOUT_S;

static void read_environment(void) {
    const char *dir = getenv("RFC_TRACE_DIR");
    snprintf(trace_dir, sizeof trace_dir, "%s", dir ? dir : "");
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

static void clear_error(RFC_ERROR_INFO *error) {
    if (error) memset(error, 0, sizeof *error);
}

/* Fills the caller's error record; returns code. */
static RFC_RC fail(RFC_ERROR_INFO *error, RFC_RC code, RFC_ERROR_GROUP group, const char *key,
                   const char *operation, const char *format, ...) {
    char message[TEXT_MAX * 2];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    (void)operation;
    if (!error) return code;
    memset(error, 0, sizeof *error);
    error->code = code;
    error->group = group;
    to_uc(error->key, sizeof error->key / sizeof(SAP_UC), key);
    to_uc(error->message, sizeof error->message / sizeof(SAP_UC), message);
    return code;
}
#define fail_program(error, code, operation, ...)                                                  \
    fail(error, code, EXTERNAL_RUNTIME_FAILURE, #code, operation, __VA_ARGS__)

/* The stand-in's version, in the form SAP's library gives its own. */
NW_EXPORT const SAP_UC *SAP_API RfcGetVersion(unsigned *majorVersion, unsigned *minorVersion,
                                              unsigned *patchLevel) {
    static SAP_UC text[64];
    if (majorVersion) *majorVersion = 7500;
    if (minorVersion) *minorVersion = 0;
    if (patchLevel) *patchLevel = 0;
    to_uc(text, sizeof text / sizeof(SAP_UC), "Ramgauge stand-in (talks to sapsim only)");
    return text;
}

NW_EXPORT RFC_RC SAP_API RfcSetTraceDir(SAP_UC *traceDir, RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    if (!traceDir)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcSetTraceDir", "no directory");
    to_latin1(trace_dir, sizeof trace_dir, traceDir);
    return RFC_OK;
}

/* ---- connections ---- */

typedef struct {
    Socket socket;
    char host[TEXT_MAX]; /* the application server the logon names */
    int receive_timeout_ms;
} Connection;

static int same_name(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b)
        if (toupper((unsigned char)*a) != toupper((unsigned char)*b)) return 0;
    return *a == *b;
}

/* The value of a connection parameter (names in any case), or "". */
static void parameter(const RFC_CONNECTION_PARAMETER *list, unsigned count, const char *name,
                      char *value, size_t size) {
    value[0] = '\0';
    char got[64];
    for (unsigned i = 0; i < count; ++i) {
        to_latin1(got, sizeof got, list[i].name);
        if (same_name(got, name)) to_latin1(value, size, list[i].value);
    }
}

static int seconds(const char *text, int fallback) {
    int n = atoi(text);
    return n > 0 ? n : fallback;
}

/* A misbehaviour that sapsim asks for in its connect reply ("libfault
 * NAME"), so that tests reach the checks of what the caller describes:
 * structure, exporting, importing (that part of the description is seen
 * altered) and export_value (LOCAL_REMOTE goes out as "LOCALX"). */
static char library_fault[32];

static int fault_is(const char *name) {
    return strcmp(library_fault, name) == 0;
}

/* What the partner says to one message: 1 on "OK", else 0 with its reason. */
static int exchange(Connection *c, const char *request, char *reason, size_t size) {
    if (!socket_send(&c->socket, request, strlen(request), reason, size) ||
        !socket_receive(&c->socket, c->receive_timeout_ms, reason, size))
        return 0;
    Socket *s = &c->socket;
    if (s->line_count > 0 && strcmp(s->lines[0], "OK") == 0) {
        for (size_t i = 1; i < s->line_count; ++i)
            if (strncmp(s->lines[i], "libfault ", 9) == 0)
                snprintf(library_fault, sizeof library_fault, "%s", s->lines[i] + 9);
        return 1;
    }
    snprintf(reason, size, "%s",
             s->line_count > 0 && strncmp(s->lines[0], "REFUSED ", 8) == 0 ? s->lines[0] + 8
                                                                           : "unexpected reply");
    return 0;
}

NW_EXPORT RFC_CONNECTION_HANDLE SAP_API
RfcOpenConnection(const RFC_CONNECTION_PARAMETER *connectionParams, unsigned paramCount,
                  RFC_ERROR_INFO *errorInfo) {
    static const char *const op = "RfcOpenConnection";
    clear_error(errorInfo);
    char ashost[TEXT_MAX], sysnr[16], client[TEXT_MAX], user[TEXT_MAX], passwd[TEXT_MAX],
        lang[TEXT_MAX], gwhost[TEXT_MAX], gwserv[TEXT_MAX], dest[TEXT_MAX], wait[16], reply[16];
    const RFC_CONNECTION_PARAMETER *p = connectionParams;
    unsigned n = connectionParams ? paramCount : 0;
    parameter(p, n, "ASHOST", ashost, sizeof ashost);
    parameter(p, n, "SYSNR", sysnr, sizeof sysnr);
    parameter(p, n, "CLIENT", client, sizeof client);
    parameter(p, n, "USER", user, sizeof user);
    parameter(p, n, "PASSWD", passwd, sizeof passwd);
    parameter(p, n, "LANG", lang, sizeof lang);
    parameter(p, n, "GWHOST", gwhost, sizeof gwhost);
    parameter(p, n, "GWSERV", gwserv, sizeof gwserv);
    parameter(p, n, "DEST", dest, sizeof dest);
    parameter(p, n, "CONNECT_TIMEOUT", wait, sizeof wait);
    parameter(p, n, "RECEIVE_TIMEOUT", reply, sizeof reply);
    if (dest[0]) {
        fail_program(errorInfo, RFC_INVALID_PARAMETER, op,
                     "destination %s: the stand-in reads no sapnwrfc.ini", dest);
        return NULL;
    }
    if (!ashost[0] || !client[0] || !user[0]) {
        fail_program(errorInfo, RFC_INVALID_PARAMETER, op,
                     "ASHOST, CLIENT and USER are needed, got '%s', '%s', '%s'", ashost, client,
                     user);
        return NULL;
    }
    /* The gateway host, or else the application server; the gateway
     * service, or else sapgwNN of the system number. */
    const char *host = gwhost[0] ? gwhost : ashost;
    int port = gwserv[0] ? socket_service_port(gwserv) : 3300 + atoi(sysnr);
    if (port <= 0) {
        fail(errorInfo, RFC_COMMUNICATION_FAILURE, COMMUNICATION_FAILURE,
             "RFC_COMMUNICATION_FAILURE", op, "partner not reached: no service %s", gwserv);
        return NULL;
    }
    Connection *c = calloc(1, sizeof *c);
    if (!c) {
        fail_program(errorInfo, RFC_MEMORY_INSUFFICIENT, op, "no memory for a connection");
        return NULL;
    }
    socket_init(&c->socket);
    snprintf(c->host, sizeof c->host, "%s", ashost);
    c->receive_timeout_ms = seconds(reply, DEFAULT_RECEIVE_TIMEOUT_S) * 1000;
    char reason[TEXT_MAX], request[TEXT_MAX * 6];
    if (!socket_connect(&c->socket, host, port, seconds(wait, connect_timeout_s) * 1000, reason,
                        sizeof reason)) {
        fail(errorInfo, RFC_COMMUNICATION_FAILURE, COMMUNICATION_FAILURE,
             "RFC_COMMUNICATION_FAILURE", op, "%s", reason);
        free(c);
        return NULL;
    }
    snprintf(request, sizeof request, "CONNECT\nhost %s\nsysnr %s\ndest %s\n\n", ashost, sysnr, "");
    library_fault[0] = '\0';
    if (!exchange(c, request, reason, sizeof reason)) {
        fail(errorInfo, RFC_COMMUNICATION_FAILURE, COMMUNICATION_FAILURE,
             "RFC_COMMUNICATION_FAILURE", op, "partner %s not reached: %s", ashost, reason);
        socket_close(&c->socket);
        free(c);
        return NULL;
    }
    /* The NetWeaver library logs on while it opens the connection. */
    snprintf(request, sizeof request, "LOGON\nclient %s\nuser %s\npasswd %s\nlang %s\n\n", client,
             user, passwd, lang);
    if (!exchange(c, request, reason, sizeof reason)) {
        fail(errorInfo, RFC_LOGON_FAILURE, LOGON_FAILURE, "RFC_LOGON_FAILURE", op,
             "logon refused by %s client %s user %s: %s", ashost, client, user, reason);
        socket_close(&c->socket);
        free(c);
        return NULL;
    }
    return (RFC_CONNECTION_HANDLE)c;
}

NW_EXPORT RFC_RC SAP_API RfcCloseConnection(RFC_CONNECTION_HANDLE rfcHandle,
                                            RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    Connection *c = (Connection *)rfcHandle;
    if (!c)
        return fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcCloseConnection", "no connection");
    socket_close(&c->socket);
    free(c);
    return RFC_OK;
}

/* ---- descriptions ---- */

typedef struct {
    char name[31];
    RFCTYPE type;
    unsigned nuc_length, nuc_offset, uc_length, uc_offset;
} Field;

typedef struct {
    char name[31];
    unsigned count, nuc_length, uc_length;
    Field fields[MAX_FIELDS];
} TypeDesc;

typedef struct {
    char name[31];
    RFCTYPE type;
    RFC_DIRECTION direction;
    unsigned nuc_length, uc_length;
    TypeDesc *table_type;
} Parameter;

typedef struct {
    char name[31];
    unsigned count;
    Parameter parameters[MAX_FIELDS];
} FunctionDesc;

NW_EXPORT RFC_TYPE_DESC_HANDLE SAP_API RfcCreateTypeDesc(const SAP_UC *name,
                                                         RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    TypeDesc *t = calloc(1, sizeof *t);
    if (!t || !name) {
        free(t);
        fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcCreateTypeDesc", "no type name");
        return NULL;
    }
    to_latin1(t->name, sizeof t->name, name);
    return (RFC_TYPE_DESC_HANDLE)t;
}

NW_EXPORT RFC_RC SAP_API RfcAddTypeField(RFC_TYPE_DESC_HANDLE typeHandle,
                                         const RFC_FIELD_DESC *fieldDescr,
                                         RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    TypeDesc *t = (TypeDesc *)typeHandle;
    if (!t || !fieldDescr || t->count == MAX_FIELDS)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcAddTypeField",
                            "no type or no field");
    Field *f = &t->fields[t->count++];
    to_latin1(f->name, sizeof f->name, fieldDescr->name);
    f->type = fieldDescr->type;
    f->nuc_length = fieldDescr->nucLength;
    f->nuc_offset = fieldDescr->nucOffset;
    f->uc_length = fieldDescr->ucLength;
    f->uc_offset = fieldDescr->ucOffset;
    return RFC_OK;
}

NW_EXPORT RFC_RC SAP_API RfcSetTypeLength(RFC_TYPE_DESC_HANDLE typeHandle, unsigned nucByteLength,
                                          unsigned ucByteLength, RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    TypeDesc *t = (TypeDesc *)typeHandle;
    if (!t) return fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcSetTypeLength", "no type");
    for (unsigned i = 0; i < t->count; ++i) {
        const Field *f = &t->fields[i];
        if (f->nuc_offset + f->nuc_length > nucByteLength ||
            f->uc_offset + f->uc_length > ucByteLength)
            return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcSetTypeLength",
                                "%s %s ends past the length %u/%u", t->name, f->name, nucByteLength,
                                ucByteLength);
    }
    t->nuc_length = nucByteLength;
    t->uc_length = ucByteLength;
    return RFC_OK;
}

NW_EXPORT RFC_FUNCTION_DESC_HANDLE SAP_API RfcCreateFunctionDesc(const SAP_UC *name,
                                                                 RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    FunctionDesc *d = calloc(1, sizeof *d);
    if (!d || !name) {
        free(d);
        fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcCreateFunctionDesc", "no function name");
        return NULL;
    }
    to_latin1(d->name, sizeof d->name, name);
    return (RFC_FUNCTION_DESC_HANDLE)d;
}

NW_EXPORT RFC_RC SAP_API RfcAddParameter(RFC_FUNCTION_DESC_HANDLE funcDesc,
                                         const RFC_PARAMETER_DESC *paramDescr,
                                         RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    FunctionDesc *d = (FunctionDesc *)funcDesc;
    if (!d || !paramDescr || d->count == MAX_FIELDS)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcAddParameter",
                            "no function or no parameter");
    if (paramDescr->type == RFCTYPE_TABLE && !paramDescr->typeDescHandle)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcAddParameter",
                            "table without a line type");
    Parameter *p = &d->parameters[d->count++];
    to_latin1(p->name, sizeof p->name, paramDescr->name);
    p->type = paramDescr->type;
    p->direction = paramDescr->direction;
    p->nuc_length = paramDescr->nucLength;
    p->uc_length = paramDescr->ucLength;
    p->table_type = (TypeDesc *)paramDescr->typeDescHandle;
    return RFC_OK;
}

/* What the dictionary of the simulated system says about the one function
 * module and structure it serves. A caller's description must agree: the
 * real library packs and unpacks the data by it. */
static const Field mem_all_fields[] = {
    {"TYPE", RFCTYPE_INT2, 2, 0, 2, 0},        {"SUBTYPE", RFCTYPE_INT2, 2, 2, 2, 2},
    {"SERIALNR", RFCTYPE_INT2, 2, 4, 2, 4},    {"IN_PG_SEC", RFCTYPE_INT, 4, 8, 4, 8},
    {"OUT_PG_SEC", RFCTYPE_INT, 4, 12, 4, 12}, {"IN_KB_SEC", RFCTYPE_INT, 4, 16, 4, 16},
    {"OUT_KB_SEC", RFCTYPE_INT, 4, 20, 4, 20}, {"FREE_MEM", RFCTYPE_INT, 4, 24, 4, 24},
    {"PHYS_MEM", RFCTYPE_INT, 4, 28, 4, 28},   {"SWAP_CONF", RFCTYPE_INT, 4, 32, 4, 32},
    {"SWAP_FREE", RFCTYPE_INT, 4, 36, 4, 36},  {"SWAP_SIZE", RFCTYPE_INT, 4, 40, 4, 40},
    {"SWAP_MAX", RFCTYPE_INT, 4, 44, 4, 44}};
#define MEM_ALL_FIELDS 13
#define MEM_ALL_LENGTH 48

static const Parameter get_mem_all_parameters[] = {
    {"LOCAL_REMOTE", RFCTYPE_CHAR, RFC_IMPORT, 6, 12, NULL},
    {"LOGICAL_DESTINATION", RFCTYPE_CHAR, RFC_IMPORT, 32, 64, NULL},
    {"ACTIVEFLAG", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"DETAILSCOLL", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"DETAILSMODE", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"DETAILSREQI", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"F_MEM_ALL_READ", RFCTYPE_CHAR, RFC_EXPORT, 3, 6, NULL},
    {"INTERVAL", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"LASTCOLLINT", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"LASTCOLLWRT", RFCTYPE_CHAR, RFC_EXPORT, 25, 50, NULL},
    {"NORMCOLLINT", RFCTYPE_INT, RFC_EXPORT, 4, 4, NULL},
    {"TF_MEM_ALL", RFCTYPE_TABLE, RFC_TABLES, MEM_ALL_LENGTH, MEM_ALL_LENGTH, NULL}};
#define GET_MEM_ALL_PARAMETERS 12

/* 0 when the line type agrees with MEM_ALL, else 1 with what differs. */
static int check_mem_all(const TypeDesc *t, char *fault, size_t size) {
    if (t->count != MEM_ALL_FIELDS)
        return snprintf(fault, size, "%.30s has %u fields, not %d", t->name, t->count,
                        MEM_ALL_FIELDS),
               1;
    for (unsigned i = 0; i < t->count; ++i) {
        const Field *f = &t->fields[i], *want = &mem_all_fields[i];
        if (strcmp(f->name, want->name) != 0)
            return snprintf(fault, size, "%.30s field %u is %.30s, expected %.30s", t->name, i + 1,
                            f->name, want->name),
                   1;
        if (f->type != want->type || f->nuc_length != want->nuc_length ||
            f->nuc_offset != want->nuc_offset || f->uc_length != want->uc_length ||
            f->uc_offset != want->uc_offset)
            return snprintf(fault, size,
                            "%.30s %.30s: type %d length %u offset %u, expected type %d length %u "
                            "offset %u",
                            t->name, f->name, (int)f->type, f->nuc_length, f->nuc_offset,
                            (int)want->type, want->nuc_length, want->nuc_offset),
                   1;
    }
    if (t->nuc_length != MEM_ALL_LENGTH || t->uc_length != MEM_ALL_LENGTH)
        return snprintf(fault, size, "%.30s is %u/%u bytes, not %d", t->name, t->nuc_length,
                        t->uc_length, MEM_ALL_LENGTH),
               1;
    return 0;
}

/* 0 when the function description agrees with the dictionary; a library
 * fault alters what is seen of it first. */
static int check_seen_function(const FunctionDesc *d, char *fault, size_t size);
static int check_function(const FunctionDesc *given, char *fault, size_t size) {
    FunctionDesc d = *given;
    TypeDesc table;
    for (unsigned i = 0; i < d.count; ++i) {
        Parameter *p = &d.parameters[i];
        if (fault_is("exporting") && strcmp(p->name, "LOCAL_REMOTE") == 0) p->nuc_length = 5;
        if (fault_is("importing") && strcmp(p->name, "NORMCOLLINT") == 0) p->type = RFCTYPE_CHAR;
        if (fault_is("structure") && p->type == RFCTYPE_TABLE && p->table_type &&
            p->table_type->count > 3) {
            table = *p->table_type;
            table.fields[3].nuc_length = 2;
            p->table_type = &table;
        }
    }
    return check_seen_function(&d, fault, size);
}

static int check_seen_function(const FunctionDesc *d, char *fault, size_t size) {
    if (strcmp(d->name, "GET_MEM_ALL") != 0)
        return snprintf(fault, size, "function %.30s is not in the dictionary", d->name), 1;
    for (unsigned i = 0; i < d->count; ++i) {
        const Parameter *p = &d->parameters[i], *want = NULL;
        for (unsigned j = 0; j < GET_MEM_ALL_PARAMETERS; ++j)
            if (strcmp(p->name, get_mem_all_parameters[j].name) == 0)
                want = &get_mem_all_parameters[j];
        if (!want) return snprintf(fault, size, "%.30s: not in GET_MEM_ALL", p->name), 1;
        if (p->type != want->type || p->direction != want->direction ||
            p->nuc_length != want->nuc_length || p->uc_length != want->uc_length)
            return snprintf(fault, size,
                            "%.30s: type %d direction %d length %u/%u, expected type %d direction "
                            "%d length %u/%u",
                            p->name, (int)p->type, (int)p->direction, p->nuc_length, p->uc_length,
                            (int)want->type, (int)want->direction, want->nuc_length,
                            want->uc_length),
                   1;
        if (p->type == RFCTYPE_TABLE && check_mem_all(p->table_type, fault, size)) return 1;
    }
    return 0;
}

/* ---- containers ---- */

typedef struct {
    const Parameter *parameter;
    unsigned char *rows; /* nuc layout, one after the other */
    unsigned count, capacity, cursor;
} Table;

typedef struct {
    const FunctionDesc *desc;
    unsigned char values[MAX_FIELDS][64]; /* scalar parameters, nuc layout */
    Table tables[MAX_FIELDS];
} Function;

NW_EXPORT RFC_FUNCTION_HANDLE SAP_API RfcCreateFunction(RFC_FUNCTION_DESC_HANDLE funcDescHandle,
                                                        RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    const FunctionDesc *d = (const FunctionDesc *)funcDescHandle;
    Function *f = d ? calloc(1, sizeof *f) : NULL;
    if (!f) {
        fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcCreateFunction", "no description");
        return NULL;
    }
    f->desc = d;
    for (unsigned i = 0; i < d->count; ++i) {
        f->tables[i].parameter = &d->parameters[i];
        if (d->parameters[i].type == RFCTYPE_CHAR) memset(f->values[i], ' ', sizeof f->values[i]);
    }
    return (RFC_FUNCTION_HANDLE)f;
}

static void clear_tables(Function *f) {
    for (unsigned i = 0; i < MAX_FIELDS; ++i) {
        free(f->tables[i].rows);
        f->tables[i].rows = NULL;
        f->tables[i].count = f->tables[i].capacity = f->tables[i].cursor = 0;
    }
}

NW_EXPORT RFC_RC SAP_API RfcDestroyFunction(RFC_FUNCTION_HANDLE funcHandle,
                                            RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    Function *f = (Function *)funcHandle;
    if (!f) return fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcDestroyFunction", "no function");
    clear_tables(f);
    free(f);
    return RFC_OK;
}

/* The index of the parameter called name, or -1 with the failure filled. */
static int find_parameter(const Function *f, const SAP_UC *name, const char *operation,
                          RFC_ERROR_INFO *errorInfo) {
    char wanted[64];
    to_latin1(wanted, sizeof wanted, name);
    for (unsigned i = 0; f && i < f->desc->count; ++i)
        if (strcmp(f->desc->parameters[i].name, wanted) == 0) return (int)i;
    fail_program(errorInfo, RFC_INVALID_PARAMETER, operation, "field %s not found", wanted);
    return -1;
}

NW_EXPORT RFC_RC SAP_API RfcSetChars(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                     const RFC_CHAR *charValue, unsigned valueLength,
                                     RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    Function *f = (Function *)dataHandle;
    int i = find_parameter(f, name, "RfcSetChars", errorInfo);
    if (i < 0) return RFC_INVALID_PARAMETER;
    const Parameter *p = &f->desc->parameters[i];
    if (p->type != RFCTYPE_CHAR || p->direction != RFC_IMPORT || p->nuc_length > 64)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcSetChars",
                            "%s is no character field to set", p->name);
    if (valueLength > p->nuc_length)
        return fail_program(errorInfo, RFC_BUFFER_TOO_SMALL, "RfcSetChars",
                            "%u characters do not fit %s", valueLength, p->name);
    memset(f->values[i], ' ', p->nuc_length);
    for (unsigned k = 0; k < valueLength; ++k) {
        if (charValue[k] > 255)
            return fail_program(errorInfo, RFC_CONVERSION_FAILURE, "RfcSetChars",
                                "%s: a character beyond Latin-1", p->name);
        f->values[i][k] = (unsigned char)charValue[k];
    }
    return RFC_OK;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Exactly 2 * size hexadecimal digits into size bytes; 0 otherwise. */
static int from_hex(const char *hex, unsigned char *out, size_t size) {
    if (strlen(hex) != 2 * size) return 0;
    for (size_t i = 0; i < size; ++i) {
        int high = hex_digit(hex[2 * i]), low = hex_digit(hex[2 * i + 1]);
        if (high < 0 || low < 0) return 0;
        out[i] = (unsigned char)(high * 16 + low);
    }
    return 1;
}

static int append_row(Table *t, const unsigned char *row, unsigned length) {
    if (t->count == t->capacity) {
        unsigned capacity = t->capacity ? t->capacity * 2 : 4;
        unsigned char *grown = realloc(t->rows, (size_t)capacity * length);
        if (!grown) return 0;
        t->rows = grown;
        t->capacity = capacity;
    }
    memcpy(t->rows + (size_t)t->count * length, row, length);
    ++t->count;
    return 1;
}

/* Appends text to a growing request; 0 when no memory is left. */
typedef struct {
    char *text;
    size_t length, size;
} Buffer;

static int append(Buffer *b, const char *text) {
    size_t length = strlen(text);
    if (b->length + length + 1 > b->size) {
        size_t size = (b->length + length + 1) * 2;
        char *grown = realloc(b->text, size);
        if (!grown) return 0;
        b->text = grown;
        b->size = size;
    }
    memcpy(b->text + b->length, text, length + 1);
    b->length += length;
    return 1;
}

/* Reads the reply to a call into the function's parameters and tables.
 * Returns the code, with the error record filled for any but RFC_OK. */
static RFC_RC read_reply(Connection *c, Function *f, RFC_ERROR_INFO *errorInfo) {
    static const char *const op = "RfcInvoke";
    Socket *s = &c->socket;
    char *end = NULL;
    long code = s->line_count > 0 && strncmp(s->lines[0], "RESULT ", 7) == 0
                    ? strtol(s->lines[0] + 7, &end, 10)
                    : -1;
    if (!end || *end || code < 0 || code > 1000)
        return fail(errorInfo, RFC_INVALID_PROTOCOL, COMMUNICATION_FAILURE, "RFC_INVALID_PROTOCOL",
                    op, "reply from %s breaks the protocol", c->host);
    const char *exception = "", *message = "";
    for (size_t l = 1; l < s->line_count; ++l) {
        char *line = s->lines[l];
        if (strncmp(line, "exception ", 10) == 0) {
            exception = line + 10;
        } else if (strncmp(line, "message ", 8) == 0) {
            message = line + 8;
        } else if (strncmp(line, "import ", 7) == 0 || strncmp(line, "row ", 4) == 0) {
            int row = line[0] == 'r';
            char *name = line + (row ? 4 : 7), *hex = strchr(name, ' ');
            if (!hex) continue;
            *hex++ = '\0';
            int ok = 0, known = 0;
            for (unsigned i = 0; i < f->desc->count; ++i) {
                const Parameter *p = &f->desc->parameters[i];
                if (strcmp(p->name, name) != 0) continue;
                known = 1;
                if (row && p->type == RFCTYPE_TABLE) {
                    unsigned char line_bytes[MEM_ALL_LENGTH * 4];
                    unsigned length = p->table_type->nuc_length;
                    ok = length <= sizeof line_bytes && from_hex(hex, line_bytes, length) &&
                         append_row(&f->tables[i], line_bytes, length);
                } else if (!row && p->type != RFCTYPE_TABLE && p->nuc_length <= 64) {
                    ok = from_hex(hex, f->values[i], p->nuc_length);
                }
            }
            /* Values the caller did not describe are not received. */
            if (known && !ok)
                return fail(errorInfo, RFC_SERIALIZATION_FAILURE, EXTERNAL_RUNTIME_FAILURE,
                            "RFC_SERIALIZATION_FAILURE", op, "%s from %s does not fit its field",
                            name, c->host);
        }
    }
    switch (code) {
    case 0:
        return RFC_OK;
    case 1:
        return fail(errorInfo, RFC_COMMUNICATION_FAILURE, COMMUNICATION_FAILURE,
                    "RFC_COMMUNICATION_FAILURE", op, "%s", *message ? message : "call failed");
    case 2:
        return fail(errorInfo, RFC_ABAP_EXCEPTION, ABAP_APPLICATION_FAILURE, exception, op, "%s",
                    exception);
    case 3:
        return fail(errorInfo, RFC_ABAP_RUNTIME_FAILURE, ABAP_RUNTIME_FAILURE, "SYSTEM_FAILURE", op,
                    "%s", exception);
    default:
        return fail(errorInfo, RFC_UNKNOWN_ERROR, EXTERNAL_RUNTIME_FAILURE, "RFC_UNKNOWN_ERROR", op,
                    "call failed with code %ld", code);
    }
}

NW_EXPORT RFC_RC SAP_API RfcInvoke(RFC_CONNECTION_HANDLE rfcHandle, RFC_FUNCTION_HANDLE funcHandle,
                                   RFC_ERROR_INFO *errorInfo) {
    static const char *const op = "RfcInvoke";
    clear_error(errorInfo);
    Connection *c = (Connection *)rfcHandle;
    Function *f = (Function *)funcHandle;
    if (!c || !f) return fail_program(errorInfo, RFC_INVALID_HANDLE, op, "no connection");
    char fault[TEXT_MAX];
    if (check_function(f->desc, fault, sizeof fault))
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, op, "%s", fault);
    clear_tables(f);
    Buffer request = {0};
    int ok = append(&request, "CALL ") && append(&request, f->desc->name) && append(&request, "\n");
    for (unsigned i = 0; ok && i < f->desc->count; ++i) {
        const Parameter *p = &f->desc->parameters[i];
        char line[TEXT_MAX];
        if (p->direction == RFC_IMPORT && p->type == RFCTYPE_CHAR) {
            int n = snprintf(line, sizeof line, "export %s ", p->name);
            for (unsigned k = 0; k < p->nuc_length && n + 3 < (int)sizeof line; ++k) {
                unsigned char byte = f->values[i][k];
                if (fault_is("export_value") && k == 5 && memcmp(f->values[i], "LOCAL ", 6) == 0)
                    byte = 'X';
                n += snprintf(line + n, sizeof line - n, "%02x", byte);
            }
            snprintf(line + n, sizeof line - n, "\n");
            ok = append(&request, line);
        } else if (p->type == RFCTYPE_TABLE) {
            snprintf(line, sizeof line, "table %s %u\n", p->name, p->table_type->nuc_length);
            ok = append(&request, line);
        }
    }
    ok = ok && append(&request, "\n");
    char reason[TEXT_MAX] = "no memory for the request";
    if (!ok || !socket_send(&c->socket, request.text, request.length, reason, sizeof reason) ||
        !socket_receive(&c->socket, c->receive_timeout_ms, reason, sizeof reason)) {
        free(request.text);
        return fail(errorInfo, RFC_COMMUNICATION_FAILURE, COMMUNICATION_FAILURE,
                    "RFC_COMMUNICATION_FAILURE", op, "%s from %s", reason, c->host);
    }
    free(request.text);
    return read_reply(c, f, errorInfo);
}

NW_EXPORT RFC_RC SAP_API RfcGetTable(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                     RFC_TABLE_HANDLE *tableHandle, RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    Function *f = (Function *)dataHandle;
    int i = find_parameter(f, name, "RfcGetTable", errorInfo);
    if (i < 0) return RFC_INVALID_PARAMETER;
    if (f->desc->parameters[i].type != RFCTYPE_TABLE || !tableHandle)
        return fail_program(errorInfo, RFC_INVALID_PARAMETER, "RfcGetTable", "%s is no table",
                            f->desc->parameters[i].name);
    f->tables[i].cursor = 0;
    *tableHandle = (RFC_TABLE_HANDLE)&f->tables[i];
    return RFC_OK;
}

NW_EXPORT RFC_RC SAP_API RfcGetRowCount(RFC_TABLE_HANDLE tableHandle, unsigned *rowCount,
                                        RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    const Table *t = (const Table *)tableHandle;
    if (!t || !rowCount)
        return fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcGetRowCount", "no table");
    *rowCount = t->count;
    return RFC_OK;
}

NW_EXPORT RFC_RC SAP_API RfcMoveTo(RFC_TABLE_HANDLE tableHandle, unsigned index,
                                   RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    Table *t = (Table *)tableHandle;
    if (!t) return fail_program(errorInfo, RFC_INVALID_HANDLE, "RfcMoveTo", "no table");
    if (index >= t->count)
        return fail_program(errorInfo, RFC_TABLE_MOVE_EOF, "RfcMoveTo", "row %u of %u", index,
                            t->count);
    t->cursor = index;
    return RFC_OK;
}

/* The integer field called name of the table's current row. */
static RFC_RC get_integer(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name, long *value,
                          const char *operation, RFC_ERROR_INFO *errorInfo) {
    clear_error(errorInfo);
    const Table *t = (const Table *)dataHandle;
    char wanted[64];
    to_latin1(wanted, sizeof wanted, name);
    if (!t || t->parameter->type != RFCTYPE_TABLE)
        return fail_program(errorInfo, RFC_INVALID_HANDLE, operation, "no table row");
    if (t->cursor >= t->count)
        return fail_program(errorInfo, RFC_ILLEGAL_STATE, operation, "no current row");
    const TypeDesc *type = t->parameter->table_type;
    const unsigned char *row = t->rows + (size_t)t->cursor * type->nuc_length;
    for (unsigned i = 0; i < type->count; ++i) {
        const Field *f = &type->fields[i];
        if (strcmp(f->name, wanted) != 0) continue;
        const unsigned char *at = row + f->nuc_offset;
        if (f->type == RFCTYPE_INT2)
            *value = (short)(at[0] | at[1] << 8);
        else if (f->type == RFCTYPE_INT)
            *value = (int)((unsigned)at[0] | (unsigned)at[1] << 8 | (unsigned)at[2] << 16 |
                           (unsigned)at[3] << 24);
        else
            return fail_program(errorInfo, RFC_CONVERSION_FAILURE, operation,
                                "%s is no integer field", wanted);
        return RFC_OK;
    }
    return fail_program(errorInfo, RFC_INVALID_PARAMETER, operation, "field %s not found", wanted);
}

NW_EXPORT RFC_RC SAP_API RfcGetInt(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                   RFC_INT *value, RFC_ERROR_INFO *errorInfo) {
    long got = 0;
    RFC_RC rc = get_integer(dataHandle, name, &got, "RfcGetInt", errorInfo);
    if (rc == RFC_OK && value) *value = (RFC_INT)got;
    return rc;
}

NW_EXPORT RFC_RC SAP_API RfcGetInt2(DATA_CONTAINER_HANDLE dataHandle, const SAP_UC *name,
                                    RFC_INT2 *value, RFC_ERROR_INFO *errorInfo) {
    long got = 0;
    RFC_RC rc = get_integer(dataHandle, name, &got, "RfcGetInt2", errorInfo);
    if (rc == RFC_OK && (got < -32768 || got > 32767))
        return fail_program(errorInfo, RFC_CONVERSION_FAILURE, "RfcGetInt2",
                            "%ld does not fit two bytes", got);
    if (rc == RFC_OK && value) *value = (RFC_INT2)got;
    return rc;
}
