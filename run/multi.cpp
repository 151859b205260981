#include "run/multi.h"

#include <cstdio>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "output/console.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

std::string take_entry(std::string &list) {
    std::string::size_type hash = list.find('#');
    std::string entry = list.substr(0, hash);
    list.erase(0, hash == std::string::npos ? list.size() : hash + 1);
    return entry;
}

unsigned count_entries(const std::string &list) {
    unsigned n = 0;
    for (std::string rest = list; !rest.empty(); take_entry(rest))
        ++n;
    return n;
}

std::string channel_label(const std::string &selector, const std::string &entry,
                          const LogonParameters &p) {
    if (selector == "2") return entry.size() > 4 ? entry.substr(0, entry.size() - 4) : "";
    if (selector == "3") return p.Hostname;
    if (selector == "4") return p.Destination;
    return entry;
}

// Keeps the watchdog's view of the list in step with the run.
void report_progress(RunContext &ctx, const SystemCounters &count, bool in_progress,
                     const std::string &list) {
    std::lock_guard<std::mutex> hold(ctx.deadline->lock);
    ctx.deadline->NoSystems = count.NoSystems;
    ctx.deadline->Processed = count.Processed;
    ctx.deadline->Failed = count.Failed;
    ctx.deadline->system_in_progress = in_progress;
    ctx.deadline->systems_not_started = count_entries(list);
}

} // namespace

int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    SystemCounters count;
    {
        std::lock_guard<std::mutex> hold(ctx.deadline->lock);
        ctx.deadline->multi = true;
        ctx.deadline->item_name = ctx.item_name;
        ctx.deadline->option_string = ctx.option_string;
        ctx.deadline->mode = ctx.doc.mode;
    }
    report_progress(ctx, count, false, sensor.system_list);
    if (ctx.progress_display) console_write(ctx.banner + "\n");
    for (char &c : ctx.option_copy)
        if (c == ':') c = ' ';
    std::string::size_type cut = ctx.option_copy.find(" @");
    if (cut != std::string::npos) ctx.option_copy.erase(cut);
    if (ctx.progress_display)
        console_write("* " + ctx.banner.substr(2, 8) + " " + ctx.option_copy +
                      " State=Executing\n");
    print_item_header(ctx.doc);

    while (!sensor.system_list.empty()) {
        ctx.measure.item_answered = false;
        ++count.NoSystems;
        std::string entry = take_entry(sensor.system_list);
        ctx.profile_file_name = entry;
        ctx.profile_path = ctx.profile_directory + entry;
        std::string label = entry;
        std::unique_ptr<InputFile> profile;
        bool oversized = false;
        try {
            profile = files.open_read(ctx.profile_path);
        } catch (const NumberedError &) {
            oversized = true; // exists, but is no profile: the system failed
        }
        if (oversized) {
            ++count.Failed;
            report_progress(ctx, count, false, sensor.system_list);
            continue;
        }
        if (!profile) {
            // Only counted in NoSystems: neither processed nor failed.
            report_progress(ctx, count, false, sensor.system_list);
            continue;
        }
        report_progress(ctx, count, true, sensor.system_list);

        bool system_error = false;
        // Other labels carry over from earlier profiles, but a password never
        // does: without its own it would go to the wrong system.
        ctx.logon.Password.clear();
        read_logon_profile(*profile, entry, ProfileRun::Multi, ctx.logon, system_error);
        profile.reset();
        check_logon_parameters(entry, ProfileRun::Multi, ctx.logon, system_error);
        const LogonParameters &p = ctx.logon;
        label = channel_label(sensor.label_selector, entry, p);

        std::string progress_line = "* " + time_stamp() + " " + entry + ", " + p.Hostname + ", " +
                                    p.Destination + ", " + p.Sysnr + ", " + p.Client;
        install_rfc_environment(ctx);
        ctx.doc.text.clear();
        ctx.measure.run_status = "ERR";

        // A faulty profile is never used to log on: its password may be the
        // one left from another system, and a wrong logon can lock the user.
        if (!system_error) {
            try {
                ctx.handle = open_connection(ctx.rfc, ctx.connection, p, ctx.option_string,
                                             ctx.option_text, ctx.trace, files, *ctx.folder, entry,
                                             announce_destination_file(ctx));
            } catch (const NumberedError &) {
                ctx.handle = 0; // a profile the library cannot take
            }
            if (ctx.handle == 0) {
                system_error = true;
            } else {
                ctx.measure.run_status = "ERR";
                MeasureRequest request{ctx.option_string, ctx.trace, true,
                                       ctx.item_name,     label,     p.Destination};
                measure_memory(ctx.rfc, ctx.measure, ctx.handle, ctx.doc, request);
                if (ctx.measure.run_status == "ERR") system_error = true;
            }
        }
        if (ctx.handle != 0) ctx.rfc.RfcClose(ctx.handle);
        ctx.handle = 0;

        bool processed =
            !system_error && ctx.measure.run_status == "OK" && ctx.measure.item_answered;
        finish_session(*ctx.folder, !processed);
        ++(processed ? count.Processed : count.Failed);
        report_progress(ctx, count, false, sensor.system_list);
        if (ctx.progress_display)
            console_write("\n" + progress_line +
                          " State=" + (processed ? "Processed" : "Rfc Failure") + "\n");
    }

    // A failure text left by the last system never belongs in the summary.
    ctx.doc.text.clear();
    open_text(ctx.doc);
    char counters[96];
    std::snprintf(counters, sizeof counters, ": NoSystems=%u, Processed=%u, Failed=%u ",
                  static_cast<unsigned>(count.NoSystems), static_cast<unsigned>(count.Processed),
                  static_cast<unsigned>(count.Failed));
    append_status_text(ctx.doc, "(***) " + ctx.item_name + counters);
    close_text(ctx.doc, ctx.option_string);
    set_item_status(ctx.doc, count.Processed, count.Failed);
    end_document(ctx.doc);
    console_answer(ctx.doc.text + "\n");
    std::string stamp = time_stamp();
    if (ctx.progress_display)
        console_write("\n* " + stamp + " SAP " + program_name + " now processed...\n");
    return 0;
}
