#pragma once
#include <cstdint>
#include <string>

#include "output/document.h"
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
};

// Creates TF_MEM_ALL, calls GET_MEM_ALL and writes the full answer (or, in
// item mode, prints the item's channel). On failure appends "Error 10xx" text
// to the document. Returns the call's result code.
RFC_RC measure_memory(const RfcApi &api, MeasureState &state, RFC_HANDLE handle,
                      OutputDocument &doc, const MeasureRequest &request);
