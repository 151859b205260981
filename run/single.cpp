#include "run/single.h"

#include <cstdio>

#include "common/clock.h"
#include "output/console.h"
#include "run/answer.h"
#include "run/scan.h"
#include "run/startup.h"

void install_rfc_environment(RunContext &ctx) {
    ctx.fatal_context.api = &ctx.rfc;
    ctx.fatal_context.log = &ctx.log;
    ctx.fatal_context.mode = ctx.doc.mode;
    ctx.fatal_context.folder = ctx.folder.get();
    install_fatal_error_context(&ctx.fatal_context);
    ctx.rfc_env.errorhandler = fatal_rfc_error;
    ctx.rfc_env.allocate = nullptr;
    ctx.rfc.RfcEnvironment(&ctx.rfc_env);
}

void open_program_log(RunContext &ctx) {
    if (!ctx.options.syslog) return;
    if (!ctx.syslog->open(ctx.profile_directory + "Ramgauge.Log", max_shared_file_size)) return;
    ctx.log.steps = ctx.syslog.get();
    ctx.log.abort_log = ctx.syslog.get();
    ctx.log.eoxput_path = ctx.profile_directory + "Ramgauge.EoX";
}

void load_library(RunContext &ctx) {
    ctx.rfc = load_rfc_library(library_choice(ctx.options));
    open_program_log(ctx);
    if (ctx.rfc.back_end != RfcBackEnd::NetWeaver) return;
    write_log_line(ctx.log, 0, "NetWeaver RFC library loaded", ctx.rfc.library_path);
}

bool announce_destination_file(const RunContext &ctx) {
    return ctx.progress_display || !answers_with_document(ctx.doc.mode);
}

std::string parameter_text(std::string copy) {
    std::string::size_type cut = copy.find('#');
    if (cut != std::string::npos) copy.erase(cut);
    cut = copy.find('@');
    if (cut != std::string::npos) copy.erase(cut);
    if (copy == "(Parameters " || copy == "(No ") copy.clear();
    if (copy.empty()) copy = "(No Parameters)";
    return copy;
}

int run_single_system(RunContext &ctx, const FileOpener &files) {
    write_log_line(ctx.log, 0, "program started", ctx.program_path);
    const LogonParameters &p = ctx.logon;
    ScanRequest request;
    request.profile = ctx.profile_file_name;
    request.environment_installed = [&] {
        write_log_line(ctx.log, 0, "RfcEnvironment called", "");
        if (!ctx.progress_display) return;
        std::string stamp = time_stamp();
        console_write(banner(ctx) + "\n* " + stamp + " " + ctx.profile_file_name + ", " +
                      p.Hostname + ", " + p.Destination + ", " + p.Sysnr + ", " + p.Client +
                      " State=Processing\n* " + stamp + " " + program_name + " - " +
                      parameter_text(ctx.options.text) + " State=Executing\n");
    };
    request.measured = [&](const Measurement &m) {
        if (m.status == RunStatus::Measured)
            write_memory_answer(ctx.doc, p.Destination, m.figures, ctx.limits);
    };
    ScanResult result = scan(ctx, files, request);
    if (!result.opened) {
        write_error_document(ctx.doc, "Error 1011: RFC-Open for " + p.Destination + " failed !" +
                                          (result.reason.empty() ? "" : " - " + result.reason));
        print_answer(ctx.doc);
        return answer_exit_code(ctx.doc.mode, 2);
    }
    if (result.measured()) {
        print_answer(ctx.doc);
        remove_file(start_folder_file(*ctx.folder, shared_trace_file));
        if (ctx.progress_display)
            console_write("\n* " + time_stamp() + " SAP " + program_name + " now processed...\n");
        return 0;
    }
    write_error_document(ctx.doc, result.measurement.failure + " - " + result.reason);
    print_answer(ctx.doc);
    return answer_exit_code(ctx.doc.mode, 2);
}
