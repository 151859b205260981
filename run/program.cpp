#include "run/program.h"

#include "ramgauge_version.h"

#include "common/numbered_error.h"
#include "config/logon_profile.h"
#include "output/console.h"
#include "run/child.h"
#include "run/list.h"
#include "run/locate.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

int run(RunContext &ctx, const FileOpener &files) {
    auto profile = locate_profile(ctx, files);
    {
        std::lock_guard<std::mutex> hold(ctx.deadline->lock);
        ctx.deadline->mode = ctx.doc.mode;
    }
    if (ctx.list_run) {
        profile.reset();
        auto list_file = files.open_read(ctx.profile_path);
        GlobalSensor sensor =
            read_global_sensor_file(list_file.get(), ctx.profile_file_name, ctx.options.upper,
                                    ctx.argument2, ctx.item_name);
        list_file.reset();
        ctx.item_name = sensor.item_name;
        ctx.profile_path = ctx.profile_directory;
        // A sensor's own options replace the command line's; a number they
        // lack keeps the command line's value. They may set the deadline
        // too; without one, the command line's stands.
        set_options(ctx, read_options(sensor.options_replaced ? sensor.options : ctx.options.text,
                                      ctx.options));
        if (ctx.options.timeout_given) set_deadline(*ctx.deadline, ctx.options.timeout_seconds);
        create_run_folder(*ctx.folder);
        load_library(ctx);
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
    create_run_folder(*ctx.folder);
    start_reach_check(connection_context(ctx, files),
                      connection_request(ctx, ctx.profile_file_name));
    load_library(ctx);
    return run_single_system(ctx, files);
}

const char *const usage =
    "Usage: ramgauge PROFILE [OPTIONS [OPTIONS]]\n"
    "       ramgauge GLOBAL SENSOR [OPTIONS]\n"
    "       ramgauge --help | --version\n"
    "\n"
    "PRTG EXE/XML sensor for the memory and paging of SAP systems. Logs on with\n"
    "the logon profile PROFILE (PRD means PRD.P00), calls GET_MEM_ALL and prints\n"
    "one answer: PRTG's XML, or a plain-text form when a host file selects it,\n"
    "or PRTG's Script v2 JSON with Ramgauge.Json there or beside the program.\n"
    "\n"
    "Options, matched anywhere in the option words, in any case:\n"
    "  ITEM=<item>       one figure for each system of Quadrant.Prf\n"
    "  CH=<n>            one channel only (Bramble mode)\n"
    "  ,HOST=<host>      log on to this host instead of the profile's\n"
    "  ,NO=<nn>          and this system number\n"
    "  ,TIMEOUT=<s>      answer within this many seconds (1 to 900, default 55)\n"
    "  ,PARALLEL=<n>     item mode: scan up to n systems at once (1 to 64,\n"
    "                    default 8)\n"
    "  ,CONNECT=<s>      give up on a partner that does not answer a plain TCP\n"
    "                    connection within s seconds (0 to 60, default 5; 0: off)\n"
    "  ,SYSLOG           write the RFC steps to Ramgauge.Log\n"
    "  ,RFCLIB=<lib>     CLASSIC (librfc32) or NW (SAP's NetWeaver RFC library);\n"
    "                    without it librfc32, or else the NetWeaver library\n"
    "  # @ $ %           progress lines for runs by hand (not for PRTG);\n"
    "                    @ also takes PROFILE's own directory\n"
    "\n"
    "Exit codes: 0 answer printed, 1 fatal RFC error, 2 numbered error or\n"
    "failed measurement; always 0 with JSON, whose status tells. The\n"
    "administrator's guide tells every answer.\n";

// Argument 1 exactly one of these asks for the usage or the version; no
// profile can carry such a name.
bool answer_information_request(int argc, const char *const *argv) {
    if (argc < 2 || !argv[1]) return false;
    std::string first = argv[1];
    if (first == "--version") {
        console_answer(std::string(program_name) + " " + RAMGAUGE_VERSION + "\n");
        return true;
    }
    if (first == "--help" || first == "-h" || first == "/?") {
        console_answer(usage);
        return true;
    }
    return false;
}

// The program's folder in the Windows form the sensor's paths take.
std::string program_folder() {
    std::string folder = program_directory();
    for (char &c : folder)
        if (c == '/') c = '\\';
    return folder;
}

} // namespace

int run_program(int argc, const char *const *argv, const FileOpener &files) {
    if (answer_information_request(argc, argv)) return 0;
    if (argc > 1 && argv[1] && std::string(argv[1]) == item_child_argument)
        return run_item_child(argc, argv, files);
    RunContext ctx;
    int exit_code;
    ctx.program_folder = program_folder();
    try {
        start_up(ctx, argc, argv);
        ctx.deadline->seconds = ctx.options.timeout_seconds;
        ctx.deadline->destination = ctx.profile_file_name;
        start_watchdog(ctx.deadline, ctx.folder);
        exit_code = run(ctx, files);
    } catch (const NumberedError &error) {
        remove_run_folder(*ctx.folder, true);
        if (!ctx.mode_settled) ctx.doc.mode = mode_before_location(ctx, files);
        write_error_document(ctx.doc, error.what());
        print_answer(ctx.doc);
        exit_code = answer_exit_code(ctx.doc.mode, 2);
    }
    remove_run_folder(*ctx.folder, false);
    stop_watchdog(*ctx.deadline, exit_code);
    return exit_code;
}
