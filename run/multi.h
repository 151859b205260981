#pragma once
#include <cstdint>

#include "common/files.h"
#include "config/global_sensor.h"
#include "run/context.h"

struct SystemCounters {
    std::uint32_t NoSystems = 0, Processed = 0, Failed = 0;
};

// Scans every system of the list and reports the item for each, then the
// summary. Always returns 0; a fatal RFC error ends the process with 1.
int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);
