#include "run/program.h"

#include "common/numbered_error.h"
#include "config/logon_profile.h"
#include "run/locate.h"
#include "run/startup.h"

int run_program(int argc, const char *const *argv, const FileOpener &files) {
    RunContext ctx;
    LogonParameters params;
    try {
        start_up(ctx, argc, argv);
        auto profile = locate_profile(ctx, params, files);
        if (ctx.item_mode) throw NumberedError("Item mode is not available in this build yet");
        bool unused = false;
        read_logon_profile(*profile, ctx.profile_file_name, ProfileRun::Single, params, unused);
        check_logon_parameters(ctx.profile_file_name, ProfileRun::Single, params, unused);
        throw NumberedError("Profile " + ctx.profile_file_name +
                            " is complete; logon is not available in this build yet");
    } catch (const NumberedError &error) {
        write_error_document(ctx.doc, error.what());
        print_document(ctx.doc);
        return 2;
    }
}
