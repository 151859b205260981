// libFuzzer target for everything that reaches the sensor from outside:
// logon profiles, the global sensor file and the item profile, the PRTG path
// file, passwords, the options, the RFC library's trace file, the stand-in
// library's saprfc.ini reader and reply decoding, and the answer writers.
// The first byte selects the reader; the rest is its input. The writers'
// XML answers must stay one well-formed document of pure ASCII: anything
// else aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/numbered_error.h"
#include "config/global_sensor.h"
#include "config/logon_profile.h"
#include "config/password.h"
#include "librfc32/wire.h"
#include "output/channel.h"
#include "rfc/connection.h"
#include "rfc/failure.h"
#include "run/locate.h"
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
    for (ProfileRun run : {ProfileRun::Single, ProfileRun::Multi}) {
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
    option_value(ctx.option_string, ctx.option_text, ",HOST=");
    option_value(ctx.option_string, ctx.option_text, ",NO=");
    OutputDocument doc;
    doc.mode = OutputMode::Bramble;
    for (int i = 0; i < 4; ++i)
        write_channel(doc, ctx.option_string, "", "N", "1", "");
}

void trace_scan(const std::string &text) {
    OutputDocument doc;
    scan_trace_file(doc, TextFiles(text, {sap_trace_file}), sap_trace_file);
}

void saprfc_ini(const std::string &text) {
    WireEntry entry{};
    wire_read_saprfc_entry(text.data(), text.size(), "PRD", &entry);
    WireEntry words{};
    wire_read_words(text.substr(0, text.find('\0')).c_str(), &words);
}

void reply(const std::string &text) {
    std::int32_t numbers[7];
    char flag[3], written[25];
    RFC_PARAMETER importing[] = {{const_cast<char *>("ACTIVEFLAG"), 10, TYPINT, 4, &numbers[0]},
                                 {const_cast<char *>("F_MEM_ALL_READ"), 14, TYPC, 3, flag},
                                 {const_cast<char *>("LASTCOLLWRT"), 11, TYPC, 25, written},
                                 {const_cast<char *>("INTERVAL"), 8, TYPINT, 4, &numbers[1]},
                                 {}};
    WireTable table{};
    table.line_length = 48;
    RFC_TABLE tables[2] = {};
    tables[0].name = const_cast<char *>("TF_MEM_ALL");
    tables[0].nlen = 10;
    tables[0].ithandle = &table;
    // Lines as the library hands them over: C strings.
    std::vector<std::string> lines = split(text, '\n');
    std::vector<char *> pointers;
    for (std::string &line : lines) {
        line.resize(std::strlen(line.c_str()));
        pointers.push_back(&line[0]);
    }
    char exception[256], message[256];
    RFC_RC rc = 0;
    wire_apply_reply(pointers.data(), pointers.size(), importing, tables, exception,
                     sizeof exception, &rc, message, sizeof message);
    if (std::strlen(exception) >= sizeof exception || table.count > lines.size()) std::abort();
    std::free(table.lines);
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
        close_text(doc, parts[4]);
        write_channel(doc, parts[4], "", parts[1], parts[2], parts[3]);
        write_channel(doc, parts[4], parts[0], parts[1], parts[2], "");
        end_document(doc);
        if (is_xml_mode(mode)) check_xml(doc.text);
    }
    OutputDocument error;
    write_error_document(error, text);
    check_xml(error.text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    switch (data[0] % 10) {
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
    default:
        writers(text);
        break;
    }
    return 0;
}
