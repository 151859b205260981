#include "run/child.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/numbered_error.h"
#include "output/console.h"
#include "rfc/run_folder.h"
#include "run/child_protocol.h"
#include "run/children.h"
#include "run/multi.h"
#include "run/single.h"

int run_item_child(int argc, const char *const *argv, const FileOpener &files) {
    // argv: program, item_child_argument, parent id; the request that
    // child_request() makes comes on standard input.
    if (argc != 3) return 2;
    binary_standard_streams();
    end_with_parent(std::strtoul(argv[2], nullptr, 10));
    std::vector<std::string> words;
    RunContext ctx;
    ctx.item_mode = true;
    std::string entry, label_selector;
    if (!read_request(stdin, words) || !take_child_request(words, ctx, entry, label_selector))
        return 2;

    // The parent's document is open: a fatal error closes it.
    console_write("", true);
    int exit_code = child_failed;
    try {
        create_run_folder(*ctx.folder, false); // the parent has swept
        load_library(ctx);
        switch (scan_system(ctx, entry, label_selector, files, [] {})) {
        case SystemOutcome::Processed:
            exit_code = child_processed;
            break;
        case SystemOutcome::NotFound:
            exit_code = child_not_found;
            break;
        case SystemOutcome::Failed:
            exit_code = child_failed;
            break;
        }
    } catch (const NumberedError &) {
        exit_code = child_failed;
    }
    remove_run_folder(*ctx.folder, exit_code != child_processed);
    std::fflush(stdout);
    return exit_code;
}
