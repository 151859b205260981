#include "run/answer.h"

#include <cstdlib>

#include "output/channel.h"

namespace {

// The channels of an answer: the four of the full answer and, with a limits
// file, the free percentage after them.
constexpr int channel_count = 5;
constexpr int percentage_channel = 4;

// The percentage item as a command line can name it: there "%" asks for
// progress lines.
constexpr const char *percentage_item_word = "Physical-Mem Free Percent";

const char *channel_name(int which) {
    return which == percentage_channel ? physical_free_percent_name : memory_channel_names[which];
}

// Channel which as the XML and text modes show it: false when the answer
// has no such channel for these figures; otherwise its value (a whole
// number) and unit.
bool text_channel(int which, const MemoryRecord &r, bool with_percentage, std::string &value,
                  const char *&unit) {
    unit = "";
    switch (which) {
    case 0:
        value = free_memory_text(r);
        unit = "MByte";
        return true;
    case 1:
        value = swap_percentage(r);
        unit = "PerCent";
        return swap_channel_written(r);
    case 2:
        value = std::to_string(r.in_pg_sec);
        return true;
    case 3:
        value = std::to_string(r.out_pg_sec);
        return true;
    default:
        unit = prtg_percent_unit;
        return with_percentage && physical_free_percentage(r, value);
    }
}

// Json answers carry no limits: the sensor judges a value itself, against
// the number the XML answer would show, so that a limit means the same in
// every mode.
void judge_json_channel(OutputDocument &doc, const ChannelLimits *limits, int which,
                        const std::string &name, const MemoryRecord &r) {
    if (!limits) return;
    std::string value;
    const char *unit = "";
    // Written in the XML answer or not, the value is the one it would show.
    text_channel(which, r, true, value, unit);
    std::string shown = unit[0] == '\0' ? "" : (unit == std::string("MByte") ? "MByte" : "%");
    note_judgement(doc,
                   judge_value(*limits, name, std::strtoll(value.c_str(), nullptr, 10), shown));
}

void write_json_channels(OutputDocument &doc, const MemoryRecord &r, const LimitsTable &limits) {
    int count = limits.present ? channel_count : channel_count - 1;
    for (int which = 0; which < count; ++which) {
        JsonChannel channel;
        if (!memory_json_channel(which, r, channel)) continue;
        // Fixed ids, so that PRTG keeps each channel's history.
        channel.id = json_min_channel_id + which;
        channel.name = channel_name(which);
        write_json_channel(doc, channel);
        judge_json_channel(doc, limits.find(channel.name), which, channel.name, r);
    }
}

} // namespace

void write_memory_answer(OutputDocument &doc, const std::string &destination, const MemoryRecord &r,
                         const LimitsTable &limits) {
    begin_document(doc);
    open_text(doc);
    append_status_text(doc, memory_status_line(destination, r));
    close_text(doc);
    if (doc.mode == OutputMode::Json) {
        write_json_channels(doc, r, limits);
        end_document(doc);
        return;
    }
    for (int which = 0; which < channel_count; ++which) {
        std::string value;
        const char *unit = "";
        if (text_channel(which, r, limits.present, value, unit))
            write_channel(doc, "", channel_name(which), value, unit,
                          limits.find(channel_name(which)));
    }
    end_document(doc);
}

void print_item_answer(OutputDocument &doc, std::set<std::int64_t> &channel_ids,
                       const std::string &item, const std::string &label, const MemoryRecord &r,
                       const LimitsTable &limits) {
    doc.text.clear();
    int which = 0;
    int count = limits.present ? channel_count : channel_count - 1;
    while (which < count && item != channel_name(which) &&
           !(which == percentage_channel && item == percentage_item_word))
        ++which;
    if (which == count) return;
    // A system's own section comes before the item's.
    const ChannelLimits *own = limits.find(label);
    if (!own) own = limits.find(item);
    if (!own) own = limits.find(channel_name(which));
    if (doc.mode == OutputMode::Json) {
        JsonChannel channel;
        // The id is taken even for a value left out, so that it stays the
        // same for the names after it.
        channel.id = item_channel_id(label, channel_ids);
        channel.name = label;
        if (!memory_json_channel(which, r, channel)) return;
        write_json_channel(doc, channel);
        judge_json_channel(doc, own, which, label, r);
        print_document(doc);
        doc.text.clear();
        return;
    }
    std::string value;
    const char *unit = "";
    if (!text_channel(which, r, limits.present, value, unit)) return;
    write_channel(doc, label, label, value, unit, own);
    print_document(doc);
    doc.text.clear();
}
