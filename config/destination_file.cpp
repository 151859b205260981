#include "config/destination_file.h"

#include <cstring>

#include "common/text.h"

namespace {

bool white(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool comment_at(const std::string &text, std::size_t at, std::size_t end) {
    return text[at] == '*' || text[at] == '#' ||
           (text[at] == '/' && at + 1 < end && (text[at + 1] == '*' || text[at + 1] == '/'));
}

// Where c first stands in text[at, end); end when it does not.
std::size_t find_in(const std::string &text, char c, std::size_t at, std::size_t end) {
    const void *found = std::memchr(text.data() + at, c, end - at);
    return found ? static_cast<std::size_t>(static_cast<const char *>(found) - text.data()) : end;
}

void set(DestinationSettings &settings, const std::string &key, const std::string &value) {
    for (auto &setting : settings)
        if (setting.first == key) {
            setting.second = value;
            return;
        }
    settings.emplace_back(key, value);
}

// Calls take(key, value) for each setting of text[at, end); with comments,
// a word that begins a comment ends the reading.
template <class Take>
void read_words(const std::string &text, std::size_t at, std::size_t end, bool comments,
                Take take) {
    for (;;) {
        while (at < end && white(text[at]))
            ++at;
        if (at >= end || (comments && comment_at(text, at, end))) return;
        std::size_t stop = at;
        bool quoted = false;
        while (stop < end && (quoted || !white(text[stop]))) {
            if (text[stop] == '"') quoted = !quoted;
            ++stop;
        }
        std::size_t equals = find_in(text, '=', at, stop);
        if (equals > at && equals < stop) {
            std::size_t from = equals + 1, length = stop - from;
            if (length >= 2 && text[from] == '"' && text[stop - 1] == '"') {
                ++from;
                length -= 2;
            }
            take(upper_ascii(text.substr(at, equals - at)), text.substr(from, length));
        }
        at = stop;
    }
}

} // namespace

DestinationSettings read_connect_words(const std::string &text) {
    DestinationSettings settings;
    read_words(text, 0, text.size(), false, [&](const std::string &key, const std::string &value) {
        set(settings, key, value);
    });
    return settings;
}

bool read_destination_entry(const std::string &text, const std::string &destination,
                            DestinationSettings &entry) {
    entry.clear();
    enum { before, inside, after } state = before;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = find_in(text, '\n', at, text.size());
        // A NUL byte ends the line, as it ends a C library's string.
        read_words(text, at, find_in(text, '\0', at, end), true,
                   [&](const std::string &key, const std::string &value) {
                       if (key == "DEST")
                           state = state == before && value == destination ? inside
                                   : state == before                       ? before
                                                                           : after;
                       else if (state == inside)
                           set(entry, key, value);
                   });
        at = end + 1;
    }
    return state != before;
}

std::string setting_value(const DestinationSettings &settings, const std::string &key) {
    for (const auto &setting : settings)
        if (setting.first == key) return setting.second;
    return "";
}
