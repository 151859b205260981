#include "run/single.h"

#include <cstdio>

#include "common/clock.h"
#include "output/console.h"
#include "run/answer.h"
#include "run/startup.h"

void install_rfc_environment(RunContext &ctx) {
    ctx.fatal_context.api = &ctx.rfc;
    ctx.fatal_context.trace = &ctx.trace;
    ctx.fatal_context.mode = ctx.doc.mode;
    ctx.fatal_context.folder = ctx.folder.get();
    install_fatal_error_context(&ctx.fatal_context);
    ctx.rfc_env.errorhandler = fatal_rfc_error;
    ctx.rfc_env.allocate = nullptr;
    ctx.rfc.RfcEnvironment(&ctx.rfc_env);
}

void open_trace_log(RunContext &ctx) {
    if (!ctx.options.syslog) return;
    if (!ctx.syslog->open(ctx.profile_directory + "Ramgauge.Log", max_shared_file_size)) return;
    ctx.trace.trace_log = ctx.syslog.get();
    ctx.trace.abort_log = ctx.syslog.get();
    ctx.trace.eoxput_path = ctx.profile_directory + "Ramgauge.EoX";
}

void load_library(RunContext &ctx) {
    ctx.rfc = load_rfc_library(library_choice(ctx.options));
    open_trace_log(ctx);
    if (ctx.rfc.back_end != RfcBackEnd::NetWeaver) return;
    write_trace_line(ctx.trace, 0, "NetWeaver RFC library loaded", ctx.rfc.library_path);
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
    write_trace_line(ctx.trace, 0, "program started", ctx.program_path);
    install_rfc_environment(ctx);
    write_trace_line(ctx.trace, 0, "RfcEnvironment called", "");
    ctx.doc.text.clear();

    const LogonParameters &p = ctx.logon;
    if (ctx.progress_display) {
        std::string stamp = time_stamp();
        console_write(banner(ctx) + "\n* " + stamp + " " + ctx.profile_file_name + ", " +
                      p.Hostname + ", " + p.Destination + ", " + p.Sysnr + ", " + p.Client +
                      " State=Processing\n* " + stamp + " " + program_name + " - " +
                      parameter_text(ctx.options.text) + " State=Executing\n");
    }

    std::string reason;
    ctx.handle = open_connection(connection_context(ctx, files),
                                 connection_request(ctx, ctx.profile_file_name), &reason);
    std::string session_trace = run_folder_file(*ctx.folder, sap_trace_file);
    if (ctx.handle == 0) {
        // The partner not reached at all, or else the library's own reason
        // when its trace names one.
        bool found = false;
        if (reason.empty()) reason = last_trace_error(files, session_trace, found);
        finish_session(*ctx.folder, true);
        write_error_document(ctx.doc, "Error 1011: RFC-Open for " + p.Destination + " failed !" +
                                          (reason.empty() ? "" : " - " + reason));
        print_answer(ctx.doc);
        return answer_exit_code(ctx.doc.mode, 2);
    }

    Measurement measured = measure_memory(ctx.rfc, ctx.measure, ctx.handle, ctx.trace);
    if (measured.status == RunStatus::Measured)
        write_memory_answer(ctx.doc, p.Destination, measured.figures);
    ctx.rfc.RfcClose(ctx.handle);
    ctx.handle = 0;

    if (measured.status == RunStatus::Measured) {
        // The folder is emptied as it is removed, at the end of the run.
        end_session(*ctx.folder);
        print_answer(ctx.doc);
        remove_file(start_folder_file(*ctx.folder, sap_trace_file));
        if (ctx.progress_display)
            console_write("\n* " + time_stamp() + " SAP " + program_name + " now processed...\n");
        return 0;
    }
    ctx.doc.text = measured.failure;
    scan_trace_file(ctx.doc, files, session_trace);
    finish_session(*ctx.folder, true);
    std::string message = ctx.doc.text;
    write_error_document(ctx.doc, message);
    print_answer(ctx.doc);
    return answer_exit_code(ctx.doc.mode, 2);
}
