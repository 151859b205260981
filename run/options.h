#pragma once
#include <cstddef>
#include <string>

#include "output/document.h"
#include "rfc/connection.h"
#include "rfc/rfc_library.h"

// Every option the sensor knows, with its limits and defaults. A keyword is
// matched anywhere in the upper-cased option text, as the sensor always
// did: ",SYSLOG" inside another word still counts.
constexpr std::size_t max_options = 127; // characters of the command line's options
constexpr unsigned default_timeout_seconds = 55, max_timeout_seconds = 900; // ",TIMEOUT="
constexpr unsigned default_parallel = 8, max_parallel = 64;                 // ",PARALLEL="
constexpr unsigned default_connect_seconds = 5, max_connect_seconds = 60;   // ",CONNECT=", 0: off

// The options of a run, read once from their text: the command line's, or
// a global sensor's own line, which replaces them.
struct RunOptions {
    std::string text;  // as typed; values keep this case
    std::string upper; // the text upper-cased, character for character

    bool timeout_given = false;
    unsigned timeout_seconds = default_timeout_seconds;
    unsigned parallel = default_parallel;               // systems scanned at once in a list run
    unsigned connect_seconds = default_connect_seconds; // the reachability check

    bool syslog = false;         // ",SYSLOG": the program log Ramgauge.Log
    bool progress_marks = false; // "#", "@", "$" or "%": progress lines for runs by hand
    bool own_folder = false;     // "@": the profile is taken from its own folder
    bool item_given = false;     // "ITEM=<item>": one figure for each system of a list
    std::size_t item_at = 0;     // where the item's name begins
    ChannelChoice channel;       // "CH=<n>": one channel only (Bramble mode)
    LogonOverrides overrides;    // ",HOST=" and ",NO="
    bool library_given = false;  // ",RFCLIB=<lib>"
    std::string library;
};

// Reads the options of text. A number that is absent keeps its value in
// fallback; one out of its limits throws NumberedError 1021 (",TIMEOUT="),
// 1028 (",PARALLEL=") or 1009 (",CONNECT="), checked in that order.
RunOptions read_options(const std::string &text, const RunOptions &fallback = RunOptions());

// "CH=" in upper, and the channel number after it: at most three
// characters, up to a comma, converted as atoi does (leading blanks, one
// sign, then digits; none give 0).
ChannelChoice channel_choice(const std::string &upper);

// The value of an option keyword such as ",HOST=": the text after it up to
// the next comma or blank, in the case as typed. upper is text upper-cased,
// character for character. Empty when absent.
std::string option_value(const std::string &upper, const std::string &text, const char *keyword);

// A whole-number option such as ",TIMEOUT=<n>": fallback when the keyword
// is absent, else its value from low to high; leading zeros are allowed.
// Throws NumberedError with error for any other value.
unsigned read_number_option(const std::string &upper, const std::string &text, const char *keyword,
                            unsigned low, unsigned high, unsigned fallback, const char *error);

// Which library ",RFCLIB=" asks for: CLASSIC or NW in any case; absent,
// either (classic first). Throws NumberedError 1010 for any other value,
// when the library is loaded.
RfcLibraryChoice library_choice(const RunOptions &options);
