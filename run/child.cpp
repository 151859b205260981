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
#include "run/list.h"
#include "run/single.h"

namespace {

// Whether in has ended before another byte: the parent has no more systems.
bool input_ended(std::FILE *in) {
    int c = std::getc(in);
    if (c == EOF) return true;
    std::ungetc(c, in);
    return false;
}

int outcome_code(SystemOutcome outcome) {
    switch (outcome) {
    case SystemOutcome::Processed:
        return child_processed;
    case SystemOutcome::NotFound:
        return child_not_found;
    case SystemOutcome::Failed:
        break;
    }
    return child_failed;
}

} // namespace

int run_item_child(int argc, const char *const *argv, const FileOpener &files) {
    // argv: program, item_child_argument, parent id; the requests that
    // child_request() makes come on standard input.
    if (argc != 3) return 2;
    binary_standard_streams();
    end_with_parent(std::strtoul(argv[2], nullptr, 10));
    RunContext ctx;
    ctx.list_run = true;
    bool have_folder = false, loaded = false;
    // The parent's document is open: a fatal error closes it.
    console_write("", true);
    int exit_code = 0;
    while (!input_ended(stdin)) {
        std::vector<std::string> words;
        std::string entry, label_selector, boundary;
        if (!read_request(stdin, words) ||
            !take_child_request(words, ctx, entry, label_selector, boundary)) {
            exit_code = 2;
            break;
        }
        int outcome = child_failed;
        try {
            if (!have_folder) {
                create_run_folder(*ctx.folder, false); // the parent has swept
                have_folder = true;
            }
            if (!loaded) {
                load_library(ctx);
                loaded = true;
            }
            // scan_system ends its session and empties the folder for the
            // next system, as in the sequential loop.
            outcome = outcome_code(scan_system(ctx, entry, label_selector, files, [] {}));
        } catch (const NumberedError &) {
            outcome = child_failed;
            finish_session(*ctx.folder, true);
        }
        console_write(response_trailer(boundary, outcome));
    }
    remove_run_folder(*ctx.folder, false);
    std::fflush(stdout);
    return exit_code;
}
