#pragma once
#include "common/files.h"
#include "config/global_sensor.h"
#include "run/context.h"

// Scans the systems of the list up to ctx.parallel at once, each in a child
// process of the program's own (run/child), and prints their answers in
// list order: the same output as the run one after the other. At a fatal
// result, or 300 ms before the deadline, it ends the children still running
// and sweeps their run folders; out of time, the systems still running
// count as failed. Returns the exit code, as run_system_list.
int run_in_children(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files);
