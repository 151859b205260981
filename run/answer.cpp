#include "run/answer.h"

#include "output/channel.h"

namespace {

void write_json_channels(OutputDocument &doc, const MemoryRecord &r) {
    for (int which = 0; which < 4; ++which) {
        JsonChannel channel;
        if (!memory_json_channel(which, r, channel)) continue;
        // Fixed ids, so that PRTG keeps each channel's history.
        channel.id = json_min_channel_id + which;
        channel.name = memory_channel_names[which];
        write_json_channel(doc, channel);
    }
}

} // namespace

void write_memory_answer(OutputDocument &doc, const std::string &destination,
                         const MemoryRecord &r) {
    begin_document(doc);
    open_text(doc);
    append_status_text(doc, memory_status_line(destination, r));
    close_text(doc);
    if (doc.mode == OutputMode::Json) {
        write_json_channels(doc, r);
        end_document(doc);
        return;
    }
    const char *const *names = memory_channel_names;
    write_channel(doc, "", names[0], free_memory_text(r), "MByte");
    if (swap_channel_written(r)) write_channel(doc, "", names[1], swap_percentage(r), "PerCent");
    write_channel(doc, "", names[2], std::to_string(r.in_pg_sec), "");
    write_channel(doc, "", names[3], std::to_string(r.out_pg_sec), "");
    end_document(doc);
}

void print_item_answer(OutputDocument &doc, std::set<std::int64_t> &channel_ids,
                       const std::string &item, const std::string &label, const MemoryRecord &r) {
    doc.text.clear();
    const char *const *names = memory_channel_names;
    if (doc.mode == OutputMode::Json) {
        int which = 0;
        while (which < 4 && item != names[which])
            ++which;
        if (which == 4) return;
        JsonChannel channel;
        // The id is taken even for a value left out, so that it stays the
        // same for the names after it.
        channel.id = item_channel_id(label, channel_ids);
        channel.name = label;
        if (!memory_json_channel(which, r, channel)) return;
        write_json_channel(doc, channel);
        print_document(doc);
        doc.text.clear();
        return;
    }
    if (item == names[0])
        write_channel(doc, label, label, free_memory_text(r), "MByte");
    else if (item == names[1] && swap_channel_written(r))
        write_channel(doc, label, label, swap_percentage(r), "PerCent");
    else if (item == names[2])
        write_channel(doc, label, label, std::to_string(r.in_pg_sec), "");
    else if (item == names[3])
        write_channel(doc, label, label, std::to_string(r.out_pg_sec), "");
    else
        return;
    print_document(doc);
    doc.text.clear();
}
