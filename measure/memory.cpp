#include "measure/memory.h"

#include <cstdio>

#include "measure/get_mem_all.h"
#include "output/channel.h"

namespace {

std::int32_t int32_at(const unsigned char *line, std::size_t offset) {
    std::uint32_t value = static_cast<std::uint32_t>(line[offset]) |
                          static_cast<std::uint32_t>(line[offset + 1]) << 8 |
                          static_cast<std::uint32_t>(line[offset + 2]) << 16 |
                          static_cast<std::uint32_t>(line[offset + 3]) << 24;
    return static_cast<std::int32_t>(value);
}

// A Json percentage channel: part in per cent of whole, two decimals; false
// without a whole above 0 or a part of 0 or more.
bool json_percentage(std::int32_t part, std::int32_t whole, JsonChannel &channel) {
    if (whole <= 0 || part < 0) return false;
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.2f", part * 100.0 / whole);
    channel.kind = "percent";
    channel.is_float = true;
    channel.value = percent;
    return true;
}

[[noreturn]] void fatal(const char *operation) {
    std::string text = operation;
    fatal_rfc_error(&text[0]);
}

} // namespace

const char *const memory_channel_names[4] = {"Physical-Mem Free", "SwapMemory Free",
                                             "Pages-In [/Sec]", "Pages-Out [/Sec]"};

const char *const physical_free_percent_name = "Physical-Mem Free %";

bool physical_free_percentage(const MemoryRecord &r, std::string &percent) {
    if (r.phys_mem <= 0 || r.free_mem < 0) return false;
    percent = std::to_string(static_cast<std::int64_t>(r.free_mem) * 100 / r.phys_mem);
    return true;
}

MemoryRecord read_memory_record(const unsigned char *line) {
    MemoryRecord r;
    r.in_pg_sec = int32_at(line, 8);
    r.out_pg_sec = int32_at(line, 12);
    r.free_mem = int32_at(line, 24);
    r.phys_mem = int32_at(line, 28);
    r.swap_free = int32_at(line, 36);
    r.swap_size = int32_at(line, 40);
    return r;
}

std::string megabyte_text(std::int32_t kilobytes) {
    // The sign does not count as a digit: -123 KB is "0", -1234 KB is "-1".
    std::int64_t value = kilobytes;
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() <= 3) return "0";
    return (value < 0 ? "-" : "") + digits.substr(0, digits.size() - 3);
}

std::string swap_percentage(const MemoryRecord &record) {
    std::int64_t divisor = record.swap_size / 100;
    if (divisor == 0) divisor = 1;
    std::int64_t percent = static_cast<std::int64_t>(record.swap_free) / divisor;
    return std::to_string(static_cast<std::uint32_t>(percent));
}

std::string free_memory_text(const MemoryRecord &r) {
    return r.free_mem == -1 ? "0" : megabyte_text(r.free_mem);
}

bool swap_channel_written(const MemoryRecord &r) {
    return r.free_mem != -1 && r.free_mem != 0;
}

std::string memory_status_line(const std::string &destination, const MemoryRecord &r) {
    std::string swap = r.swap_size == -1 ? "0" : megabyte_text(r.swap_size);
    std::string line =
        "(" + destination + ") Memory=" + group_thousands(megabyte_text(r.phys_mem)) +
        " MB, Free=" + group_thousands(free_memory_text(r)) + " MB, Swap=" + group_thousands(swap);
    if (r.swap_size != -1 && r.swap_size != 0) line += " MB, Free=" + swap_percentage(r) + "%";
    line += ", PageIn=" + group_thousands(std::to_string(r.in_pg_sec)) +
            ", PageOut=" + group_thousands(std::to_string(r.out_pg_sec)) + " ";
    return line;
}

bool memory_json_channel(int which, const MemoryRecord &r, JsonChannel &channel) {
    channel.is_float = false;
    channel.display_unit.clear();
    switch (which) {
    case 0:
        if (r.free_mem < 0) return false;
        channel.kind = "size_bytes_memory";
        channel.value = std::to_string(static_cast<std::int64_t>(r.free_mem) * 1024);
        return true;
    case 1:
        return json_percentage(r.swap_free, r.swap_size, channel);
    case 2:
    case 3: {
        std::int32_t pages = which == 2 ? r.in_pg_sec : r.out_pg_sec;
        if (pages < 0) return false;
        channel.kind = "custom";
        channel.display_unit = "pages/s";
        channel.value = std::to_string(pages);
        return true;
    }
    case 4:
        return json_percentage(r.free_mem, r.phys_mem, channel);
    default:
        return false;
    }
}

std::int64_t item_channel_id(const std::string &name, std::set<std::int64_t> &used) {
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    const std::int64_t span = json_max_channel_id - json_min_channel_id + 1;
    std::int64_t id = json_min_channel_id + static_cast<std::int64_t>(hash) % span;
    while (used.count(id))
        id = id == json_max_channel_id ? json_min_channel_id : id + 1;
    used.insert(id);
    return id;
}

Measurement measure_memory(const RfcApi &api, MeasureState &state, RFC_HANDLE handle,
                           const ProgramLog &log) {
    ITAB_H table = api.ItCreate("TF_MEM_ALL", mem_all_line_length, 0, 0);
    if (!table) fatal("ItCreate TF_MEM_ALL");

    const char local_remote[6] = {'L', 'O', 'C', 'A', 'L', ' '};
    char logical_destination[32];
    std::fill(logical_destination, logical_destination + 32, ' ');
    GetMemAllImports imports;
    std::string exception_text;
    Measurement m;
    m.rc = call_get_mem_all(api, state.mem_all_type, handle, local_remote, logical_destination,
                            imports, table, exception_text, log);
    switch (m.rc) {
    case RFC_OK: {
        const unsigned char *last = nullptr;
        for (unsigned line = 1; line <= api.ItFill(table); ++line) {
            last = static_cast<const unsigned char *>(api.ItGetLine(table, line));
            if (!last) fatal("ItGetLine TF_MEM_ALL");
        }
        if (!last) {
            m.failure = "Error 1019: No memory data received from GET_MEM_ALL !";
            break;
        }
        m.status = RunStatus::Measured;
        m.figures = read_memory_record(last);
        break;
    }
    case RFC_FAILURE:
        m.failure = "Error 1014: RFC-Failure raised !";
        break;
    case RFC_EXCEPTION:
        m.failure = "Error 1012: Exception.: " + exception_text;
        break;
    case RFC_SYS_EXCEPTION:
        m.failure = "Error 1013: Sys-Exception raised !";
        break;
    default:
        m.failure = "Error 1015: Other Failure raised !";
        break;
    }
    if (api.ItDelete(table) != 0) fatal("ItDelete TF_MEM_ALL");
    return m;
}
