#include "run/single.h"

#include <cstdio>

#include "common/clock.h"
#include "run/startup.h"

void install_rfc_environment(RunContext &ctx) {
    ctx.fatal_context.api = &ctx.rfc;
    ctx.fatal_context.trace = &ctx.trace;
    install_fatal_error_context(&ctx.fatal_context);
    ctx.rfc_env.errorhandler = fatal_rfc_error;
    ctx.rfc_env.allocate = nullptr;
    ctx.rfc.RfcEnvironment(&ctx.rfc_env);
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
        std::printf("%s\n", ctx.banner.c_str());
        std::string stamp = time_stamp();
        std::printf("* %s %s, %s, %s, %s, %s State=Processing\n", stamp.c_str(),
                    ctx.profile_file_name.c_str(), p.Hostname.c_str(), p.Destination.c_str(),
                    p.Sysnr.c_str(), p.Client.c_str());
        ctx.option_copy = parameter_text(ctx.option_copy);
        std::printf("* %s %s - %s State=Executing\n", stamp.c_str(), program_name,
                    ctx.option_copy.c_str());
        std::fflush(stdout);
    }

    ctx.handle = open_connection(ctx.rfc, ctx.connection, p, ctx.option_string, ctx.option_text,
                                 ctx.trace, files);
    if (ctx.handle == 0) {
        write_error_document(ctx.doc, "Error 1011: RFC-Open for " + p.Destination + " failed !");
        print_document(ctx.doc);
        return 2;
    }

    ctx.measure.run_status = "ERR";
    MeasureRequest request{ctx.option_string, ctx.trace,     false,
                           ctx.item_name,     ctx.item_name, p.Destination};
    measure_memory(ctx.rfc, ctx.measure, ctx.handle, ctx.doc, request);
    ctx.rfc.RfcClose(ctx.handle);
    ctx.handle = 0;

    if (ctx.measure.run_status == "OK") {
        print_document(ctx.doc);
        remove_file("Dev_Rfc.Trc");
        if (ctx.progress_display) {
            std::printf("\n* %s SAP %s now processed...\n", time_stamp().c_str(), program_name);
            std::fflush(stdout);
        }
        return 0;
    }
    scan_trace_file(ctx.doc, files);
    std::string message = ctx.doc.text;
    write_error_document(ctx.doc, message);
    print_document(ctx.doc);
    return 2;
}
