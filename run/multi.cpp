#include "run/multi.h"

#include <cstdio>

#include "common/clock.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

std::string take_entry(std::string &list) {
    std::string::size_type hash = list.find('#');
    std::string entry = list.substr(0, hash);
    list.erase(0, hash == std::string::npos ? list.size() : hash + 1);
    return entry;
}

std::string channel_label(const std::string &selector, const std::string &entry,
                          const LogonParameters &p) {
    if (selector == "2") return entry.size() > 4 ? entry.substr(0, entry.size() - 4) : "";
    if (selector == "3") return p.Hostname;
    if (selector == "4") return p.Destination;
    return entry;
}

} // namespace

int run_system_list(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    SystemCounters count;
    if (ctx.progress_display) std::printf("%s\n", ctx.banner.c_str());
    for (char &c : ctx.option_copy)
        if (c == ':') c = ' ';
    std::string::size_type cut = ctx.option_copy.find(" @");
    if (cut != std::string::npos) ctx.option_copy.erase(cut);
    if (ctx.progress_display)
        std::printf("* %s %s State=Executing\n", ctx.banner.substr(2, 8).c_str(),
                    ctx.option_copy.c_str());
    begin_document(ctx.doc);
    std::printf("%s\n", ctx.doc.text.c_str());
    std::fflush(stdout);
    ctx.doc.text.clear();

    while (!sensor.system_list.empty()) {
        ctx.measure.item_answered = false;
        ++count.NoSystems;
        std::string entry = take_entry(sensor.system_list);
        ctx.profile_file_name = entry;
        ctx.profile_path = ctx.profile_directory + entry;
        std::string label = entry;
        auto profile = files.open_read(ctx.profile_path);
        if (!profile) continue;

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
            ctx.handle = open_connection(ctx.rfc, ctx.connection, p, ctx.option_string,
                                         ctx.option_text, ctx.trace, files);
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
        ++(processed ? count.Processed : count.Failed);
        if (ctx.progress_display) {
            std::printf("\n%s State=%s\n", progress_line.c_str(),
                        processed ? "Processed" : "Rfc Failure");
            std::fflush(stdout);
        }
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
    end_document(ctx.doc);
    std::printf("%s\n", ctx.doc.text.c_str());
    std::string stamp = time_stamp();
    if (ctx.progress_display)
        std::printf("\n* %s SAP %s now processed...\n", stamp.c_str(), program_name);
    std::fflush(stdout);
    return 0;
}
