#include "run/options.h"

#include <cstdlib>

#include "common/numbered_error.h"
#include "common/text.h"

namespace {

bool given(const std::string &upper, const char *keyword) {
    return upper.find(keyword) != std::string::npos;
}

} // namespace

ChannelChoice channel_choice(const std::string &upper) {
    ChannelChoice choice;
    std::string::size_type at = upper.find("CH=");
    if (at == std::string::npos) return choice;
    std::string number = upper.substr(at + 3, 3);
    std::string::size_type comma = number.find(',');
    if (comma != std::string::npos) number.erase(comma);
    choice.given = true;
    choice.number = std::atoi(number.c_str());
    return choice;
}

std::string option_value(const std::string &upper, const std::string &text, const char *keyword) {
    std::string::size_type at = upper.find(keyword);
    if (at == std::string::npos) return "";
    std::string value;
    for (std::size_t i = at + std::char_traits<char>::length(keyword);
         i < upper.size() && upper[i] != ',' && upper[i] != ' '; ++i)
        value += i < text.size() ? text[i] : upper[i];
    return value;
}

unsigned read_number_option(const std::string &upper, const std::string &text, const char *keyword,
                            unsigned low, unsigned high, unsigned fallback, const char *error) {
    if (!given(upper, keyword)) return fallback;
    std::string value = option_value(upper, text, keyword);
    // The value stops counting once it is out of range, so that no length
    // of digits can overflow.
    unsigned number = 0;
    bool valid = !value.empty();
    for (char c : value) {
        if (c < '0' || c > '9')
            valid = false;
        else if (number <= high)
            number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (!valid || number < low || number > high) throw NumberedError(error);
    return number;
}

RunOptions read_options(const std::string &text, const RunOptions &fallback) {
    RunOptions o;
    o.text = text;
    o.upper = upper_ascii(text);
    const std::string &u = o.upper;
    o.timeout_given = given(u, ",TIMEOUT=");
    o.timeout_seconds =
        read_number_option(u, text, ",TIMEOUT=", 1, max_timeout_seconds, fallback.timeout_seconds,
                           "Error 1021: Invalid value for ,TIMEOUT= (1 to 900 seconds) !");
    o.parallel = read_number_option(u, text, ",PARALLEL=", 1, max_parallel, fallback.parallel,
                                    "Error 1028: Invalid value for ,PARALLEL= (1 to 64) !");
    o.connect_seconds =
        read_number_option(u, text, ",CONNECT=", 0, max_connect_seconds, fallback.connect_seconds,
                           "Error 1009: Invalid value for ,CONNECT= (0 to 60 seconds) !");
    o.syslog = given(u, ",SYSLOG");
    o.own_folder = given(u, "@");
    o.progress_marks = given(u, "#") || o.own_folder || given(u, "$") || given(u, "%");
    std::string::size_type item = u.find("ITEM=");
    o.item_given = item != std::string::npos;
    if (o.item_given) o.item_at = item + 5;
    o.channel = channel_choice(u);
    o.overrides.host = option_value(u, text, ",HOST=");
    o.overrides.sysnr = option_value(u, text, ",NO=");
    o.library_given = given(u, ",RFCLIB=");
    o.library = option_value(u, text, ",RFCLIB=");
    return o;
}

RfcLibraryChoice library_choice(const RunOptions &options) {
    if (!options.library_given) return RfcLibraryChoice::Either;
    std::string upper = upper_ascii(options.library);
    if (upper == "CLASSIC") return RfcLibraryChoice::Classic;
    if (upper == "NW") return RfcLibraryChoice::NetWeaver;
    throw NumberedError("Error 1010: ,RFCLIB=" + options.library +
                        " names no RFC library; use ,RFCLIB=CLASSIC or ,RFCLIB=NW !");
}
