#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "output/document.h"
#include "output/json.h"
#include "rfc/failure.h"
#include "rfc/rfc_library.h"

// The figures of one TF_MEM_ALL line that the answer uses.
struct MemoryRecord {
    std::int32_t in_pg_sec = 0, out_pg_sec = 0, free_mem = 0, phys_mem = 0, swap_free = 0,
                 swap_size = 0;
};

// Reads a 48-byte line field by field as little-endian signed integers.
MemoryRecord read_memory_record(const unsigned char *line);

// Kilobytes as megabytes by cutting three decimal digits; "0" when nothing
// would be left.
std::string megabyte_text(std::int32_t kilobytes);

// Free swap in per cent of the swap size, as an unsigned decimal.
std::string swap_percentage(const MemoryRecord &record);

// The status line: "(PRD) Memory=16.777 MB, Free=... PageOut=0 ".
std::string memory_status_line(const std::string &destination, const MemoryRecord &record);

// The Json form of channel which (0 "Physical-Mem Free", 1 "SwapMemory
// Free", 2 "Pages-In [/Sec]", 3 "Pages-Out [/Sec]") in PRTG's own units:
// free memory in bytes (kilobytes times 1024), free swap in per cent of the
// swap size, paging as pages per second. False, and no channel, where the
// system gave no value: a negative figure, or no swap size for the per cent.
// Fills kind, value and type; id and name are the caller's.
bool memory_json_channel(int which, const MemoryRecord &record, JsonChannel &channel);

// The Json channel id of an item channel: from its name (FNV-1a, 32 bits)
// into 10 to 2147483647, and on a clash with an id of this run the next free
// one. So a channel keeps its id, and its history, from scan to scan as long
// as its name stays; the list's order counts only between names that clash.
std::int64_t item_channel_id(const std::string &name, std::set<std::int64_t> &used);

// What one measurement needs to know about the run.
struct MeasureRequest {
    const std::string &option_string;
    const RfcTrace &trace;
    bool item_mode;
    const std::string &item_name;
    const std::string &item_channel_label;
    const std::string &destination;
};

// Kept across measurements of one process.
struct MeasureState {
    RFC_TYPEHANDLE mem_all_type = 0;
    std::string run_status = "ERR"; // "OK" after a successful measurement
    bool item_answered = false;
    std::set<std::int64_t> item_channel_ids; // Json ids given in this run
};

// Creates TF_MEM_ALL, calls GET_MEM_ALL and writes the full answer (or, in
// item mode, prints the item's channel). On failure appends "Error 10xx" text
// to the document. Returns the call's result code.
RFC_RC measure_memory(const RfcApi &api, MeasureState &state, RFC_HANDLE handle,
                      OutputDocument &doc, const MeasureRequest &request);
