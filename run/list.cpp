#include "run/list.h"

#include <memory>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "output/console.h"
#include "run/answer.h"
#include "run/parallel.h"
#include "run/scan.h"
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

std::string channel_label(const std::string &selector, const std::string &entry,
                          const LogonParameters &p) {
    if (selector == "2") return entry.size() > 4 ? entry.substr(0, entry.size() - 4) : "";
    if (selector == "3") return p.Hostname;
    if (selector == "4") return p.Destination;
    return entry;
}

void count_outcome(SystemCounters &count, SystemOutcome outcome) {
    if (outcome == SystemOutcome::Processed) ++count.Processed;
    if (outcome == SystemOutcome::Failed) ++count.Failed;
}

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
        ctx.deadline->list = true;
        ctx.deadline->item_name = ctx.item_name;
        ctx.deadline->channel = ctx.options.channel;
        ctx.deadline->mode = ctx.doc.mode;
    }
    report_progress(ctx, count, false, list);
    if (ctx.progress_display) console_write(banner(ctx) + "\n");
    std::string shown = ctx.options.text;
    for (char &c : shown)
        if (c == ':') c = ' ';
    std::string::size_type cut = shown.find(" @");
    if (cut != std::string::npos) shown.erase(cut);
    if (ctx.progress_display)
        console_write("* " + time_stamp(ctx.started_at) + " " + shown + " State=Executing\n");
    print_item_header(ctx.doc);
}

int end_list(RunContext &ctx, const SystemCounters &count) {
    // A failure text left by the last system never belongs in the summary.
    ctx.doc.text.clear();
    write_item_summary(ctx.doc, ctx.item_name, count);
    console_answer(ctx.doc.text + "\n");
    if (ctx.progress_display)
        console_write("\n* " + time_stamp() + " SAP " + program_name + " now processed...\n");
    return 0;
}

SystemOutcome scan_system(RunContext &ctx, const std::string &entry,
                          const std::string &label_selector, const FileOpener &files,
                          const std::function<void()> &started) {
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

    bool faulty = false;
    // Other labels carry over from earlier profiles, but a password never
    // does: without its own it would go to the wrong system.
    ctx.logon.Password.clear();
    read_logon_profile(*profile, entry, ProfileRun::List, ctx.logon, faulty);
    profile.reset();
    check_logon_parameters(entry, ProfileRun::List, ctx.logon, faulty);
    const LogonParameters &p = ctx.logon;
    std::string label = channel_label(label_selector, entry, p);

    // Made only when shown: the time stamp reads the time zone.
    std::string progress_line;
    if (ctx.progress_display)
        progress_line = "* " + time_stamp() + " " + entry + ", " + p.Hostname + ", " +
                        p.Destination + ", " + p.Sysnr + ", " + p.Client;
    ScanRequest request;
    request.profile = entry;
    request.may_log_on = !faulty;
    request.of_list = true;
    request.measured = [&](const Measurement &m) {
        if (m.status == RunStatus::Measured)
            print_item_answer(ctx.doc, ctx.item_channel_ids, ctx.item_name, label, m.figures,
                              ctx.limits);
    };
    bool processed = scan(ctx, files, request).measured();
    if (ctx.progress_display)
        console_write("\n" + progress_line + " State=" + (processed ? "Processed" : "Rfc Failure") +
                      "\n");
    return processed ? SystemOutcome::Processed : SystemOutcome::Failed;
}

int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    // The plain-text modes count channels across systems (Tamarack's first
    // ten, Bramble's CH=): their order is the run's, so they stay sequential.
    bool counts_channels = !is_xml_mode(ctx.doc.mode);
    if (ctx.options.parallel <= 1 || counts_channels || count_entries(sensor.system_list) <= 1)
        return run_in_sequence(ctx, sensor, files);
    return run_in_children(ctx, sensor, files);
}
