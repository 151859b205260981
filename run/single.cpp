#include "run/single.h"

#include <cstdio>

#include "common/clock.h"
#include "output/console.h"
#include "run/startup.h"

void install_rfc_environment(RunContext &ctx) {
    ctx.fatal_context.api = &ctx.rfc;
    ctx.fatal_context.trace = &ctx.trace;
    ctx.fatal_context.mode = ctx.doc.mode;
    ctx.fatal_context.destination_copy = ctx.destination_copy.get();
    install_fatal_error_context(&ctx.fatal_context);
    ctx.rfc_env.errorhandler = fatal_rfc_error;
    ctx.rfc_env.allocate = nullptr;
    ctx.rfc.RfcEnvironment(&ctx.rfc_env);
}

bool announce_destination_file(const RunContext &ctx) {
    return ctx.progress_display || !is_xml_mode(ctx.doc.mode);
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
    write_trace_line(ctx.trace, ctx.option_string, 0, "program started", ctx.program_path);
    install_rfc_environment(ctx);
    write_trace_line(ctx.trace, ctx.option_string, 0, "RfcEnvironment called", "");
    ctx.doc.text.clear();
    ctx.measure.run_status = "ERR";

    const LogonParameters &p = ctx.logon;
    if (ctx.progress_display) {
        std::string stamp = time_stamp();
        ctx.option_copy = parameter_text(ctx.option_copy);
        console_write(ctx.banner + "\n* " + stamp + " " + ctx.profile_file_name + ", " +
                      p.Hostname + ", " + p.Destination + ", " + p.Sysnr + ", " + p.Client +
                      " State=Processing\n* " + stamp + " " + program_name + " - " +
                      ctx.option_copy + " State=Executing\n");
    }

    // Dev_Rfc.Trc as it stands before this run's connection attempt: only
    // what is appended past it belongs to this run.
    long long run_started = seconds_now();
    FileStatus trace_at_start = file_status(sap_trace_file);
    ctx.handle =
        open_connection(ctx.rfc, ctx.connection, p, ctx.option_string, ctx.option_text, ctx.trace,
                        files, *ctx.destination_copy, announce_destination_file(ctx));
    if (ctx.handle == 0) {
        write_error_document(ctx.doc, "Error 1011: RFC-Open for " + p.Destination + " failed !");
        print_answer(ctx.doc);
        return 2;
    }

    ctx.measure.run_status = "ERR";
    MeasureRequest request{ctx.option_string, ctx.trace,     false,
                           ctx.item_name,     ctx.item_name, p.Destination};
    measure_memory(ctx.rfc, ctx.measure, ctx.handle, ctx.doc, request);
    ctx.rfc.RfcClose(ctx.handle);
    ctx.handle = 0;

    if (ctx.measure.run_status == "OK") {
        print_answer(ctx.doc);
        remove_trace_file(trace_at_start, run_started);
        if (ctx.progress_display)
            console_write("\n* " + time_stamp() + " SAP " + program_name + " now processed...\n");
        return 0;
    }
    scan_trace_file(ctx.doc, files, trace_at_start.exists ? trace_at_start.size : 0);
    std::string message = ctx.doc.text;
    write_error_document(ctx.doc, message);
    print_answer(ctx.doc);
    return 2;
}
