#pragma once
#include <cstdint>
#include <set>
#include <string>

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
// Free", 2 "Pages-In [/Sec]", 3 "Pages-Out [/Sec]", 4 "Physical-Mem Free %")
// in PRTG's own units: free memory in bytes (kilobytes times 1024), free
// swap and free memory in per cent of swap size and physical memory, paging
// as pages per second. False, and no channel, where the
// system gave no value: a negative figure, or no swap size for the per cent.
// Fills kind, value and type; id and name are the caller's.
bool memory_json_channel(int which, const MemoryRecord &record, JsonChannel &channel);

// The Json channel id of an item channel: from its name (FNV-1a, 32 bits)
// into 10 to 2147483647, and on a clash with an id of this run the next free
// one. So a channel keeps its id, and its history, from scan to scan as long
// as its name stays; the list's order counts only between names that clash.
std::int64_t item_channel_id(const std::string &name, std::set<std::int64_t> &used);

// The names of the four channels of the full answer, in its order.
extern const char *const memory_channel_names[4];

// The channel that a limits file adds after the four: free physical memory
// in whole per cent of physical memory (truncated), one figure whose limit
// fits systems of any size. False, and no channel, when SAP reports no
// physical memory (0 or less) or no free memory figure (less than 0).
extern const char *const physical_free_percent_name;
bool physical_free_percentage(const MemoryRecord &record, std::string &percent);

// Free memory in megabytes as the answer shows it ("0" for -1).
std::string free_memory_text(const MemoryRecord &record);

// Whether the answer has a free-swap channel: free memory is known and not 0.
bool swap_channel_written(const MemoryRecord &record);

// Whether a measurement gave figures.
enum class RunStatus { Failed, Measured };

// What one measurement gives: the figures of the table's last line, or a
// failure and its numbered text ("Error 1012: ..." to "Error 1015: ...",
// "Error 1019: ...").
struct Measurement {
    RFC_RC rc = RFC_OK; // the call's result code
    RunStatus status = RunStatus::Failed;
    MemoryRecord figures;
    std::string failure;
};

// Kept across measurements of one process.
struct MeasureState {
    RFC_TYPEHANDLE mem_all_type = 0;
};

// Creates TF_MEM_ALL and calls GET_MEM_ALL. Prints nothing.
Measurement measure_memory(const RfcApi &api, MeasureState &state, RFC_HANDLE handle,
                           const ProgramLog &log);
