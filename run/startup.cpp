#include "run/startup.h"

#include <cstdio>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "config/global_sensor.h"
#include "run/single.h"

std::string banner(const RunContext &ctx) {
    // A run through the NetWeaver library says so; the classic road's line
    // stays as it always was.
    return "* " + time_stamp(ctx.started_at) + " SAP " + program_name + " " + program_version +
           (ctx.rfc.back_end == RfcBackEnd::NetWeaver ? " (NetWeaver RFC)" : "");
}

void set_options(RunContext &ctx, RunOptions options) {
    ctx.options = std::move(options);
    ctx.doc.channel = ctx.options.channel;
}

ConnectionContext connection_context(RunContext &ctx, const FileOpener &files) {
    return {ctx.rfc, ctx.connection, ctx.log, files, *ctx.folder};
}

ConnectionRequest connection_request(const RunContext &ctx, const std::string &profile) {
    return {ctx.logon, ctx.options.overrides, profile, announce_destination_file(ctx),
            ctx.options.connect_seconds};
}

void start_up(RunContext &ctx, int argc, const char *const *argv) {
    ctx.started_at = std::time(nullptr);
    ctx.doc.channel_counter = 0;
    ctx.item_name.clear();
    ctx.list_run = false;
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
    set_options(ctx, read_options(options));

    if (ctx.options.item_given) {
        ctx.list_run = true;
        ctx.item_name = read_item_value(ctx.options.text, ctx.options.upper, ctx.options.item_at);
        ctx.profile_file_name = "Quadrant.Prf";
    }
}
