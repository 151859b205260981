#pragma once
#include <cstdint>
#include <string>

// The answer's flavour, fixed once at start-up. The three XML modes produce
// the same answer; they differ only in how they are selected.
enum class OutputMode { EXEXML, Pinnace, Kestrel, Tamarack, Bramble };

const char *output_mode_name(OutputMode mode);
bool is_xml_mode(OutputMode mode);

// The sensor answer, assembled by appending and printed in one piece.
struct OutputDocument {
    std::string text;
    OutputMode mode = OutputMode::EXEXML;
    // Calls of write_channel since start-up; never reset.
    std::int32_t channel_counter = 0;
};

// Makes a text fit to stand between XML tags, in pure ASCII: "&", "<" and
// ">" are escaped, a control character other than tab, LF and CR becomes
// "?", and a byte from 0x80 to 0xFF is a character reference to the Latin-1
// character it stands for ("\xFC" becomes "&#252;").
std::string xml_escape(const std::string &text);

// Framing of a complete answer: begin_document, open_text, the status text,
// close_text, the channels, end_document.
void begin_document(OutputDocument &doc);
void open_text(OutputDocument &doc);
// In Bramble mode with "CH=" in the (upper-cased) option string, empties the
// document so that only the selected channel survives.
void close_text(OutputDocument &doc, const std::string &option_string);
void end_document(OutputDocument &doc);

// Appends status text, escaped in the XML modes.
void append_status_text(OutputDocument &doc, const std::string &text);

// Replaces the document with the numbered-error answer (the same in every
// mode). The message is escaped: it may carry paths with "&" or "<".
void write_error_document(OutputDocument &doc, const std::string &message);

// Writes the document to standard output as it stands and flushes it:
// print_document for a part of the answer, print_answer for the final one.
void print_document(const OutputDocument &doc);
void print_answer(const OutputDocument &doc);
