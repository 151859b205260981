#pragma once
#include <string>

#include "output/document.h"
#include "output/json.h"
#include "output/limits.h"

// PRTG's own percent unit; any other unit is a custom one.
constexpr const char *prtg_percent_unit = "Percent";

// Appends one channel in the form of the output mode. Counts every call;
// Tamarack drops every channel after the tenth of the process, and Bramble
// with a channel chosen (doc.channel) writes only the value of that call.
// In the XML modes a channel with limits carries PRTG's limit elements.
void write_channel(OutputDocument &doc, const std::string &key, const std::string &name,
                   const std::string &value, const std::string &unit,
                   const ChannelLimits *limits = nullptr);

// The key as the Tamarack form shows it: the key (or the name when the key
// is empty) with " /\[]-" turned into "_", then the first "." as well.
std::string clean_key(const std::string &key, const std::string &name);

// "1234567" -> "1.234.567"; at most two separators, a minus sign counts as a
// character ("-1234" -> "-1.234", "1234567890" -> "1234.567.890").
std::string group_thousands(const std::string &digits);

// Appends one channel of a Json answer (the Json form of write_channel,
// which writes nothing in that mode).
void write_json_channel(OutputDocument &doc, const JsonChannel &channel);
