#include "librfc32/wire.h"

#include <stdlib.h>
#include <string.h>

void wire_to_hex(const unsigned char *data, size_t size, char *out) {
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 15];
    }
    out[2 * size] = '\0';
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int wire_from_hex(const char *hex, size_t length, unsigned char *out) {
    if (length % 2) return -1;
    for (size_t i = 0; i < length; i += 2) {
        int high = hex_digit(hex[i]), low = hex_digit(hex[i + 1]);
        if (high < 0 || low < 0) return -1;
        out[i / 2] = (unsigned char)(high * 16 + low);
    }
    return (int)(length / 2);
}

int wire_table_append(WireTable *table, const unsigned char *line, size_t length) {
    if (table->line_length == 0) return 0;
    if (table->count == table->capacity) {
        unsigned capacity = table->capacity ? table->capacity * 2 : 4;
        unsigned char *grown = realloc(table->lines, (size_t)capacity * table->line_length);
        if (!grown) return 0;
        table->lines = grown;
        table->capacity = capacity;
    }
    unsigned char *to = table->lines + (size_t)table->count * table->line_length;
    size_t copied = length < table->line_length ? length : table->line_length;
    if (copied) memcpy(to, line, copied);
    memset(to + copied, 0, table->line_length - copied);
    ++table->count;
    return 1;
}

void wire_table_clear(WireTable *table) {
    table->count = 0;
}

const char *wire_setting(const WireEntry *entry, const char *key) {
    for (int i = 0; i < entry->count; ++i)
        if (strcmp(entry->settings[i].key, key) == 0) return entry->settings[i].value;
    return NULL;
}

static void copy_text(char *to, size_t size, const char *from, size_t length) {
    if (length >= size) length = size - 1;
    memcpy(to, from, length);
    to[length] = '\0';
}

void wire_set(WireEntry *entry, const char *key, const char *value) {
    WireSetting *setting = NULL;
    for (int i = 0; i < entry->count && !setting; ++i)
        if (strcmp(entry->settings[i].key, key) == 0) setting = &entry->settings[i];
    if (!setting) {
        if (entry->count == WIRE_MAX_SETTINGS) return;
        setting = &entry->settings[entry->count++];
        copy_text(setting->key, sizeof setting->key, key, strlen(key));
    }
    copy_text(setting->value, sizeof setting->value, value, strlen(value));
}

/* The rules of the sensor's reader of destination entries
 * (config/destination_file.h), which one table of cases checks against this
 * one: white space separates words, a double quote keeps white space in a
 * word up to the next double quote, a word with "=" and a key before it is
 * a setting whose value loses its enclosing double quotes, a key given twice
 * keeps its last value. In a file a NUL byte ends its line, and a word
 * beginning with "*", "#", or "/" and then "*" or "/", begins a comment up to
 * the line's end. */
static int white(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

static int comment_at(const char *text, size_t at, size_t end) {
    return text[at] == '*' || text[at] == '#' ||
           (text[at] == '/' && at + 1 < end && (text[at + 1] == '*' || text[at + 1] == '/'));
}

/* Calls take(key, value) for each setting of text[at, end), the key
 * upper-cased; with comments, a word that begins a comment ends the
 * reading. */
static void read_words(const char *text, size_t at, size_t end, int comments,
                       void (*take)(void *, const char *, const char *), void *context) {
    for (;;) {
        while (at < end && white(text[at]))
            ++at;
        if (at >= end || (comments && comment_at(text, at, end))) return;
        size_t stop = at;
        int quoted = 0;
        while (stop < end && (quoted || !white(text[stop]))) {
            if (text[stop] == '"') quoted = !quoted;
            ++stop;
        }
        const char *eq = memchr(text + at, '=', stop - at);
        if (eq && eq > text + at) {
            char key[32], value[128];
            const char *from = eq + 1;
            size_t length = (size_t)(text + stop - from);
            if (length >= 2 && from[0] == '"' && from[length - 1] == '"') {
                ++from;
                length -= 2;
            }
            copy_text(key, sizeof key, text + at, (size_t)(eq - (text + at)));
            copy_text(value, sizeof value, from, length);
            for (char *k = key; *k; ++k)
                if (*k >= 'a' && *k <= 'z') *k = (char)(*k - 'a' + 'A');
            take(context, key, value);
        }
        at = stop;
    }
}

static void take_any(void *entry, const char *key, const char *value) {
    wire_set((WireEntry *)entry, key, value);
}

void wire_read_words(const char *text, WireEntry *entry) {
    read_words(text, 0, strlen(text), 0, take_any, entry);
}

typedef struct {
    const char *destination;
    WireEntry *entry;
    enum { BEFORE, INSIDE, AFTER } state;
} EntrySearch;

static void take_in_entry(void *context, const char *key, const char *value) {
    EntrySearch *search = (EntrySearch *)context;
    if (strcmp(key, "DEST") == 0) {
        /* The name is matched exactly, case included; the first entry of
         * that name counts, and the next DEST ends it. */
        if (search->state == BEFORE && strcmp(value, search->destination) == 0)
            search->state = INSIDE;
        else if (search->state == INSIDE)
            search->state = AFTER;
    } else if (search->state == INSIDE) {
        wire_set(search->entry, key, value);
    }
}

int wire_read_saprfc_entry(const char *text, size_t length, const char *destination,
                           WireEntry *entry) {
    EntrySearch search = {destination, entry, BEFORE};
    size_t at = 0;
    while (at < length) {
        const char *newline = memchr(text + at, '\n', length - at);
        size_t end = newline ? (size_t)(newline - text) : length;
        const char *nul = memchr(text + at, '\0', end - at);
        read_words(text, at, nul ? (size_t)(nul - text) : end, 1, take_in_entry, &search);
        at = end + 1;
    }
    return search.state != BEFORE;
}

/* "kind rest": the kind and a pointer to the rest (after one blank). */
static int starts_with(const char *line, const char *kind, const char **rest) {
    size_t n = strlen(kind);
    if (strncmp(line, kind, n) != 0) return 0;
    if (line[n] == '\0') {
        *rest = line + n;
        return 1;
    }
    if (line[n] != ' ') return 0;
    *rest = line + n + 1;
    return 1;
}

/* "<name> <hex>": the name's length and the bytes; -1 when broken. */
static int name_and_bytes(const char *rest, size_t *name_length, unsigned char **bytes) {
    const char *blank = strchr(rest, ' ');
    if (!blank) return -1;
    *name_length = (size_t)(blank - rest);
    size_t digits = strlen(blank + 1);
    *bytes = malloc(digits / 2 + 1);
    if (!*bytes) return -1;
    int n = wire_from_hex(blank + 1, digits, *bytes);
    if (n < 0) {
        free(*bytes);
        *bytes = NULL;
    }
    return n;
}

int wire_apply_reply(char *const *lines, size_t count, RFC_PARAMETER *importing, RFC_TABLE *tables,
                     char *exception, size_t exception_size, RFC_RC *rc, char *message,
                     size_t message_size) {
    const char *rest;
    if (count == 0 || !starts_with(lines[0], "RESULT", &rest) || *rest == '\0') return 0;
    /* The code is a whole number that fits an int on every build. */
    const char *digit = rest + (*rest == '-');
    long long code = 0;
    if (*digit == '\0') return 0;
    for (; *digit; ++digit) {
        if (*digit < '0' || *digit > '9') return 0;
        code = code * 10 + (*digit - '0');
        if (code > 2147483647LL) return 0;
    }
    *rc = (RFC_RC)(*rest == '-' ? -code : code);
    for (size_t i = 1; i < count; ++i) {
        const char *line = lines[i];
        if (starts_with(line, "exception", &rest)) {
            copy_text(exception, exception_size, rest, strlen(rest));
        } else if (starts_with(line, "message", &rest)) {
            copy_text(message, message_size, rest, strlen(rest));
        } else if (starts_with(line, "import", &rest) || starts_with(line, "row", &rest)) {
            size_t name_length;
            unsigned char *bytes;
            int n = name_and_bytes(rest, &name_length, &bytes);
            if (n < 0) return 0;
            int fits = 1;
            if (line[0] == 'i')
                for (RFC_PARAMETER *p = importing; p && p->name; ++p)
                    if (strnlen(p->name, p->nlen) == name_length &&
                        memcmp(p->name, rest, name_length) == 0 && p->addr) {
                        /* A value is exactly as long as its field. */
                        fits = fits && (size_t)n == p->leng;
                        if (fits) memcpy(p->addr, bytes, p->leng);
                    }
            free(bytes);
            if (!fits) return 0;
        } else {
            return 0;
        }
    }
    if (*rc != RFC_OK) return 1;
    for (RFC_TABLE *t = tables; t && t->name; ++t) {
        WireTable *table = (WireTable *)t->ithandle;
        if (!table) continue;
        wire_table_clear(table);
        size_t name_length = strnlen(t->name, t->nlen);
        for (size_t i = 1; i < count; ++i) {
            if (!starts_with(lines[i], "row", &rest)) continue;
            if (strncmp(rest, t->name, name_length) != 0 || rest[name_length] != ' ') continue;
            size_t length;
            unsigned char *bytes;
            int n = name_and_bytes(rest, &length, &bytes);
            if (n < 0) return 0;
            /* A row is exactly one line of the table's record. */
            int kept =
                (size_t)n == table->line_length && wire_table_append(table, bytes, (size_t)n);
            free(bytes);
            if (!kept) return 0;
        }
    }
    return 1;
}
