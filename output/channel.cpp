#include "output/channel.h"

#include <cstdlib>

std::string clean_key(const std::string &key, const std::string &name) {
    std::string cleaned = key.empty() ? name : key;
    for (char &c : cleaned)
        if (c == ' ' || c == '/' || c == '\\' || c == '[' || c == ']' || c == '-') c = '_';
    std::string::size_type dot = cleaned.find('.');
    if (dot != std::string::npos) cleaned[dot] = '_';
    return cleaned;
}

namespace {

std::string display_unit(const std::string &unit) {
    if (unit.empty()) return "#";
    if (unit == "PerCent") return "%";
    return unit;
}

// The channel number after "CH=": at most three characters, up to a comma,
// converted as atoi does (leading blanks, one sign, then digits; none give 0).
long selected_channel(const std::string &option_string) {
    std::string::size_type at = option_string.find("CH=");
    std::string number = option_string.substr(at + 3, 3);
    std::string::size_type comma = number.find(',');
    if (comma != std::string::npos) number.erase(comma);
    return std::atoi(number.c_str());
}

} // namespace

void write_channel(OutputDocument &doc, const std::string &option_string, const std::string &key,
                   const std::string &name, const std::string &value, const std::string &unit) {
    ++doc.channel_counter;
    switch (doc.mode) {
    case OutputMode::Tamarack: {
        if (doc.channel_counter > 10) return;
        std::string cleaned = clean_key(key, name);
        doc.text += "\n\nMessage." + cleaned + ": " + name + " (" + display_unit(unit) + ")" +
                    "\nStatistic." + cleaned + ": " + value;
        break;
    }
    case OutputMode::Bramble:
        if (option_string.find("CH=") != std::string::npos) {
            if (selected_channel(option_string) == doc.channel_counter) doc.text += value;
        } else {
            doc.text += "\n> " + name + ": " + value + " " + display_unit(unit);
        }
        break;
    case OutputMode::Json:
        break;
    default:
        doc.text += "\n<Result><Channel>" + xml_escape(name) + "</Channel>";
        if (!unit.empty())
            doc.text += "\n<Unit>Custom</Unit>\n<CustomUnit>" + xml_escape(unit) + "</CustomUnit>";
        doc.text += "\n<Value>" + xml_escape(value) + "</Value></Result>\n";
        break;
    }
}

std::string group_thousands(const std::string &digits) {
    std::string::size_type n = digits.size();
    if (n <= 3) return digits;
    if (n <= 6) return digits.substr(0, n - 3) + "." + digits.substr(n - 3);
    return digits.substr(0, n - 6) + "." + digits.substr(n - 6, 3) + "." + digits.substr(n - 3);
}

void write_json_channel(OutputDocument &doc, const JsonChannel &channel) {
    doc.text += (doc.text.empty() ? "" : ",") + json_channel(channel);
}
