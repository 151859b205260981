#include "run/list.h"

int run_in_sequence(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    SystemCounters count;
    begin_list(ctx, count, sensor.system_list);
    while (!sensor.system_list.empty()) {
        ++count.NoSystems;
        std::string entry = take_entry(sensor.system_list);
        SystemOutcome outcome = scan_system(ctx, entry, sensor.label_selector, files, [&] {
            report_progress(ctx, count, true, sensor.system_list);
        });
        count_outcome(count, outcome);
        report_progress(ctx, count, false, sensor.system_list);
    }
    return end_list(ctx, count);
}
