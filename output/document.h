#pragma once
#include <cstdint>
#include <string>

#include "output/limits.h"

// The answer's flavour, fixed once at start-up. The three XML modes produce
// the same answer; they differ only in how they are selected. Json is PRTG's
// Script v2 answer (output/json.h).
enum class OutputMode { EXEXML, Pinnace, Kestrel, Tamarack, Bramble, Json };

const char *output_mode_name(OutputMode mode);
bool is_xml_mode(OutputMode mode);
// Whether every answer of the mode, errors included, is one document that a
// program reads (the XML modes and Json), not a picture for a console.
bool answers_with_document(OutputMode mode);

// "CH=<n>" of the options: in Bramble mode only the value of channel n.
struct ChannelChoice {
    bool given = false;
    long number = 0; // as atoi reads the (at most three) characters after "CH="
};

// The sensor answer, assembled by appending and printed in one piece.
struct OutputDocument {
    std::string text;
    OutputMode mode = OutputMode::EXEXML;
    // Calls of write_channel since start-up; never reset.
    std::int32_t channel_counter = 0;
    ChannelChoice channel; // from the options
    // Json only: the status text, and the state the answer reports. The
    // channel objects are in text.
    std::string message;
    std::string status = "ok";
    // Json only: the limits that values broke ("; " between them) and the
    // worst state among them, which the answer's state cannot be better than.
    std::string broken_limits;
    LimitState limit_state = LimitState::Ok;
};

// Json only: keeps a broken limit for the answer's state and message.
void note_judgement(OutputDocument &doc, const LimitJudgement &judgement);

// Makes a text fit to stand between XML tags, in pure ASCII: "&", "<" and
// ">" are escaped, a control character other than tab, LF and CR becomes
// "?", and a byte from 0x80 to 0xFF is a character reference to the Latin-1
// character it stands for ("\xFC" becomes "&#252;").
std::string xml_escape(const std::string &text);

// Framing of a complete answer: begin_document, open_text, the status text,
// close_text, the channels, end_document.
void begin_document(OutputDocument &doc);
void open_text(OutputDocument &doc);
// In Bramble mode with a channel chosen ("CH="), empties the document so
// that only the chosen channel survives.
void close_text(OutputDocument &doc);
void end_document(OutputDocument &doc);

// Appends status text, escaped in the XML modes.
void append_status_text(OutputDocument &doc, const std::string &text);

// Begins the document of a list run and returns its header as it is
// printed before the first system; Json prints nothing before the end.
std::string begin_item_document(OutputDocument &doc);
void print_item_header(OutputDocument &doc);
// The state of a list run for a Json answer (json.h: item_status).
void set_item_status(OutputDocument &doc, unsigned processed, unsigned failed);

// Replaces the document with the numbered-error answer (the same in every
// mode). The message is escaped: it may carry paths with "&" or "<".
// In Json mode it is a Json answer with status "error", which keeps the
// channels a list run has measured so far.
void write_error_document(OutputDocument &doc, const std::string &message);

// The error answer that ends a run from outside its own flow (a fatal RFC
// error): in the XML modes, when an item document's header is already out,
// only the rest of the error answer, which closes that document.
void write_closing_error_document(OutputDocument &doc, const std::string &message);

// The exit code that goes with an answer: the given one, except in Json
// mode, where every answer is printed with 0 and carries its state itself.
int answer_exit_code(OutputMode mode, int code);

// Writes the document to standard output as it stands and flushes it:
// print_document for a part of the answer (in Json mode a channel, which is
// held back for the final answer), print_answer for the final one.
void print_document(const OutputDocument &doc);
void print_answer(const OutputDocument &doc);
