#include "run/program.h"

#include "common/numbered_error.h"
#include "config/logon_profile.h"
#include "run/locate.h"
#include "run/multi.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

// With ",SYSLOG" the program's own RFC trace, and the abort line of a fatal
// RFC error, go to "Ramgauge.Log" beside the profile; a fatal RFC error then
// also leaves the empty marker file "Ramgauge.EoX" there.
void open_trace_log(RunContext &ctx) {
    if (!has_option(ctx, ",SYSLOG")) return;
    ctx.trace.trace_log =
        std::fopen(native_path(ctx.profile_directory + "Ramgauge.Log").c_str(), "a");
    ctx.trace.abort_log = ctx.trace.trace_log;
    ctx.trace.eoxput_path = ctx.profile_directory + "Ramgauge.EoX";
}

int run(RunContext &ctx, const FileOpener &files) {
    auto profile = locate_profile(ctx, files);
    {
        std::lock_guard<std::mutex> hold(ctx.deadline->lock);
        ctx.deadline->mode = ctx.doc.mode;
    }
    if (ctx.item_mode) {
        profile.reset();
        auto list_file = files.open_read(ctx.profile_path);
        GlobalSensor sensor =
            read_global_sensor_file(list_file.get(), ctx.profile_file_name, ctx.option_string,
                                    ctx.argument2, ctx.item_name);
        list_file.reset();
        ctx.item_name = sensor.item_name;
        if (sensor.options_replaced) ctx.option_copy = ctx.option_text = sensor.option_copy;
        ctx.profile_path = ctx.profile_directory;
        rebuild_option_string(ctx);
        // A sensor's own options may set its deadline too.
        set_deadline(*ctx.deadline, read_timeout(ctx.option_string, ctx.option_text));
        ctx.rfc = load_rfc_library();
        open_trace_log(ctx);
        return run_system_list(ctx, sensor, files);
    }
    bool unused = false;
    read_logon_profile(*profile, ctx.profile_file_name, ProfileRun::Single, ctx.logon, unused);
    profile.reset();
    check_logon_parameters(ctx.profile_file_name, ProfileRun::Single, ctx.logon, unused);
    {
        std::lock_guard<std::mutex> hold(ctx.deadline->lock);
        ctx.deadline->destination = ctx.logon.Destination;
    }
    ctx.rfc = load_rfc_library();
    open_trace_log(ctx);
    return run_single_system(ctx, files);
}

} // namespace

int run_program(int argc, const char *const *argv, const FileOpener &files) {
    RunContext ctx;
    std::thread watchdog;
    int exit_code;
    try {
        start_up(ctx, argc, argv);
        ctx.deadline->seconds = ctx.timeout_seconds;
        ctx.deadline->destination = ctx.profile_file_name;
        watchdog = start_watchdog(*ctx.deadline, *ctx.destination_copy);
        exit_code = run(ctx, files);
    } catch (const NumberedError &error) {
        write_error_document(ctx.doc, error.what());
        print_answer(ctx.doc);
        exit_code = 2;
    }
    stop_watchdog(*ctx.deadline, watchdog);
    return exit_code;
}
