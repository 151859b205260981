#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Channel limits from the limits file (Ramgauge.Limits): PRTG takes them
// from an XML answer when it creates a channel; in Json mode, where a
// Script v2 answer carries no limits, the sensor judges the values itself.
//
// The file is plain text, one section per channel:
//
//   ; a comment (so is a line that starts with "#")
//   [Physical-Mem Free %]
//   LowerWarning = 10
//   LowerError   = 5
//   WarningMessage = Little free memory
//
// A section is named by the channel's name as the answer shows it (in a
// list run: a system's label, or the item). Keys, in any case: UpperError,
// UpperWarning, LowerWarning, LowerError (whole numbers in the channel's
// unit, as the XML channel shows it), ErrorMessage, WarningMessage (text).

// The largest limits file read: a few sections of a few lines each.
constexpr long long max_limits_file_size = 64 * 1024;
// Longest message text, and the number of sections, accepted.
constexpr std::size_t max_limit_message = 200;
constexpr std::size_t max_limit_sections = 256;

struct ChannelLimits {
    std::optional<std::int64_t> upper_error, upper_warning, lower_warning, lower_error;
    std::string error_message, warning_message;
};

// The limits of a run: present when the limits file was found, with its
// sections in the file's order.
struct LimitsTable {
    bool present = false;
    std::vector<std::pair<std::string, ChannelLimits>> channels;
    // The section named name exactly (case and blanks count), or nullptr.
    const ChannelLimits *find(const std::string &name) const;
};

// Reads a limits file's text. Throws NumberedError 1031 naming path and the
// line for anything it cannot take: an unknown key, a number that is not a
// whole number, a key twice, a section twice, a key outside a section, a
// message too long, too many sections. Never ignores a line silently.
LimitsTable read_limits_file(const std::string &text, const std::string &path);

// PRTG's limit elements of an XML result, in the order its EXE/XML
// documentation lists them (LimitMaxError, LimitMaxWarning,
// LimitMinWarning, LimitMinError, LimitErrorMsg, LimitWarningMsg,
// LimitMode), each on a line of its own; empty when the channel has none.
std::string limit_elements(const ChannelLimits &limits);

// How a value stands against a channel's limits, as PRTG judges them: a
// value above an upper or below a lower limit breaks it; an error limit
// counts before a warning limit.
enum class LimitState { Ok, Warning, Error };
struct LimitJudgement {
    LimitState state = LimitState::Ok;
    std::string text; // for a broken limit: the channel, value and limit
};
LimitJudgement judge_value(const ChannelLimits &limits, const std::string &channel,
                           std::int64_t value, const std::string &unit);
