#include "output/json.h"

#include <cstdio>

std::string json_string(const std::string &text, std::size_t max_chars) {
    std::string out = "\"";
    std::size_t chars = 0;
    for (char c : text) {
        if (chars++ == max_chars) break;
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (byte >= 0x80) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                out += escape;
            } else if (byte < 0x20 || byte == 0x7f) {
                out += '?';
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string json_channel(const JsonChannel &c) {
    std::string out = "{\"id\":" + std::to_string(c.id) + ",\"name\":" + json_string(c.name) +
                      ",\"type\":\"" + (c.is_float ? "float" : "integer") +
                      "\",\"kind\":" + json_string(c.kind);
    if (!c.display_unit.empty()) out += ",\"display_unit\":" + json_string(c.display_unit);
    return out + ",\"value\":" + c.value + "}";
}

std::string json_answer(const std::string &status, const std::string &message,
                        const std::string &channels) {
    std::string out = "{\"version\":2,\"status\":\"" + status +
                      "\",\"message\":" + json_string(message, json_max_message);
    if (!channels.empty()) out += ",\"channels\":[" + channels + "]";
    return out + "}\n";
}

const char *item_status(unsigned processed, unsigned failed) {
    if (failed == 0) return "ok";
    return processed == 0 ? "error" : "warning";
}
