#include "run/multi.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "output/console.h"
#include "rfc/rfc_library.h"
#include "run/parallel.h"
#include "run/single.h"
#include "run/startup.h"

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

namespace {

std::string channel_label(const std::string &selector, const std::string &entry,
                          const LogonParameters &p) {
    if (selector == "2") return entry.size() > 4 ? entry.substr(0, entry.size() - 4) : "";
    if (selector == "3") return p.Hostname;
    if (selector == "4") return p.Destination;
    return entry;
}

} // namespace

void report_progress(RunContext &ctx, const SystemCounters &count, bool in_progress,
                     const std::string &list) {
    std::lock_guard<std::mutex> hold(ctx.deadline->lock);
    ctx.deadline->NoSystems = count.NoSystems;
    ctx.deadline->Processed = count.Processed;
    ctx.deadline->Failed = count.Failed;
    ctx.deadline->system_in_progress = in_progress;
    ctx.deadline->systems_not_started = count_entries(list);
}

void begin_list(RunContext &ctx, const SystemCounters &count, const std::string &list) {
    {
        std::lock_guard<std::mutex> hold(ctx.deadline->lock);
        ctx.deadline->multi = true;
        ctx.deadline->item_name = ctx.item_name;
        ctx.deadline->option_string = ctx.option_string;
        ctx.deadline->mode = ctx.doc.mode;
    }
    report_progress(ctx, count, false, list);
    if (ctx.progress_display) console_write(banner(ctx) + "\n");
    for (char &c : ctx.option_copy)
        if (c == ':') c = ' ';
    std::string::size_type cut = ctx.option_copy.find(" @");
    if (cut != std::string::npos) ctx.option_copy.erase(cut);
    if (ctx.progress_display)
        console_write("* " + time_stamp(ctx.started_at) + " " + ctx.option_copy +
                      " State=Executing\n");
    print_item_header(ctx.doc);
}

int end_list(RunContext &ctx, const SystemCounters &count) {
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
    if (ctx.progress_display)
        console_write("\n* " + time_stamp() + " SAP " + program_name + " now processed...\n");
    return 0;
}

void count_outcome(SystemCounters &count, SystemOutcome outcome) {
    if (outcome == SystemOutcome::Processed) ++count.Processed;
    if (outcome == SystemOutcome::Failed) ++count.Failed;
}

namespace {

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

} // namespace

SystemOutcome scan_system(RunContext &ctx, const std::string &entry,
                          const std::string &label_selector, const FileOpener &files,
                          const std::function<void()> &started) {
    ctx.measure.item_answered = false;
    ctx.profile_file_name = entry;
    ctx.profile_path = ctx.profile_directory + entry;
    std::unique_ptr<InputFile> profile;
    try {
        profile = files.open_read(ctx.profile_path);
    } catch (const NumberedError &) {
        return SystemOutcome::Failed; // exists, but is no profile
    }
    // Only counted in NoSystems: neither processed nor failed.
    if (!profile) return SystemOutcome::NotFound;
    started();

    bool system_error = false;
    // Other labels carry over from earlier profiles, but a password never
    // does: without its own it would go to the wrong system.
    ctx.logon.Password.clear();
    read_logon_profile(*profile, entry, ProfileRun::Multi, ctx.logon, system_error);
    profile.reset();
    check_logon_parameters(entry, ProfileRun::Multi, ctx.logon, system_error);
    const LogonParameters &p = ctx.logon;
    std::string label = channel_label(label_selector, entry, p);

    // Made only when shown: the time stamp reads the time zone.
    std::string progress_line;
    if (ctx.progress_display)
        progress_line = "* " + time_stamp() + " " + entry + ", " + p.Hostname + ", " +
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
                                         announce_destination_file(ctx), ctx.connect_seconds);
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

    bool processed = !system_error && ctx.measure.run_status == "OK" && ctx.measure.item_answered;
    finish_session(*ctx.folder, !processed);
    if (ctx.progress_display)
        console_write("\n" + progress_line + " State=" + (processed ? "Processed" : "Rfc Failure") +
                      "\n");
    return processed ? SystemOutcome::Processed : SystemOutcome::Failed;
}

int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    // The plain-text modes count channels across systems (Tamarack's first
    // ten, Bramble's CH=): their order is the run's, so they stay sequential.
    bool counts_channels = !is_xml_mode(ctx.doc.mode);
    if (ctx.parallel <= 1 || counts_channels || count_entries(sensor.system_list) <= 1)
        return run_in_sequence(ctx, sensor, files);
    return run_in_children(ctx, sensor, files);
}
