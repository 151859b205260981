#include "output/limits.h"

#include <cstddef>

#include "common/numbered_error.h"
#include "output/document.h"

const ChannelLimits *LimitsTable::find(const std::string &name) const {
    for (const auto &channel : channels)
        if (channel.first == name) return &channel.second;
    return nullptr;
}

namespace {

std::string trim(const std::string &text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool same_word(const std::string &a, const char *b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == '\0';
}

// A whole number of at most 15 digits, with an optional sign.
bool read_whole_number(const std::string &text, std::int64_t &value) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at == text.size() || text.size() - at > 15) return false;
    std::int64_t n = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') return false;
        n = n * 10 + (text[at] - '0');
    }
    value = negative ? -n : n;
    return true;
}

class LimitsReader {
  public:
    explicit LimitsReader(const std::string &path) : path_(path) {}

    void line(const std::string &raw, unsigned number) {
        number_ = number;
        std::string text = trim(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#') return;
        if (text[0] == '[') return section(text);
        std::size_t equals = text.find('=');
        if (equals == std::string::npos)
            fail("it is neither a [channel] line, a key = value line nor a comment");
        if (!current_) fail("a key before the first [channel] line");
        setting(trim(text.substr(0, equals)), trim(text.substr(equals + 1)));
    }

    LimitsTable table;

  private:
    [[noreturn]] void fail(const std::string &why) const {
        throw NumberedError("Error 1031: Line " + std::to_string(number_) + " of " + path_ +
                            " cannot be read: " + why + " !");
    }

    void section(const std::string &text) {
        if (text.back() != ']') fail("a [channel] line must end with ]");
        std::string name = trim(text.substr(1, text.size() - 2));
        if (name.empty()) fail("no channel named between [ and ]");
        if (table.find(name)) fail("the channel " + name + " has a section already");
        if (table.channels.size() == max_limit_sections)
            fail("more than " + std::to_string(max_limit_sections) + " channels");
        table.channels.emplace_back(name, ChannelLimits{});
        current_ = &table.channels.back().second;
        seen_.clear();
    }

    void setting(const std::string &key, const std::string &value) {
        struct NumberKey {
            const char *name;
            std::optional<std::int64_t> ChannelLimits::*field;
        };
        static const NumberKey numbers[] = {{"UpperError", &ChannelLimits::upper_error},
                                            {"UpperWarning", &ChannelLimits::upper_warning},
                                            {"LowerWarning", &ChannelLimits::lower_warning},
                                            {"LowerError", &ChannelLimits::lower_error}};
        struct TextKey {
            const char *name;
            std::string ChannelLimits::*field;
        };
        static const TextKey texts[] = {{"ErrorMessage", &ChannelLimits::error_message},
                                        {"WarningMessage", &ChannelLimits::warning_message}};
        for (const NumberKey &k : numbers) {
            if (!same_word(key, k.name)) continue;
            once(k.name);
            std::int64_t n = 0;
            if (!read_whole_number(value, n))
                fail(std::string(k.name) + " must be a whole number, not \"" + value + "\"");
            current_->*k.field = n;
            return;
        }
        for (const TextKey &k : texts) {
            if (!same_word(key, k.name)) continue;
            once(k.name);
            if (value.size() > max_limit_message)
                fail(std::string(k.name) + " is longer than " + std::to_string(max_limit_message) +
                     " characters");
            current_->*k.field = value;
            return;
        }
        fail("unknown key \"" + key +
             "\" (UpperError, UpperWarning, LowerWarning, LowerError, ErrorMessage, "
             "WarningMessage)");
    }

    void once(const char *key) {
        for (const char *seen : seen_)
            if (seen == key) fail(std::string(key) + " is given twice for this channel");
        seen_.push_back(key);
    }

    std::string path_;
    unsigned number_ = 0;
    ChannelLimits *current_ = nullptr;
    std::vector<const char *> seen_;
};

} // namespace

LimitsTable read_limits_file(const std::string &text, const std::string &path) {
    LimitsReader reader(path);
    unsigned number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        reader.line(line, ++number);
        at = end + 1;
    }
    reader.table.present = true;
    return reader.table;
}

std::string limit_elements(const ChannelLimits &l) {
    std::string out;
    auto number = [&out](const char *element, const std::optional<std::int64_t> &value) {
        if (value)
            out +=
                std::string("\n<") + element + ">" + std::to_string(*value) + "</" + element + ">";
    };
    auto text = [&out](const char *element, const std::string &value) {
        if (!value.empty())
            out += std::string("\n<") + element + ">" + xml_escape(value) + "</" + element + ">";
    };
    number("LimitMaxError", l.upper_error);
    number("LimitMaxWarning", l.upper_warning);
    number("LimitMinWarning", l.lower_warning);
    number("LimitMinError", l.lower_error);
    if (out.empty()) return out; // messages alone set no limit
    text("LimitErrorMsg", l.error_message);
    text("LimitWarningMsg", l.warning_message);
    return out + "\n<LimitMode>1</LimitMode>";
}

LimitJudgement judge_value(const ChannelLimits &l, const std::string &channel, std::int64_t value,
                           const std::string &unit) {
    LimitJudgement judgement;
    auto broken = [&](LimitState state, const char *side, const char *kind, std::int64_t limit,
                      const std::string &message) {
        std::string u = unit.empty() ? "" : " " + unit;
        judgement.state = state;
        judgement.text = channel + ": " + std::to_string(value) + u + " is " + side + " the " +
                         kind + " limit of " + std::to_string(limit) + u;
        if (!message.empty()) judgement.text += " (" + message + ")";
    };
    if (l.upper_error && value > *l.upper_error)
        broken(LimitState::Error, "above", "error", *l.upper_error, l.error_message);
    else if (l.lower_error && value < *l.lower_error)
        broken(LimitState::Error, "below", "error", *l.lower_error, l.error_message);
    else if (l.upper_warning && value > *l.upper_warning)
        broken(LimitState::Warning, "above", "warning", *l.upper_warning, l.warning_message);
    else if (l.lower_warning && value < *l.lower_warning)
        broken(LimitState::Warning, "below", "warning", *l.lower_warning, l.warning_message);
    return judgement;
}
