#include "output/channel.h"

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
    if (unit == "PerCent" || unit == prtg_percent_unit) return "%";
    return unit;
}

} // namespace

void write_channel(OutputDocument &doc, const std::string &key, const std::string &name,
                   const std::string &value, const std::string &unit, const ChannelLimits *limits) {
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
        if (doc.channel.given) {
            if (doc.channel.number == doc.channel_counter) doc.text += value;
        } else {
            doc.text += "\n> " + name + ": " + value + " " + display_unit(unit);
        }
        break;
    case OutputMode::Json:
        break;
    default:
        doc.text += "\n<Result><Channel>" + xml_escape(name) + "</Channel>";
        if (unit == prtg_percent_unit)
            doc.text += "\n<Unit>Percent</Unit>";
        else if (!unit.empty())
            doc.text += "\n<Unit>Custom</Unit>\n<CustomUnit>" + xml_escape(unit) + "</CustomUnit>";
        doc.text += "\n<Value>" + xml_escape(value) + "</Value>";
        if (limits) doc.text += limit_elements(*limits);
        doc.text += "</Result>\n";
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
