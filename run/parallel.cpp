#include "run/parallel.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/numbered_error.h"
#include "common/system.h"
#include "output/console.h"
#include "rfc/run_folder.h"
#include "run/child.h"
#include "run/child_protocol.h"
#include "run/children.h"
#include "run/multi.h"

namespace {

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
        read_logon_profile(*profile, item.entry, ProfileRun::Multi, ctx.logon, unused);
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
        while (running < ctx.parallel && next < items.size()) {
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
    state.option_string = ctx.option_string;
    state.multi = true;
    state.item_name = ctx.item_name;
    state.NoSystems = count.NoSystems;
    state.Processed = count.Processed;
    state.Failed = count.Failed;
    int exit_code = 0;
    console_write_seized(text + timeout_answer(state, true, exit_code));
    return exit_code;
}
