#include "run/multi.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "common/numbered_error.h"
#include "output/console.h"
#include "rfc/rfc_library.h"
#include "run/children.h"
#include "run/list.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

// The labels that carry over from profile to profile, as a child needs them
// to read its own profile as the sequential run would; never the password.
std::string LogonParameters::*const carried_fields[] = {
    &LogonParameters::Extcompany, &LogonParameters::Destination, &LogonParameters::Client,
    &LogonParameters::User,       &LogonParameters::Language,    &LogonParameters::Mode,
    &LogonParameters::Hostname,   &LogonParameters::Sysnr,       &LogonParameters::Gwhost,
    &LogonParameters::Gwservice};

// A child's exit codes for its outcome; 1 is a fatal RFC error, whose
// answer is the child's output.
constexpr int child_processed = 0, child_fatal = 1, child_failed = 3, child_not_found = 4;

// What a child is to do, as the words of its request (run_item_child reads
// them in this order). They reach it through its standard input: a command
// line is open to every local user, and these name the systems, users and
// options that the profiles keep to the sensor's account.
std::vector<std::string> child_request(const RunContext &ctx, const std::string &entry,
                                       const std::string &label_selector,
                                       const LogonParameters &carried) {
    std::vector<std::string> words = {ctx.profile_directory,
                                      entry,
                                      label_selector,
                                      ctx.options.upper,
                                      ctx.options.text,
                                      ctx.item_name,
                                      output_mode_name(ctx.doc.mode),
                                      ctx.progress_display ? "1" : "0",
                                      std::to_string(ctx.options.connect_seconds)};
    for (auto field : carried_fields)
        words.push_back(carried.*field);
    return words;
}

// One entry of a list scanned in parallel, from its start to its result.
struct ListItem {
    std::string entry;
    LogonParameters carried;
    bool needs_child = true;
    SystemOutcome known = SystemOutcome::NotFound; // when no child is needed
    std::unique_ptr<ChildProcess> child;
    std::thread reader;
    bool started = false, done = false;
};

// What a finished item adds to the answer; false for a fatal error, whose
// output (the fatal answer) the caller takes or drops.
bool take_result(ListItem &item, SystemCounters &count, std::string &text) {
    if (!item.needs_child) {
        count_outcome(count, item.known);
        return true;
    }
    switch (item.child->exit_code) {
    case child_processed:
        text += item.child->output;
        ++count.Processed;
        return true;
    case child_not_found:
        return true;
    case child_fatal:
        return false;
    case child_failed:
        text += item.child->output;
        ++count.Failed;
        return true;
    default: // killed or broken: its output is no part of an answer
        ++count.Failed;
        return true;
    }
}

} // namespace

int run_in_children(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    // The profiles are read here first, in list order, only to know which
    // labels each one carries over to the next; each child reads its own
    // again from there.
    std::vector<ListItem> items;
    for (std::string list = sensor.system_list; !list.empty();) {
        items.emplace_back();
        ListItem &item = items.back();
        item.entry = take_entry(list);
        item.carried = ctx.logon;
        item.carried.Password.clear();
        std::unique_ptr<InputFile> profile;
        try {
            profile = files.open_read(ctx.profile_directory + item.entry);
        } catch (const NumberedError &) {
            item.needs_child = false;
            item.known = SystemOutcome::Failed;
            continue;
        }
        if (!profile) {
            item.needs_child = false;
            continue;
        }
        bool unused = false;
        ctx.logon.Password.clear();
        read_logon_profile(*profile, item.entry, ProfileRun::List, ctx.logon, unused);
    }

    SystemCounters count;
    begin_list(ctx, count, sensor.system_list);
    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0, shown = 0, running = 0;
    auto due = ctx.deadline->started + std::chrono::seconds(ctx.deadline->seconds) -
               std::chrono::milliseconds(300);
    bool fatal = false, late = false;
    std::unique_lock<std::mutex> hold(lock);
    while (shown < items.size() && !fatal) {
        while (running < ctx.options.parallel && next < items.size()) {
            ListItem &item = items[next++];
            item.started = true;
            if (!item.needs_child) {
                item.done = true;
                continue;
            }
            item.child = std::make_unique<ChildProcess>();
            // The command line names nothing but the child's mark and its
            // parent; the rest is the request on its standard input.
            if (!item.child->start({item_child_argument, std::to_string(process_id())},
                                   encode_request(child_request(
                                       ctx, item.entry, sensor.label_selector, item.carried)))) {
                item.done = true; // counted as failed: no exit code
                continue;
            }
            ++running;
            item.reader = std::thread([&, child = item.child.get(), done = &item.done] {
                child->collect();
                std::lock_guard<std::mutex> again(lock);
                *done = true;
                --running;
                changed.notify_all();
            });
        }
        if (!items[shown].done) {
            if (changed.wait_until(hold, due) == std::cv_status::timeout && !items[shown].done) {
                late = true;
                break;
            }
            continue;
        }
        // In list order, whatever order the children end in.
        std::string text;
        while (shown < items.size() && items[shown].done && !fatal) {
            ++count.NoSystems;
            ListItem &item = items[shown++];
            fatal = !take_result(item, count, text);
            if (fatal) text += item.child->output;
        }
        if (!text.empty()) console_write(text);
        std::string rest;
        for (std::size_t i = shown; i < items.size(); ++i)
            rest += items[i].entry + "#";
        hold.unlock();
        report_progress(ctx, count, false, rest);
        hold.lock();
    }
    // Whatever still runs is no longer wanted: out of time, or after a
    // fatal error that ends the run.
    for (ListItem &item : items)
        if (item.started && !item.done && item.child) item.child->kill();
    hold.unlock();
    for (ListItem &item : items)
        if (item.reader.joinable()) item.reader.join();
    // A killed child could not remove its run folder.
    if (fatal || late) sweep_run_folders();
    if (fatal) return 1;
    if (!late) return end_list(ctx, count);

    // Out of time: what has ended is shown in list order; the systems still
    // running and those never started count as failed.
    if (!console_seize()) return 0;
    std::string text;
    for (; shown < items.size(); ++shown) {
        ListItem &item = items[shown];
        ++count.NoSystems;
        // A fatal error after the deadline is one more failed system.
        if ((item.needs_child && !item.done) || !take_result(item, count, text)) ++count.Failed;
    }
    DeadlineState state;
    {
        std::lock_guard<std::mutex> again(ctx.deadline->lock);
        state.seconds = ctx.deadline->seconds;
    }
    state.mode = ctx.doc.mode;
    state.channel = ctx.options.channel;
    state.list = true;
    state.item_name = ctx.item_name;
    state.NoSystems = count.NoSystems;
    state.Processed = count.Processed;
    state.Failed = count.Failed;
    int exit_code = 0;
    console_write_seized(text + timeout_answer(state, true, exit_code));
    return exit_code;
}

int run_item_child(int argc, const char *const *argv, const FileOpener &files) {
    // argv: program, item_child_argument, parent id; the request that
    // child_request() makes comes on standard input.
    if (argc != 3) return 2;
    binary_standard_streams();
    end_with_parent(std::strtoul(argv[2], nullptr, 10));
    std::vector<std::string> words;
    const std::size_t count = 9 + std::size(carried_fields);
    if (!read_request(stdin, words) || words.size() != count) return 2;
    RunContext ctx;
    ctx.list_run = true;
    ctx.profile_directory = words[0];
    std::string entry = words[1];
    std::string label_selector = words[2];
    // words[3], the options upper-cased, is read anew from words[4].
    try {
        set_options(ctx, read_options(words[4]));
    } catch (const NumberedError &) {
        return 2;
    }
    ctx.item_name = words[5];
    for (OutputMode m : {OutputMode::EXEXML, OutputMode::Pinnace, OutputMode::Kestrel,
                         OutputMode::Tamarack, OutputMode::Bramble})
        if (words[6] == output_mode_name(m)) ctx.doc.mode = m;
    ctx.progress_display = words[7] == "1";
    ctx.options.connect_seconds =
        static_cast<unsigned>(std::strtoul(words[8].c_str(), nullptr, 10));
    std::size_t at = 9;
    for (auto field : carried_fields)
        ctx.logon.*field = words[at++];

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
