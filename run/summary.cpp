#include "run/summary.h"

#include <cstdio>

void write_item_summary(OutputDocument &doc, const std::string &item_name,
                        const SystemCounters &count, unsigned late_seconds) {
    char counters[160];
    unsigned systems = count.NoSystems, processed = count.Processed, failed = count.Failed;
    if (late_seconds > 0)
        std::snprintf(counters, sizeof counters,
                      ": NoSystems=%u, Processed=%u, Failed=%u, Timeout after %u seconds ", systems,
                      processed, failed, late_seconds);
    else
        std::snprintf(counters, sizeof counters, ": NoSystems=%u, Processed=%u, Failed=%u ",
                      systems, processed, failed);
    open_text(doc);
    append_status_text(doc, "(***) " + item_name + counters);
    close_text(doc);
    set_item_status(doc, count.Processed, count.Failed);
    end_document(doc);
}
