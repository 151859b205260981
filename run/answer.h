#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "measure/memory.h"
#include "output/document.h"
#include "output/limits.h"

// The full answer of one system: the status line and the four channels
// (in Json, those the system gave figures for, with fixed ids). With a
// limits file, the free percentage follows them, and each channel carries
// its limits (in Json, the answer's state and message judge the values).
void write_memory_answer(OutputDocument &doc, const std::string &destination,
                         const MemoryRecord &figures, const LimitsTable &limits);

// Prints the channel of one system of a list: the item's figure under the
// system's label (in Json mode held back for the summary, with an id from
// the label that channel_ids has not given yet). Nothing for an item that
// names no channel, or a figure the system did not give. With a limits
// file the item may name the free percentage too ("Physical-Mem Free %",
// or "Physical-Mem Free Percent" on a command line, where "%" asks for
// progress lines), and the channel carries the limits of the label's
// section, or else of the item's.
void print_item_answer(OutputDocument &doc, std::set<std::int64_t> &channel_ids,
                       const std::string &item, const std::string &label,
                       const MemoryRecord &figures, const LimitsTable &limits);
