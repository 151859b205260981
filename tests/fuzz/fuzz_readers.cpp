// libFuzzer target for everything that reaches the sensor from outside:
// logon profiles, the global sensor file (with a sensor's own option line)
// and the item profile, the PRTG path file, the forms of argument 1,
// passwords, the options, the RFC library's trace file, the figures of a
// MEM_ALL line and the answer built from them, the connect string, the
// saprfc.ini readers (the stand-in library's and the sensor's, which must
// agree), the stand-in's reply framing and reply decoding,
// and the answer writers. The first byte selects the reader; the rest is its
// input. Each reader checks what must hold whatever the input (the XML
// answers stay one well-formed document of pure ASCII, the connect string
// reads back as its values, a reply breaking the protocol is refused...):
// anything else aborts.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "common/numbered_error.h"
#include "config/destination_file.h"
#include "config/global_sensor.h"
#include "config/logon_profile.h"
#include "config/password.h"
#include "librfc32/socket.h"
#include "librfc32/wire.h"
#include "measure/memory.h"
#include "output/channel.h"
#include "rfc/connection.h"
#include "rfc/failure.h"
#include "run/answer.h"
#include "run/deadline.h"
#include "run/locate.h"
#include "run/options.h"
#include "run/startup.h"

namespace {

// Serves one text for the paths it is given, and nothing else.
class TextFiles : public FileOpener {
  public:
    TextFiles(std::string text, std::vector<std::string> paths)
        : text_(std::move(text)), paths_(std::move(paths)) {}
    std::unique_ptr<InputFile> open_read(const std::string &path,
                                         long long = max_input_size) const override {
        for (const std::string &p : paths_)
            if (p == path) return InputFile::from_text(text_);
        return nullptr;
    }

  private:
    std::string text_;
    std::vector<std::string> paths_;
};

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0, end;
    while ((end = text.find(separator, start)) != std::string::npos) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool is_digits(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// One element <Prtg> holding elements and text, all pure ASCII, with "&"
// only in the entities the writers use.
bool well_formed(const std::string &doc) {
    std::vector<std::string> open;
    int roots = 0;
    for (std::size_t i = 0; i < doc.size();) {
        unsigned char c = static_cast<unsigned char>(doc[i]);
        if (c >= 0x7f || (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) return false;
        if (c == '>') return false;
        if (c == '&') {
            std::string::size_type semi = doc.find(';', i);
            if (semi == std::string::npos || open.empty()) return false;
            std::string entity = doc.substr(i + 1, semi - i - 1);
            if (entity != "amp" && entity != "lt" && entity != "gt" &&
                !(entity.size() > 1 && entity[0] == '#' && is_digits(entity.substr(1))))
                return false;
            i = semi + 1;
            continue;
        }
        if (c == '<') {
            std::string::size_type close = doc.find('>', i);
            if (close == std::string::npos) return false;
            std::string tag = doc.substr(i + 1, close - i - 1);
            if (!tag.empty() && tag[0] == '/') {
                if (open.empty() || open.back() != tag.substr(1)) return false;
                open.pop_back();
            } else {
                if (tag.empty()) return false;
                for (char t : tag)
                    if (!((t >= 'A' && t <= 'Z') || (t >= 'a' && t <= 'z'))) return false;
                if (open.empty() && ++roots > 1) return false;
                open.push_back(tag);
            }
            i = close + 1;
            continue;
        }
        if (open.empty() && c != '\n' && c != '\r' && c != ' ' && c != '\t') return false;
        ++i;
    }
    return open.empty() && roots == 1;
}

void check_xml(const std::string &doc) {
    if (!well_formed(doc)) std::abort();
}

void logon_profile(const std::string &text) {
    for (ProfileRun run : {ProfileRun::Single, ProfileRun::List}) {
        LogonParameters params;
        bool mark = false;
        try {
            auto in_file = InputFile::from_text(text);
            InputFile &in = *in_file;
            read_logon_profile(in, "FUZZ.P00", run, params, mark);
            check_logon_parameters("FUZZ.P00", run, params, mark);
        } catch (const NumberedError &) {
        }
    }
}

void sensor_lists(const std::string &text) {
    for (const char *file : {"Quadrant.Prf", "SAP Quadrant.Gbl"}) {
        try {
            auto in_file = InputFile::from_text(text);
            InputFile &in = *in_file;
            read_global_sensor_file(&in, file, text.substr(0, 20), "x", "item");
        } catch (const NumberedError &) {
        }
    }
}

void path_file(const std::string &text) {
    RunContext ctx;
    const char *argv[] = {"ramgauge", "FUZZ"};
    try {
        start_up(ctx, 2, argv);
        locate_profile(ctx, TextFiles(text, {std::string(prtg_path_file)}));
    } catch (const NumberedError &) {
    }
}

void options(const std::string &text) {
    std::vector<std::string> words = split(text.substr(0, text.find('\0')), '\n');
    std::vector<const char *> argv = {"ramgauge", "FUZZ"};
    for (std::size_t i = 0; i < words.size() && i < 2; ++i)
        argv.push_back(words[i].c_str());
    RunContext ctx;
    try {
        start_up(ctx, static_cast<int>(argv.size()), argv.data());
    } catch (const NumberedError &) {
        return;
    }
    OutputDocument doc;
    doc.mode = OutputMode::Bramble;
    doc.channel = ctx.options.channel;
    for (int i = 0; i < 4; ++i)
        write_channel(doc, "", "N", "1", "");
}

void trace_scan(const std::string &text) {
    library_trace_reason(TextFiles(text, {library_trace_file}), library_trace_file);
}

DestinationSettings settings_of(const WireEntry &entry) {
    DestinationSettings settings;
    for (int i = 0; i < entry.count; ++i)
        settings.emplace_back(entry.settings[i].key, entry.settings[i].value);
    return settings;
}

// Within the stand-in's limits (32 settings, keys of 31 bytes, values of
// 127) its reader and the sensor's read the same settings.
bool within_wire_limits(const DestinationSettings &settings) {
    return settings.size() < WIRE_MAX_SETTINGS &&
           std::all_of(settings.begin(), settings.end(), [](const DestinationSetting &s) {
               return s.first.size() < sizeof(WireSetting{}.key) &&
                      s.second.size() < sizeof(WireSetting{}.value);
           });
}

// The stand-in's reader of saprfc.ini and connect strings, and the sensor's
// of the same format: both must find the same entry and read the same
// settings.
void saprfc_ini(const std::string &text) {
    WireEntry entry{};
    bool found = wire_read_saprfc_entry(text.data(), text.size(), "PRD", &entry) != 0;
    DestinationSettings ours;
    if (read_destination_entry(text, "PRD", ours) != found) std::abort();
    if (within_wire_limits(ours) && ours != settings_of(entry)) std::abort();

    std::string connect = text.substr(0, text.find('\0'));
    WireEntry words{};
    wire_read_words(connect.c_str(), &words);
    DestinationSettings our_words = read_connect_words(connect);
    if (within_wire_limits(our_words) && our_words != settings_of(words)) std::abort();
}

// "<kind>" alone or "<kind> <rest>", as the stand-in's reply lines come.
bool reply_line(const std::string &line, const char *kind, std::string &rest) {
    std::size_t n = std::strlen(kind);
    if (line.compare(0, n, kind) != 0 || (line.size() > n && line[n] != ' ')) return false;
    rest = line.size() > n ? line.substr(n + 1) : "";
    return true;
}

bool hex_bytes(const std::string &hex, std::string &bytes) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    if (hex.size() % 2) return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
    }
    return true;
}

// What wire_apply_reply must make of a reply, worked out on its own.
struct ExpectedReply {
    bool accepted = false;
    RFC_RC rc = 0;
    std::vector<std::string> rows; // of TF_MEM_ALL
    std::vector<std::pair<std::string, std::string>> imports;
    std::string exception, message;
};

// The importing fields of the reply reader, with their lengths.
const std::pair<const char *, std::size_t> reply_fields[] = {
    {"ACTIVEFLAG", 4}, {"F_MEM_ALL_READ", 3}, {"LASTCOLLWRT", 25}, {"INTERVAL", 4}};

ExpectedReply expect_reply(const std::vector<std::string> &lines) {
    ExpectedReply e;
    std::string rest;
    if (lines.empty() || !reply_line(lines[0], "RESULT", rest)) return e;
    // A whole number whose magnitude fits an int.
    std::size_t first = !rest.empty() && rest[0] == '-';
    if (rest.size() == first) return e;
    long long code = 0;
    for (std::size_t i = first; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9') return e;
        code = code * 10 + (rest[i] - '0');
        if (code > 2147483647LL) return e;
    }
    e.rc = static_cast<RFC_RC>(first ? -code : code);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (reply_line(lines[i], "exception", rest)) {
            e.exception = rest.substr(0, 255);
            continue;
        }
        if (reply_line(lines[i], "message", rest)) {
            e.message = rest.substr(0, 255);
            continue;
        }
        bool import = reply_line(lines[i], "import", rest);
        if (!import && !reply_line(lines[i], "row", rest)) return e;
        std::string::size_type blank = rest.find(' ');
        std::string bytes;
        if (blank == std::string::npos || !hex_bytes(rest.substr(blank + 1), bytes)) return e;
        std::string name = rest.substr(0, blank);
        if (import) {
            for (const auto &field : reply_fields) {
                if (name != field.first) continue;
                // A value is exactly as long as its field.
                if (bytes.size() != field.second) return e;
                e.imports.emplace_back(name, bytes);
            }
        } else if (name == "TF_MEM_ALL") {
            e.rows.push_back(bytes);
        }
    }
    // The rows count only for a call that succeeded; each is one whole line.
    if (e.rc == RFC_OK)
        for (const std::string &row : e.rows)
            if (row.size() != 48) return e;
    e.accepted = true;
    return e;
}

// Applies a reply as the stand-in library does and holds the outcome against
// expect_reply: a reply breaking the protocol (a code that does not fit an
// int, a value or row not exactly as long as its field) is refused, and an
// accepted one lands whole.
void check_reply(const std::vector<std::string> &lines) {
    std::int32_t active = 0, interval = 0;
    char flag[3] = {}, written[25] = {};
    RFC_PARAMETER importing[] = {{const_cast<char *>("ACTIVEFLAG"), 10, TYPINT, 4, &active},
                                 {const_cast<char *>("F_MEM_ALL_READ"), 14, TYPC, 3, flag},
                                 {const_cast<char *>("LASTCOLLWRT"), 11, TYPC, 25, written},
                                 {const_cast<char *>("INTERVAL"), 8, TYPINT, 4, &interval},
                                 {}};
    WireTable table{};
    table.line_length = 48;
    RFC_TABLE tables[2] = {};
    tables[0].name = const_cast<char *>("TF_MEM_ALL");
    tables[0].nlen = 10;
    tables[0].ithandle = &table;
    std::vector<char *> pointers;
    for (const std::string &line : lines)
        pointers.push_back(const_cast<char *>(line.c_str()));
    char exception[256] = "", message[256] = "";
    RFC_RC rc = 0;
    int accepted = wire_apply_reply(pointers.data(), pointers.size(), importing, tables, exception,
                                    sizeof exception, &rc, message, sizeof message);
    ExpectedReply e = expect_reply(lines);
    if (accepted != static_cast<int>(e.accepted)) std::abort();
    if (accepted) {
        if (rc != e.rc || e.exception != exception || e.message != message) std::abort();
        // Each field holds the last value given for it.
        for (const RFC_PARAMETER *p = importing; p->name; ++p) {
            const std::string *last = nullptr;
            for (const auto &[name, bytes] : e.imports)
                if (name == p->name) last = &bytes;
            if (last && std::memcmp(last->data(), p->addr, p->leng) != 0) std::abort();
        }
        if (table.count != (e.rc == RFC_OK ? e.rows.size() : 0)) std::abort();
        for (unsigned i = 0; i < table.count; ++i)
            if (std::memcmp(table.lines + 48u * i, e.rows[i].data(), 48) != 0) std::abort();
    }
    std::free(table.lines);
}

// Lines as the library hands them over: C strings.
std::vector<std::string> c_lines(const std::string &text) {
    std::vector<std::string> lines = split(text, '\n');
    for (std::string &line : lines)
        line.resize(std::strlen(line.c_str()));
    return lines;
}

void reply(const std::string &text) {
    check_reply(c_lines(text));
}

void writers(const std::string &text) {
    std::vector<std::string> parts = split(text, '\n');
    parts.resize(5);
    for (OutputMode mode : {OutputMode::EXEXML, OutputMode::Tamarack, OutputMode::Bramble}) {
        OutputDocument doc;
        doc.mode = mode;
        begin_document(doc);
        open_text(doc);
        append_status_text(doc, parts[0]);
        doc.channel = channel_choice(parts[4]);
        close_text(doc);
        write_channel(doc, "", parts[1], parts[2], parts[3]);
        write_channel(doc, parts[0], parts[1], parts[2], "");
        end_document(doc);
        if (is_xml_mode(mode)) check_xml(doc.text);
    }
    OutputDocument error;
    write_error_document(error, text);
    check_xml(error.text);
}

// The messages that the framing must cut out of a stream: lines up to an
// empty line, each a C string; what follows the last one is incomplete.
struct Framed {
    std::vector<std::vector<std::string>> messages;
    std::vector<std::string> partial; // the incomplete message's whole lines
    std::size_t partial_start = 0;
};

Framed frame(const std::string &stream) {
    Framed f;
    std::size_t start = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (stream[i] != '\n') continue;
        if (i == start) {
            f.messages.push_back(f.partial);
            f.partial.clear();
            f.partial_start = i + 1;
        } else {
            std::string line = stream.substr(start, i - start);
            f.partial.push_back(line.substr(0, std::strlen(line.c_str())));
        }
        start = i + 1;
    }
    return f;
}

bool same_lines(const Socket &s, const std::vector<std::string> &want) {
    if (s.line_count != want.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i)
        if (want[i] != s.lines[i]) return false;
    return true;
}

// The stand-in library's reply framing. Three bytes choose a line limit, a
// byte limit (small ones, or the real MAX_REPLY_LINES / MAX_REPLY_BYTES) and
// the size of the pieces in which the stream arrives; the rest is the
// stream. It is framed once piece by piece with those limits, and once
// through a socket pair with socket_receive and the real limits, each
// message then going through wire_apply_reply as the library does.
void framing(const std::string &text) {
    if (text.size() < 3) return;
    const unsigned char *choice = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t max_lines = choice[0] & 0x80 ? MAX_REPLY_LINES : choice[0] % 16u;
    std::size_t max_bytes = choice[1] & 0x80 ? MAX_REPLY_BYTES : (choice[1] & 0x7fu) * 8u;
    std::size_t piece = 1 + choice[2] % 64u;
    const std::string stream = text.substr(3);
    const Framed want = frame(stream);

    Socket s;
    socket_init(&s);
    s.size = stream.size() + 1;
    s.buffer = static_cast<char *>(std::malloc(s.size));
    std::size_t taken = 0, arrived = 0;
    bool refused = false;
    while (!refused && arrived < stream.size()) {
        std::size_t n = std::min(piece, stream.size() - arrived);
        std::memcpy(s.buffer + s.used, stream.data() + arrived, n);
        s.used += n;
        arrived += n;
        int result;
        while ((result = socket_take_message(&s, max_lines, max_bytes)) > 0) {
            if (taken == want.messages.size() || !same_lines(s, want.messages[taken]) ||
                s.line_count > max_lines)
                std::abort();
            ++taken;
        }
        refused = result < 0;
    }
    const std::vector<std::string> &next =
        taken < want.messages.size() ? want.messages[taken] : want.partial;
    if (refused) {
        // Only a message over the line limit, or an incomplete one over the
        // byte limit, is refused.
        if (next.size() <= max_lines && s.used <= max_bytes) std::abort();
    } else if (taken != want.messages.size() || next.size() > max_lines ||
               s.used != stream.size() - want.partial_start || s.used > max_bytes) {
        std::abort();
    }
    socket_close(&s);

    if (stream.size() > 16384) return; // what one socket pair's buffer surely holds
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
    std::size_t sent = 0;
    while (sent < stream.size()) {
        ssize_t n = write(fds[1], stream.data() + sent, stream.size() - sent);
        if (n <= 0) std::abort();
        sent += static_cast<std::size_t>(n);
    }
    close(fds[1]);
    socket_init(&s);
    s.fd = fds[0];
    char reason[128];
    for (const std::vector<std::string> &message : want.messages) {
        if (!socket_receive(&s, 5000, reason, sizeof reason) || !same_lines(s, message))
            std::abort();
        check_reply(message);
    }
    if (socket_receive(&s, 5000, reason, sizeof reason) ||
        std::strcmp(reason, "connection lost") != 0)
        std::abort();
    socket_close(&s);
}

// A fake RFC library for measure_memory: hands out the fuzzed MEM_ALL lines,
// result codes and exception text.
using FakeTable = std::vector<std::vector<unsigned char>>;
struct FakeMemAll {
    RFC_RC call = RFC_OK, receive = RFC_OK;
    FakeTable lines;
    std::string exception;
    bool no_exception = false;
};
FakeMemAll mem_all;

RFC_RC SAP_API fake_install(const char *, RFC_TYPE_ELEMENT *, unsigned, RFC_TYPEHANDLE *handle) {
    *handle = 1;
    return RFC_OK;
}
RFC_RC SAP_API fake_call(RFC_HANDLE, const char *, RFC_PARAMETER *, RFC_TABLE *) {
    return mem_all.call;
}
RFC_RC SAP_API fake_receive(RFC_HANDLE, RFC_PARAMETER *, RFC_TABLE *tables, char **exception) {
    if (mem_all.receive == RFC_OK) *static_cast<FakeTable *>(tables[0].ithandle) = mem_all.lines;
    *exception = mem_all.no_exception ? nullptr : &mem_all.exception[0];
    return mem_all.receive;
}
ITAB_H SAP_API fake_it_create(const char *, unsigned, unsigned, unsigned) {
    return new FakeTable;
}
unsigned SAP_API fake_it_fill(ITAB_H table) {
    return static_cast<unsigned>(static_cast<FakeTable *>(table)->size());
}
void *SAP_API fake_it_get_line(ITAB_H table, unsigned line) {
    return static_cast<FakeTable *>(table)->at(line - 1).data();
}
int SAP_API fake_it_delete(ITAB_H table) {
    delete static_cast<FakeTable *>(table);
    return 0;
}

// Mostly the four codes the program tells apart, sometimes any other.
RFC_RC result_code(unsigned char byte) {
    return byte < 0xf0 ? byte % 5 : static_cast<RFC_RC>(static_cast<signed char>(byte));
}

std::int32_t little_endian(const unsigned char *at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | at[i];
    return static_cast<std::int32_t>(value);
}

std::string without_dots(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
    return text;
}

// Kilobytes as whole megabytes, rounded towards zero.
std::string megabytes(std::int32_t kilobytes) {
    return std::to_string(static_cast<long long>(kilobytes) / 1000);
}

// The status line holds the figures of the record: without its thousands
// separators, each is what it must be.
void check_status_line(const std::string &destination, const MemoryRecord &r) {
    std::string line = memory_status_line(destination, r);
    std::string head = "(" + destination + ") ";
    if (line.compare(0, head.size(), head) != 0) std::abort();
    std::string want = "Memory=" + megabytes(r.phys_mem) +
                       " MB, Free=" + (r.free_mem == -1 ? "0" : megabytes(r.free_mem)) +
                       " MB, Swap=" + (r.swap_size == -1 ? "0" : megabytes(r.swap_size));
    if (r.swap_size != -1 && r.swap_size != 0) {
        std::string percent = swap_percentage(r);
        if (!is_digits(percent)) std::abort();
        want += " MB, Free=" + percent + "%";
    }
    want += ", PageIn=" + std::to_string(r.in_pg_sec) +
            ", PageOut=" + std::to_string(r.out_pg_sec) + " ";
    if (without_dots(line.substr(head.size())) != without_dots(want)) std::abort();
}

// What the item answer prints, caught instead of written:
// the C library of the fuzz build (glibc) lets stdout be reassigned.
template <class Run> std::string printed_by(Run run) {
    char *buffer = nullptr;
    std::size_t length = 0;
    std::FILE *caught = open_memstream(&buffer, &length);
    std::FILE *saved = stdout;
    stdout = caught;
    run();
    stdout = saved;
    std::fclose(caught);
    std::string printed(buffer, length);
    std::free(buffer);
    return printed;
}

// One JSON value of pure ASCII from text[at], blanks around it allowed;
// at is left after it. False when it is not one.
bool json_value(const std::string &text, std::size_t &at, int depth = 0) {
    auto skip = [&] {
        while (at < text.size() && std::strchr(" \t\r\n", text[at]) && text[at] != '\0')
            ++at;
    };
    auto take = [&](char c) {
        skip();
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    };
    skip();
    if (at >= text.size() || depth > 16) return false;
    char c = text[at];
    if (c == '{' || c == '[') {
        char close = c == '{' ? '}' : ']';
        ++at;
        if (take(close)) return true;
        do {
            if (c == '{' && !(json_value(text, at, depth + 1) && take(':'))) return false;
            if (!json_value(text, at, depth + 1)) return false;
        } while (take(','));
        return take(close);
    }
    if (c == '"') {
        for (++at; at < text.size() && text[at] != '"'; ++at) {
            unsigned char u = static_cast<unsigned char>(text[at]);
            if (u < 0x20 || u >= 0x7f) return false;
            if (u != '\\') continue;
            if (++at >= text.size()) return false;
            if (text[at] == 'u') {
                for (int i = 0; i < 4; ++i)
                    if (++at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at])))
                        return false;
            } else if (!std::strchr("\"\\/bfnrt", text[at]) || text[at] == '\0') {
                return false;
            }
        }
        return at++ < text.size();
    }
    for (const char *word : {"true", "false", "null"})
        if (text.compare(at, std::strlen(word), word) == 0) {
            at += std::strlen(word);
            return true;
        }
    // A number: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    auto digits = [&] {
        std::size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at > from;
    };
    if (text[at] == '-') ++at;
    if (at < text.size() && text[at] == '0')
        ++at;
    else if (!digits())
        return false;
    if (at < text.size() && text[at] == '.' && (++at, !digits())) return false;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        if (!digits()) return false;
    }
    return true;
}

void check_json(const std::string &doc) {
    std::size_t at = 0;
    if (doc.empty() || doc[0] != '{' || !json_value(doc, at)) std::abort();
    while (at < doc.size() && std::strchr(" \t\r\n", doc[at]) && doc[at] != '\0')
        ++at;
    if (at != doc.size()) std::abort();
}

// The figures from SAP: result codes, a count of 48-byte MEM_ALL lines and
// the answer's form in three bytes, then the lines, then destination, option
// string, exception text and item name (when not one of the four channels
// that the third byte chooses from), one a line. The Json item answer is
// left out: it keeps its channels in the console for the rest of the
// process.
void memory(const std::string &text) {
    if (text.size() < 3) return;
    const unsigned char *choice = reinterpret_cast<const unsigned char *>(text.data());
    mem_all = FakeMemAll{};
    mem_all.call = result_code(choice[0]);
    mem_all.receive = result_code(choice[1]);
    unsigned count = choice[2] & 3u;
    bool item_mode = choice[2] & 4u;
    const OutputMode modes[] = {OutputMode::EXEXML, OutputMode::Tamarack, OutputMode::Bramble,
                                OutputMode::Kestrel, OutputMode::Json};
    OutputMode mode = modes[((choice[2] >> 3) & 7u) % 5];
    if (mode == OutputMode::Json) item_mode = false;
    std::string rest = text.substr(3);
    for (unsigned i = 0; i < count; ++i) {
        std::string line = rest.substr(0, 48);
        rest.erase(0, line.size());
        line.resize(48, '\0');
        mem_all.lines.emplace_back(line.begin(), line.end());
    }
    std::vector<std::string> words = split(rest, '\n');
    words.resize(5);
    // The fifth line, with "|" for line ends, is a limits file.
    LimitsTable limits;
    if (!words[4].empty()) {
        std::replace(words[4].begin(), words[4].end(), '|', '\n');
        try {
            limits = read_limits_file(words[4], "Ramgauge.Limits");
        } catch (const NumberedError &) {
        }
    }
    const char *const channels[] = {"Physical-Mem Free", "SwapMemory Free", "Pages-In [/Sec]",
                                    "Pages-Out [/Sec]"};
    std::string item = words[3].empty() ? channels[choice[2] >> 6] : words[3];
    mem_all.exception = words[2];
    mem_all.no_exception = words[2] == "-";

    RfcApi api;
    api.RfcInstallStructure = fake_install;
    api.RfcCall = fake_call;
    api.RfcReceive = fake_receive;
    api.ItCreate = fake_it_create;
    api.ItFill = fake_it_fill;
    api.ItGetLine = fake_it_get_line;
    api.ItDelete = fake_it_delete;
    ProgramLog log;
    MeasureState state;
    OutputDocument doc;
    doc.mode = mode;
    doc.channel = channel_choice(words[1]);
    Measurement m;
    std::set<std::int64_t> ids;
    // Measured, then answered as the run answers.
    std::string printed = printed_by([&] {
        m = measure_memory(api, state, 7, log);
        if (m.status != RunStatus::Measured)
            doc.text = m.failure;
        else if (item_mode)
            print_item_answer(doc, ids, item, "PRD.P00", m.figures, limits);
        else
            write_memory_answer(doc, words[0], m.figures, limits);
    });
    RFC_RC rc = m.rc;

    RFC_RC want = mem_all.call != RFC_OK ? mem_all.call : mem_all.receive;
    if (rc != want) std::abort();
    bool figures = rc == RFC_OK && count > 0;
    if ((m.status == RunStatus::Measured) != figures) std::abort();
    if (!figures) {
        const char *error = rc == RFC_OK              ? "Error 1019: "
                            : rc == RFC_FAILURE       ? "Error 1014: "
                            : rc == RFC_EXCEPTION     ? "Error 1012: "
                            : rc == RFC_SYS_EXCEPTION ? "Error 1013: "
                                                      : "Error 1015: ";
        if (doc.text.compare(0, 12, error) != 0 || !printed.empty()) std::abort();
        return;
    }
    // The figures come from the last line, little-endian.
    const unsigned char *last = mem_all.lines.back().data();
    MemoryRecord r = read_memory_record(last);
    const std::int32_t fields[] = {r.in_pg_sec, r.out_pg_sec, r.free_mem,
                                   r.phys_mem,  r.swap_free,  r.swap_size};
    const std::size_t offsets[] = {8, 12, 24, 28, 36, 40};
    for (int i = 0; i < 6; ++i)
        if (fields[i] != little_endian(last + offsets[i]) ||
            megabyte_text(fields[i]) != megabytes(fields[i]))
            std::abort();
    check_status_line(words[0], r);
    if (item_mode) {
        if (!doc.text.empty()) std::abort();
        if (is_xml_mode(mode) && !printed.empty()) check_xml("<Prtg>" + printed + "</Prtg>");
    } else {
        if (!printed.empty()) std::abort();
        if (is_xml_mode(mode)) check_xml(doc.text);
        if (mode == OutputMode::Json) check_json(doc.text);
    }
}

// A sensor's own line in the global sensor file: the first line is the
// command line's option words after "GLOBAL" (a tab between two words), the
// rest the file. The sensor's options replace the command line's, as run()
// does it, and their ",TIMEOUT=" is read.
void sensor_line(const std::string &text) {
    std::string::size_type end = text.find('\n');
    std::string typed = text.substr(0, end);
    std::string file = end == std::string::npos ? "" : text.substr(end + 1);
    std::vector<std::string> words = split(typed.substr(0, typed.find('\0')), '\t');
    std::vector<const char *> argv = {"ramgauge", "GLOBAL"};
    for (std::size_t i = 0; i < words.size() && i < 2; ++i)
        argv.push_back(words[i].c_str());
    RunContext ctx;
    GlobalSensor sensor;
    try {
        start_up(ctx, static_cast<int>(argv.size()), argv.data());
        TextFiles files(file, {global_sensor_file_name, item_profile_name});
        locate_profile(ctx, files).reset();
        auto list_file = files.open_read(ctx.profile_path);
        sensor = read_global_sensor_file(list_file.get(), ctx.profile_file_name, ctx.options.upper,
                                         ctx.argument2, ctx.item_name);
    } catch (const NumberedError &) {
        return;
    }
    if (sensor.system_list.empty() || sensor.system_list.size() > max_system_list ||
        sensor.item_name.empty() || sensor.item_name.size() > 90 ||
        sensor.item_name.find(',') != std::string::npos || sensor.label_selector.size() != 1 ||
        sensor.label_selector[0] < '1' || sensor.label_selector[0] > '4')
        std::abort();
    if (sensor.options_replaced) {
        if (sensor.options.size() > max_sensor_text ||
            sensor.options.find(':') != std::string::npos)
            std::abort();
    }
    std::string own = sensor.options_replaced ? sensor.options : ctx.options.text;
    try {
        set_options(ctx, read_options(own, ctx.options));
    } catch (const NumberedError &) {
        return;
    }
    const RunOptions &o = ctx.options;
    if (o.upper.size() != o.text.size()) std::abort();
    if (o.timeout_given && (o.timeout_seconds < 1 || o.timeout_seconds > 900)) std::abort();
    for (const char *keyword : {",HOST=", ",NO=", ",TIMEOUT="})
        if (option_value(o.upper, o.text, keyword).find_first_of(" ,") != std::string::npos)
            std::abort();
    OutputDocument doc;
    doc.mode = OutputMode::Bramble;
    doc.channel = o.channel;
    for (int i = 0; i < 4; ++i)
        write_channel(doc, "", "N", "1", "");
}

// Serves, for each path it is given, a file holding that path; the PRTG path
// file holds the list of paths. Aborts on a path over the Windows limit.
class PathFiles : public FileOpener {
  public:
    explicit PathFiles(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    std::unique_ptr<InputFile> open_read(const std::string &path,
                                         long long = max_input_size) const override {
        if (path != prtg_path_file && path.size() > max_path) std::abort();
        for (const std::string &p : paths_) {
            if (p != path) continue;
            if (path != prtg_path_file) return InputFile::from_text(path);
            std::string list;
            for (const std::string &line : paths_)
                list += line + "\n";
            return InputFile::from_text(list);
        }
        return nullptr;
    }

  private:
    std::vector<std::string> paths_;
};

// The forms of argument 1 ("PRD", "PRD.P01", "C:\dir\PRD", "GLOBAL", ...):
// the first line is argument 1, the second the options, the others the
// paths that exist. Whatever is found must be the file the run names.
void argument_one(const std::string &text) {
    std::vector<std::string> lines = split(text.substr(0, text.find('\0')), '\n');
    std::vector<const char *> argv = {"ramgauge", lines[0].c_str()};
    if (lines.size() > 1 && !lines[1].empty()) argv.push_back(lines[1].c_str());
    RunContext ctx;
    try {
        start_up(ctx, static_cast<int>(argv.size()), argv.data());
    } catch (const NumberedError &) {
        return;
    }
    // Where the program lies, for the profile beside it.
    ctx.program_folder = "C:\\Ramgauge\\";
    PathFiles files(lines.size() > 2 ? std::vector<std::string>(lines.begin() + 2, lines.end())
                                     : std::vector<std::string>());
    try {
        auto profile = locate_profile(ctx, files);
        const std::string &name = ctx.profile_file_name, &dir = ctx.profile_directory;
        // The default extension is not checked: its test looks at the whole
        // argument, so "C:\x.y\P" names the file "P".
        // The PRTG path file, named as a profile, holds the list of paths.
        bool holds_its_path = ctx.profile_path != prtg_path_file;
        if (!profile || ctx.profile_path != dir + name ||
            (holds_its_path && profile->read_rest() != ctx.profile_path) ||
            (!dir.empty() && dir.back() != '\\'))
            std::abort();
    } catch (const NumberedError &error) {
        std::string what = error.what();
        // 1031: a limits file among the paths, whose text (its path) is no
        // line of a limits file.
        if (what.compare(0, 11, "Error 1002:") != 0 && what.compare(0, 11, "Error 1016:") != 0 &&
            what.compare(0, 11, "Error 1031:") != 0)
            std::abort();
    }
}

// The connect string must read back, with the stand-in's reader (which reads
// quoted values as SAP's library does), as exactly the four values it was
// built from. The input holds client, user, password and destination,
// separated by NUL bytes: values come from profile lines, which end at a NUL
// and hold at most max_profile_value characters.
void connect_round_trip(const std::string &text) {
    std::vector<std::string> values = split(text, '\0');
    values.resize(4);
    bool quote = false;
    for (std::string &value : values) {
        value.resize(std::min(value.size(), max_profile_value));
        quote = quote || value.find('"') != std::string::npos;
    }
    LogonParameters params;
    params.Client = values[0];
    params.User = values[1];
    params.Password = values[2];
    params.Destination = values[3];
    std::string connect;
    try {
        connect = connect_string(params, "FUZZ.P00");
    } catch (const NumberedError &error) {
        if (!quote || std::string(error.what()).compare(0, 11, "Error 1022:") != 0) std::abort();
        return;
    }
    if (quote) std::abort();
    WireEntry entry{};
    wire_read_words(connect.c_str(), &entry);
    const char *const keys[] = {"CLIENT", "USER", "PASSWD", "DEST"};
    const char *lang = wire_setting(&entry, "LANG");
    if (entry.count != 5 || !lang || std::strcmp(lang, "D") != 0) std::abort();
    for (int i = 0; i < 4; ++i) {
        const char *read = wire_setting(&entry, keys[i]);
        if (!read || values[i] != read) std::abort();
    }
    // The NetWeaver road reads it with the sensor's own reader.
    if (read_connect_words(connect) != settings_of(entry)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    switch (data[0] % 14) {
    case 0:
        logon_profile(text);
        break;
    case 1:
        sensor_lists(text);
        break;
    case 2:
        path_file(text);
        break;
    case 3:
        unscramble_password(text.substr(0, 60));
        break;
    case 4:
        options(text);
        break;
    case 5:
        trace_scan(text);
        break;
    case 6:
        saprfc_ini(text);
        break;
    case 7:
        reply(text);
        break;
    case 8:
        writers(text);
        break;
    case 9:
        memory(text);
        break;
    case 10:
        framing(text);
        break;
    case 11:
        sensor_line(text);
        break;
    case 12:
        argument_one(text);
        break;
    default:
        connect_round_trip(text);
        break;
    }
    return 0;
}
