#include "output/document.h"

#include "output/console.h"
#include "output/json.h"

const char *output_mode_name(OutputMode mode) {
    switch (mode) {
    case OutputMode::EXEXML:
        return "EXEXML";
    case OutputMode::Pinnace:
        return "Pinnace";
    case OutputMode::Kestrel:
        return "Kestrel";
    case OutputMode::Tamarack:
        return "Tamarack";
    case OutputMode::Bramble:
        return "Bramble";
    case OutputMode::Json:
        return "Json";
    }
    return "EXEXML";
}

bool is_xml_mode(OutputMode mode) {
    return mode == OutputMode::EXEXML || mode == OutputMode::Pinnace || mode == OutputMode::Kestrel;
}

bool answers_with_document(OutputMode mode) {
    return is_xml_mode(mode) || mode == OutputMode::Json;
}

std::string xml_escape(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\t':
        case '\n':
        case '\r':
            out += c;
            break;
        default: {
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte >= 0x80)
                out += "&#" + std::to_string(byte) + ";";
            else if (byte < 0x20 || byte == 0x7f)
                out += '?';
            else
                out += c;
        }
        }
    }
    return out;
}

void begin_document(OutputDocument &doc) {
    doc.text = is_xml_mode(doc.mode) ? "\n<Prtg>\n" : "";
    doc.message.clear();
    doc.status = "ok";
    doc.broken_limits.clear();
    doc.limit_state = LimitState::Ok;
}

void note_judgement(OutputDocument &doc, const LimitJudgement &judgement) {
    if (judgement.state == LimitState::Ok) return;
    doc.broken_limits += (doc.broken_limits.empty() ? "" : "; ") + judgement.text;
    if (judgement.state > doc.limit_state) doc.limit_state = judgement.state;
}

void open_text(OutputDocument &doc) {
    if (doc.mode == OutputMode::Json)
        doc.message.clear();
    else
        doc.text += is_xml_mode(doc.mode) ? "\n<Text>" : "\n# ";
}

void close_text(OutputDocument &doc) {
    if (doc.mode == OutputMode::Json) return;
    if (is_xml_mode(doc.mode))
        doc.text += "</Text>\n";
    else if (doc.mode == OutputMode::Bramble && doc.channel.given)
        doc.text.clear();
}

namespace {

// The channels a list run holds back, followed by those of the document.
std::string all_channels(const std::string &own) {
    const std::string &held = console_held();
    return held + (held.empty() || own.empty() ? "" : ",") + own;
}

} // namespace

void end_document(OutputDocument &doc) {
    if (doc.mode != OutputMode::Json) {
        doc.text += is_xml_mode(doc.mode) ? "\n</Prtg>\n" : "\n";
        return;
    }
    std::string status = doc.status;
    if (doc.limit_state == LimitState::Error)
        status = "error";
    else if (doc.limit_state == LimitState::Warning && status == "ok")
        status = "warning";
    std::string message =
        doc.broken_limits.empty() ? doc.message : doc.broken_limits + " - " + doc.message;
    if (unsigned dropped = console_held_dropped())
        message += "(" + std::to_string(dropped) + " more channels left out: at most " +
                   std::to_string(json_max_channels) + ") ";
    doc.text = json_answer(status, message, all_channels(doc.text));
}

void append_status_text(OutputDocument &doc, const std::string &text) {
    if (doc.mode == OutputMode::Json)
        doc.message += text;
    else
        doc.text += is_xml_mode(doc.mode) ? xml_escape(text) : text;
}

std::string begin_item_document(OutputDocument &doc) {
    begin_document(doc);
    std::string header = doc.mode == OutputMode::Json ? "" : doc.text + "\n";
    doc.text.clear();
    return header;
}

void print_item_header(OutputDocument &doc) {
    std::string header = begin_item_document(doc);
    if (!header.empty()) console_write(header, true);
}

void set_item_status(OutputDocument &doc, unsigned processed, unsigned failed) {
    doc.status = item_status(processed, failed);
}

void write_error_document(OutputDocument &doc, const std::string &message) {
    if (doc.mode == OutputMode::Json) {
        doc.text = json_answer("error", message, all_channels(""));
        return;
    }
    doc.text = "<Prtg>\n<Error>1</Error>\n<Text>" + xml_escape(message) + "</Text>\n</Prtg>\n";
}

void write_closing_error_document(OutputDocument &doc, const std::string &message) {
    write_error_document(doc, message);
    if (is_xml_mode(doc.mode) && console_document_open())
        doc.text.erase(0, doc.text.find("<Error>"));
}

int answer_exit_code(OutputMode mode, int code) {
    return mode == OutputMode::Json ? 0 : code;
}

void print_document(const OutputDocument &doc) {
    if (doc.mode != OutputMode::Json)
        console_write(doc.text);
    else if (!doc.text.empty())
        console_hold(doc.text);
}

void print_answer(const OutputDocument &doc) {
    console_answer(doc.text);
}
