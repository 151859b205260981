#pragma once
#include <cstdint>
#include <string>

#include "output/document.h"

// How the systems of a list came out: each system counts in NoSystems, and
// in Processed or Failed unless it has no profile.
struct SystemCounters {
    std::uint32_t NoSystems = 0, Processed = 0, Failed = 0;
};

// The summary that ends the document of a list, at its end and in the late
// answer alike: "(***) <item>: NoSystems=.., Processed=.., Failed=.. ", with
// "Timeout after <n> seconds " when late_seconds is above 0; the list's
// state, and the document's end.
void write_item_summary(OutputDocument &doc, const std::string &item_name,
                        const SystemCounters &count, unsigned late_seconds = 0);
