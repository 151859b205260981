#include "run/startup.h"

#include <cstdio>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "config/global_sensor.h"

std::string banner(const RunContext &ctx) {
    // A run through the NetWeaver library says so; the classic road's line
    // stays as it always was.
    return "* " + time_stamp(ctx.started_at) + " SAP " + program_name + " " + program_version +
           (ctx.rfc.back_end == RfcBackEnd::NetWeaver ? " (NetWeaver RFC)" : "");
}

bool has_option(const RunContext &ctx, const char *keyword) {
    return ctx.option_string.find(keyword) != std::string::npos;
}

void rebuild_option_string(RunContext &ctx) {
    ctx.option_string = upper_ascii(ctx.option_copy);
}

unsigned read_parallel(const RunContext &ctx, unsigned fallback) {
    return read_number_option(ctx.option_string, ctx.option_text, ",PARALLEL=", 1, max_parallel,
                              fallback, "Error 1028: Invalid value for ,PARALLEL= (1 to 64) !");
}

unsigned read_connect_seconds(const RunContext &ctx, unsigned fallback) {
    return read_number_option(ctx.option_string, ctx.option_text, ",CONNECT=", 0,
                              max_connect_seconds, fallback,
                              "Error 1009: Invalid value for ,CONNECT= (0 to 60 seconds) !");
}

void start_up(RunContext &ctx, int argc, const char *const *argv) {
    ctx.started_at = std::time(nullptr);
    ctx.doc.channel_counter = 0;
    ctx.item_name.clear();
    ctx.item_mode = false;
    ctx.program_path = argc > 0 && argv[0] ? argv[0] : "";

    if (argc < 2) throw NumberedError("Error 1001: Parameter for Profile-Name is missing !");

    std::string profile = argv[1];
    if (profile.size() > max_profile_name)
        throw NumberedError("Error 1016: Profile-Name " + profile + " is longer than " +
                            std::to_string(max_profile_name) + " characters...");
    ctx.profile_file_name = profile;

    std::string options;
    if (argc > 2) {
        ctx.argument2 = argv[2];
        options = argv[2];
        if (argc > 3) options += std::string(" ") + argv[3];
    }
    if (options.size() > max_options)
        throw NumberedError("Error 1016: Options " + options + " are longer than " +
                            std::to_string(max_options) + " characters...");
    ctx.option_copy = options;
    ctx.option_text = options;
    rebuild_option_string(ctx);
    ctx.timeout_seconds = read_timeout(ctx.option_string, ctx.option_text);
    ctx.parallel = read_parallel(ctx, default_parallel);
    ctx.connect_seconds = read_connect_seconds(ctx, default_connect_seconds);

    std::string::size_type item = ctx.option_string.find("ITEM=");
    if (item != std::string::npos) {
        ctx.item_mode = true;
        ctx.item_name = read_item_value(ctx.option_copy, ctx.option_string, item + 5);
        ctx.profile_file_name = "Quadrant.Prf";
    }
}
