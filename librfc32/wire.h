#ifndef RAMGAUGE_WIRE_H
#define RAMGAUGE_WIRE_H
/* The wire format between the stand-in RFC library and sapsim, and the
 * stand-in's readers of what arrives from outside: replies and saprfc.ini.
 * Plain C, so that the library needs no C++ runtime.
 *
 * Every message is a block of text lines ending in "\n", closed by an empty
 * line. Binary values travel as hexadecimal text.
 *
 *   client: CONNECT / host H / sysnr N / dest D           (RfcOpen, RfcOpenEx)
 *   server: OK [/ libfault NAME]        or  REFUSED <reason>
 *   client: LOGON / client C / user U / passwd P / lang L (with the first call)
 *   server: OK                          or  REFUSED <reason>
 *   client: CALL <function> / export <name> <hex> ... / table <name> <line length>
 *   server: RESULT <code> / import <name> <hex> ... / row <table> <hex> ...
 *           / exception <text> / message <text>
 */
#include <stddef.h>

#include "rfc/saprfc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes 2 * size hexadecimal digits and a NUL to out. */
void wire_to_hex(const unsigned char *data, size_t size, char *out);

/* Reads length hexadecimal digits into length / 2 bytes of out; -1 when
 * they are not an even number of hexadecimal digits. */
int wire_from_hex(const char *hex, size_t length, unsigned char *out);

/* An internal table of the library: what ItCreate returns. Lines are kept
 * one after the other, line_length bytes each. */
typedef struct {
    char name[32];
    unsigned line_length;
    unsigned count, capacity;
    unsigned char *lines;
} WireTable;

/* Appends one line, cut or filled with zero bytes to line_length; 0 when
 * no memory is left. */
int wire_table_append(WireTable *table, const unsigned char *line, size_t length);
void wire_table_clear(WireTable *table);

/* KEY=value settings of one destination in saprfc.ini, keys upper-cased. */
#define WIRE_MAX_SETTINGS 32
typedef struct {
    char key[32];
    char value[128];
} WireSetting;
typedef struct {
    int count;
    WireSetting settings[WIRE_MAX_SETTINGS];
} WireEntry;

/* The value of key, or NULL. */
const char *wire_setting(const WireEntry *entry, const char *key);
void wire_set(WireEntry *entry, const char *key, const char *value);

/* Reads the KEY=value words of a connect string ("CLIENT=100 USER=X ...");
 * a value in double quotes may hold blanks (PASSWD="a b"), and loses the
 * quotes. */
void wire_read_words(const char *text, WireEntry *entry);

/* Finds the entry of destination in the text of a saprfc.ini: "DEST=<name>",
 * the name matched exactly, starts it, and KEY=value words follow on that
 * line and the next ones until the next DEST; only the first entry of that
 * name counts. A word beginning with "*", "#", or "/" and then "*" or "/",
 * begins a comment up to the end of its line. Returns 1 when the destination
 * was found. The rules are the sensor's (config/destination_file.h). */
int wire_read_saprfc_entry(const char *text, size_t length, const char *destination,
                           WireEntry *entry);

/* Reads "RESULT <code>" and what follows (count lines) into the caller's
 * importing parameters and tables, whose ithandle is a WireTable. The
 * exception and message texts are cut to their buffers. Returns 0 when the
 * reply breaks the protocol: among others, a code that does not fit an int,
 * or an imported value or a table row not exactly as long as its field or
 * line. */
int wire_apply_reply(char *const *lines, size_t count, RFC_PARAMETER *importing, RFC_TABLE *tables,
                     char *exception, size_t exception_size, RFC_RC *rc, char *message,
                     size_t message_size);

#ifdef __cplusplus
}
#endif

#endif
