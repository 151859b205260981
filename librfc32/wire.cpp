#include "librfc32/protocol.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace wire {

std::string to_hex(const unsigned char *data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool from_hex(const std::string &hex, std::vector<unsigned char> &out) {
    out.clear();
    if (hex.size() % 2) return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (int k = 0; k < 2; ++k) {
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(hex[i + k])));
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        out.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

// The entry of a destination in saprfc.ini: "DEST=<name>" starts it, and
// KEY=value words follow on that line and the next ones until the next DEST.
bool read_saprfc_entry(std::istream &in, const std::string &destination, Entry &entry) {
    std::string line;
    bool inside = false, found = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == '*' || line[0] == '#')) continue;
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            std::string::size_type eq = word.find('=');
            if (eq == std::string::npos) continue;
            std::string key = word.substr(0, eq), value = word.substr(eq + 1);
            for (char &c : key)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (key == "DEST") {
                inside = value == destination;
                found = found || inside;
            } else if (inside) {
                entry[key] = value;
            }
        }
    }
    return found;
}

// Reads "RESULT <code>" and what follows into the caller's records. Returns
// false when the reply breaks the protocol.
bool apply_reply(const std::vector<std::string> &reply, RFC_PARAMETER *importing, RFC_TABLE *tables,
                 std::string &exception, RFC_RC &rc, std::string &message) {
    if (reply.empty() || reply[0].compare(0, 7, "RESULT ") != 0) return false;
    char *end = nullptr;
    long code = std::strtol(reply[0].c_str() + 7, &end, 10);
    if (end == reply[0].c_str() + 7 || *end != '\0') return false;
    rc = static_cast<RFC_RC>(code);
    std::map<std::string, std::vector<std::vector<unsigned char>>> rows;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const std::string &line = reply[i];
        std::string::size_type sp = line.find(' ');
        std::string kind = line.substr(0, sp);
        std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
        if (kind == "exception") {
            exception = rest;
        } else if (kind == "message") {
            message = rest;
        } else if (kind == "import" || kind == "row") {
            std::string::size_type sp2 = rest.find(' ');
            if (sp2 == std::string::npos) return false;
            std::vector<unsigned char> bytes;
            if (!from_hex(rest.substr(sp2 + 1), bytes)) return false;
            std::string name = rest.substr(0, sp2);
            if (kind == "row") {
                rows[name].push_back(bytes);
                continue;
            }
            for (RFC_PARAMETER *p = importing; p && p->name; ++p)
                if (std::string(p->name, p->nlen) == name && p->addr && !bytes.empty())
                    std::memcpy(p->addr, bytes.data(),
                                std::min<std::size_t>(p->leng, bytes.size()));
        } else {
            return false;
        }
    }
    if (rc != RFC_OK) return true;
    for (RFC_TABLE *t = tables; t && t->name; ++t) {
        Table *table = static_cast<Table *>(t->ithandle);
        if (!table) continue;
        table->lines.clear();
        for (auto &bytes : rows[std::string(t->name, t->nlen)]) {
            bytes.resize(table->line_length, 0);
            table->lines.push_back(bytes);
        }
    }
    return true;
}

} // namespace wire
