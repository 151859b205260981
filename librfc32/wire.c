#include "librfc32/wire.h"

#include <ctype.h>
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

/* Calls take(key, value) for each KEY=value word of text[0..end), the key
 * upper-cased; stops early when take returns 0. */
static void read_words(const char *text, size_t end,
                       int (*take)(void *, const char *, const char *), void *context) {
    size_t word = 0;
    while (word < end) {
        while (word < end && isspace((unsigned char)text[word]))
            ++word;
        /* A value in double quotes may hold blanks: KEY="a b". */
        size_t stop = word;
        int quoted = 0;
        while (stop < end && (quoted || !isspace((unsigned char)text[stop]))) {
            if (text[stop] == '"') quoted = !quoted;
            ++stop;
        }
        const char *eq = memchr(text + word, '=', stop - word);
        if (eq) {
            char key[32], value[128];
            const char *from = eq + 1;
            size_t length = (size_t)(text + stop - from);
            if (length >= 2 && from[0] == '"' && from[length - 1] == '"') {
                ++from;
                length -= 2;
            }
            copy_text(key, sizeof key, text + word, (size_t)(eq - (text + word)));
            copy_text(value, sizeof value, from, length);
            for (char *k = key; *k; ++k)
                *k = (char)toupper((unsigned char)*k);
            if (!take(context, key, value)) return;
        }
        word = stop;
    }
}

static int take_any(void *entry, const char *key, const char *value) {
    wire_set((WireEntry *)entry, key, value);
    return 1;
}

void wire_read_words(const char *text, WireEntry *entry) {
    read_words(text, strlen(text), take_any, entry);
}

typedef struct {
    const char *destination;
    WireEntry *entry;
    int inside, found;
} EntrySearch;

static int take_in_entry(void *context, const char *key, const char *value) {
    EntrySearch *search = (EntrySearch *)context;
    if (strcmp(key, "DEST") == 0) {
        search->inside = strcmp(value, search->destination) == 0;
        search->found = search->found || search->inside;
    } else if (search->inside) {
        wire_set(search->entry, key, value);
    }
    return 1;
}

int wire_read_saprfc_entry(const char *text, size_t length, const char *destination,
                           WireEntry *entry) {
    EntrySearch search = {destination, entry, 0, 0};
    size_t at = 0;
    while (at < length) {
        size_t end = at;
        while (end < length && text[end] != '\n')
            ++end;
        if (text[at] != '*' && text[at] != '#')
            read_words(text + at, end - at, take_in_entry, &search);
        at = end + 1;
    }
    return search.found;
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
