#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "measure/memory.h"
#include "output/document.h"

// The full answer of one system: the status line and the four channels
// (in Json, those the system gave figures for, with fixed ids).
void write_memory_answer(OutputDocument &doc, const std::string &destination,
                         const MemoryRecord &figures);

// Prints the channel of one system of a list: the item's figure under the
// system's label (in Json mode held back for the summary, with an id from
// the label that channel_ids has not given yet). Nothing for an item that
// names no channel, or a figure the system did not give.
void print_item_answer(OutputDocument &doc, std::set<std::int64_t> &channel_ids,
                       const std::string &item, const std::string &label,
                       const MemoryRecord &figures);
