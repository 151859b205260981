#include "run/scan.h"

#include "common/numbered_error.h"
#include "run/single.h"

ScanResult scan(RunContext &ctx, const FileOpener &files, const ScanRequest &request) {
    install_rfc_environment(ctx);
    ctx.doc.text.clear();
    if (request.environment_installed) request.environment_installed();
    ScanResult result;
    if (!request.may_log_on) {
        finish_session(*ctx.folder, true);
        return result;
    }
    std::string reason;
    std::string *why = request.of_list ? nullptr : &reason;
    try {
        ctx.handle = open_connection(connection_context(ctx, files),
                                     connection_request(ctx, request.profile), why);
    } catch (const NumberedError &) {
        if (!request.of_list) throw;
        ctx.handle = 0; // a profile the library cannot take
    }
    std::string session_trace = run_folder_file(*ctx.folder, library_trace_file);
    if (ctx.handle == 0) {
        // The partner not reached at all, or else the library's own reason
        // when its trace names one.
        if (why && reason.empty()) {
            bool found = false;
            reason = last_library_trace_error(files, session_trace, found);
        }
        finish_session(*ctx.folder, true);
        result.reason = reason;
        return result;
    }
    result.opened = true;
    result.measurement = measure_memory(ctx.rfc, ctx.measure, ctx.handle, ctx.log);
    if (request.measured) request.measured(result.measurement);
    ctx.rfc.RfcClose(ctx.handle);
    ctx.handle = 0;

    bool measured = result.measured();
    if (measured && !request.of_list) {
        // The folder is emptied as it is removed, at the end of the run.
        end_session(*ctx.folder);
        return result;
    }
    if (!measured && !request.of_list) result.reason = library_trace_reason(files, session_trace);
    finish_session(*ctx.folder, !measured);
    return result;
}
