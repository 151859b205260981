#pragma once
#include <cstdint>
#include <string>

// PRTG's Script v2 answer: one JSON object of pure ASCII with "version" 2, a
// "status" ("ok", "warning" or "error"), a "message" of at most 2000
// characters and at most 50 channels, each with an id from 10 upwards.

constexpr std::size_t json_max_message = 2000;
constexpr std::size_t json_max_channels = 50;
constexpr std::int64_t json_min_channel_id = 10;
constexpr std::int64_t json_max_channel_id = 2147483647;

// A JSON string literal, quotes included, of pure ASCII: a byte from 0x80 to
// 0xFF is the escape of the Latin-1 character it stands for ("\u00fc"), a
// control character other than tab, LF and CR becomes "?", as in the XML
// modes, and the text is cut to max_chars characters.
std::string json_string(const std::string &text, std::size_t max_chars = std::string::npos);

// One channel. The value is a JSON number already; kind is one of PRTG's
// channel kinds, and a "custom" kind names its unit in display_unit.
struct JsonChannel {
    std::int64_t id = 0;
    std::string name;
    bool is_float = false;
    std::string value;
    std::string kind;
    std::string display_unit;
};

// The channel as a JSON object.
std::string json_channel(const JsonChannel &channel);

// The whole answer; channels is a comma-separated list of channel objects
// (at most json_max_channels of them), empty for none.
std::string json_answer(const std::string &status, const std::string &message,
                        const std::string &channels);

// The list run's state: "error" when every system that was tried failed,
// "warning" when some did, "ok" otherwise.
const char *item_status(unsigned processed, unsigned failed);
