#include "output/document.h"

#include "output/console.h"

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
    }
    return "EXEXML";
}

bool is_xml_mode(OutputMode mode) {
    return mode == OutputMode::EXEXML || mode == OutputMode::Pinnace || mode == OutputMode::Kestrel;
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
}

void open_text(OutputDocument &doc) {
    doc.text += is_xml_mode(doc.mode) ? "\n<Text>" : "\n# ";
}

void close_text(OutputDocument &doc, const std::string &option_string) {
    if (is_xml_mode(doc.mode))
        doc.text += "</Text>\n";
    else if (doc.mode == OutputMode::Bramble && option_string.find("CH=") != std::string::npos)
        doc.text.clear();
}

void end_document(OutputDocument &doc) {
    doc.text += is_xml_mode(doc.mode) ? "\n</Prtg>\n" : "\n";
}

void append_status_text(OutputDocument &doc, const std::string &text) {
    doc.text += is_xml_mode(doc.mode) ? xml_escape(text) : text;
}

void write_error_document(OutputDocument &doc, const std::string &message) {
    doc.text = "<Prtg>\n<Error>1</Error>\n<Text>" + xml_escape(message) + "</Text>\n</Prtg>\n";
}

void print_document(const OutputDocument &doc) {
    console_write(doc.text);
}

void print_answer(const OutputDocument &doc) {
    console_answer(doc.text);
}
