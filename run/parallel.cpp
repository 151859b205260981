#include "run/parallel.h"

#include <algorithm>
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
#include "run/deadline.h"
#include "run/list.h"

namespace {

using Clock = std::chrono::steady_clock;

// When one more child is started (see Scheduler::wanted_child): the
// patience is twice the longest that a system which was processed took so
// far, a child's start included when it was that child's first, within
// these bounds; until one has been processed, the first. A healthy system
// takes 1-5 ms natively and a child's start with its first system 5-20 ms
// (up to about 250 ms under Wine, measured on a loaded 2-core machine; a
// first patience of 100 ms started 2-3 children there for a healthy list),
// while a system that keeps a child waiting takes seconds (the connect
// limit, the library's receive wait): after twice the longest healthy time,
// a child that has not answered is on such a system.
constexpr auto first_patience = std::chrono::milliseconds(300);
constexpr auto least_patience = std::chrono::milliseconds(20);
constexpr auto most_patience = std::chrono::milliseconds(1000);

// What a child's answer for a system became; the outcomes of
// child_protocol, and these.
constexpr int result_none = -2;   // not (yet) answered
constexpr int result_broken = -1; // the child ended, was killed or broke the answer

// One entry of the list, from its start to its result.
struct ListItem {
    std::string entry;
    std::string request; // the encoded request, when it needs a child
    std::string boundary;
    bool needs_child = true;
    SystemOutcome known = SystemOutcome::NotFound; // when no child is needed
    bool done = false;
    int result = result_none;
    std::string output;
};

// One long-lived child and the thread that talks to it.
struct Worker {
    ChildProcess child;
    std::thread thread;
    std::size_t item = 0;    // the system it is on
    Clock::time_point since; // when it took that system
    bool ended = false;      // its thread has finished
    bool started = false;    // the child was started before the thread
    bool alive = false;      // and is running
};

struct Scheduler {
    explicit Scheduler(RunContext &run_context) : ctx(run_context) {}
    RunContext &ctx;
    std::vector<ListItem> items;
    std::vector<std::size_t> queue; // the items that need a child, in list order
    std::size_t next = 0;           // the next of queue to be taken
    unsigned parallel = 1;
    std::vector<std::unique_ptr<Worker>> workers;
    unsigned running = 0;    // workers whose thread has not finished
    bool stop = false;       // out of time or a fatal result: nothing more is taken
    bool lost_child = false; // a child ended without removing its run folder
    Clock::duration patience = first_patience;
    Clock::duration longest = Clock::duration::zero();
    // The answer so far: the items shown, in list order, and their counts.
    SystemCounters count;
    std::size_t shown = 0;
    bool fatal = false; // a fatal result was shown: its answer ends the output

    std::mutex lock;
    std::condition_variable changed;

    void work(Worker &worker);
    // Under lock: whether a child is to be started now for a system that
    // waits; when not yet, wake is set to when it may be.
    bool wanted_child(Clock::time_point now, Clock::time_point &wake) const;
    void start_worker();
    // The first child, started ahead while the parent reads the profiles.
    std::unique_ptr<Worker> ahead;
    // Under lock: prints the results that have come in list order, so far
    // as they have; whichever thread completes the next one does it, so
    // that a list that goes well wakes nobody else.
    void print_ready();
    // Under lock: whether the main thread has a decision to make.
    bool finished() const { return fatal || shown == items.size(); }
};

// Takes the system's answer from the child: false when the child ended,
// was killed or broke the answer's form before the trailer (output is then
// what came, outcome untouched).
bool read_answer(ChildProcess &child, const std::string &boundary, std::string &output,
                 int &outcome) {
    std::string received;
    char buffer[4096];
    for (;;) {
        std::size_t n = child.read(buffer, sizeof buffer);
        if (n == 0) {
            output = received;
            return false;
        }
        received.append(buffer, n);
        ResponseState state = read_response(received, boundary, output, outcome);
        if (state == ResponseState::Whole) return true;
        // No answer of a system comes near this size: the child is broken.
        if (state == ResponseState::Malformed || received.size() > max_request_bytes) {
            child.kill();
            output.clear();
            return false;
        }
    }
}

bool start_child(ChildProcess &child) {
    return child.start({item_child_argument, std::to_string(process_id())});
}

void Scheduler::work(Worker &worker) {
    bool alive = worker.started ? worker.alive : start_child(worker.child);
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        ListItem &item = items[worker.item];
        bool answered = false;
        std::string output;
        int outcome = result_broken;
        if (alive) {
            hold.unlock();
            if (worker.child.send(item.request))
                answered = read_answer(worker.child, item.boundary, output, outcome);
            if (!answered) {
                // Ended (by itself, or killed): its exit code tells a fatal
                // error from a broken child.
                outcome = worker.child.wait() == child_fatal ? child_fatal : result_broken;
                alive = false;
            }
            hold.lock();
        }
        if (!alive) lost_child = true; // could not start, or ended
        item.result = outcome;
        item.output = std::move(output);
        item.done = true;
        bool wake_main = false;
        if (outcome == child_processed) {
            longest = std::max(longest, Clock::now() - worker.since);
            auto before = patience;
            patience = std::min<Clock::duration>(
                std::max<Clock::duration>(2 * longest, least_patience), most_patience);
            wake_main = patience != before;
        }
        print_ready();
        if (wake_main || finished()) changed.notify_all();
        if (!alive || stop || next == queue.size()) break;
        worker.item = queue[next++];
        worker.since = Clock::now();
    }
    hold.unlock();
    if (alive) {
        // No more systems: the child removes its run folder and ends.
        worker.child.close_input();
        if (worker.child.wait() != 0) alive = false;
    }
    hold.lock();
    if (!alive) lost_child = true;
    worker.ended = true;
    --running;
    changed.notify_all();
}

bool Scheduler::wanted_child(Clock::time_point now, Clock::time_point &wake) const {
    if (stop || next == queue.size() || running >= parallel) return false;
    // A list that ,PARALLEL= covers whole gets a child for each system at
    // once, as the children would each have one system only.
    if (queue.size() <= parallel || running == 0) return true;
    // Otherwise only when every child has been on its system longer than the
    // patience: while one keeps answering it takes the systems that wait.
    Clock::time_point latest = Clock::time_point::min();
    for (const auto &worker : workers)
        if (!worker->ended) latest = std::max(latest, worker->since);
    if (now - latest >= patience) return true;
    wake = std::min(wake, latest + patience);
    return false;
}

void Scheduler::start_worker() {
    workers.push_back(ahead ? std::move(ahead) : std::make_unique<Worker>());
    Worker &worker = *workers.back();
    worker.item = queue[next++];
    worker.since = Clock::now();
    ++running;
    worker.thread = std::thread([this, &worker] { work(worker); });
}

// What a finished item adds to the answer; false for a fatal error, whose
// output (the fatal answer) the caller takes or drops.
bool take_result(const ListItem &item, SystemCounters &count, std::string &text) {
    if (!item.needs_child) {
        count_outcome(count, item.known);
        return true;
    }
    switch (item.result) {
    case child_processed:
        text += item.output;
        ++count.Processed;
        return true;
    case child_not_found:
        return true;
    case child_fatal:
        return false;
    case child_failed:
        text += item.output;
        ++count.Failed;
        return true;
    default: // killed or broken: its output is no part of an answer
        ++count.Failed;
        return true;
    }
}

void Scheduler::print_ready() {
    if (stop) return; // what is left is the main thread's
    std::string text;
    std::size_t before = shown;
    while (shown < items.size() && items[shown].done && !fatal) {
        ++count.NoSystems;
        const ListItem &item = items[shown++];
        fatal = !take_result(item, count, text);
        if (fatal) text += item.output;
    }
    if (shown == before) return;
    if (fatal) {
        // The fatal answer closes the document: it is the run's final answer,
        // which no deadline answer may follow, and should a child not die
        // when it is killed, the watchdog ends this process with its code.
        console_answer(text);
        stop_watchdog(*ctx.deadline, 1);
        return;
    }
    if (!text.empty()) console_write(text);
    std::string rest;
    for (std::size_t i = shown; i < items.size(); ++i)
        rest += items[i].entry + "#";
    report_progress(ctx, count, false, rest);
}

} // namespace

int run_in_children(RunContext &ctx, GlobalSensor &sensor, const FileOpener &files) {
    Scheduler run(ctx);
    run.parallel = ctx.options.parallel;
    // The first child is needed in any case: it starts while the profiles
    // are read.
    run.ahead = std::make_unique<Worker>();
    run.ahead->started = true;
    run.ahead->alive = start_child(run.ahead->child);
    // The profiles are read here first, in list order, only to know which
    // labels each one carries over to the next; each child reads its own
    // again from there.
    for (std::string list = sensor.system_list; !list.empty();) {
        run.items.emplace_back();
        ListItem &item = run.items.back();
        item.entry = take_entry(list);
        LogonParameters carried = ctx.logon;
        carried.Password.clear();
        std::unique_ptr<InputFile> profile;
        try {
            profile = files.open_read(ctx.profile_directory + item.entry);
        } catch (const NumberedError &) {
            item.needs_child = false;
            item.known = SystemOutcome::Failed;
        }
        if (!profile) item.needs_child = false;
        if (!item.needs_child) {
            item.done = true;
            continue;
        }
        bool unused = false;
        ctx.logon.Password.clear();
        read_logon_profile(*profile, item.entry, ProfileRun::List, ctx.logon, unused);
        item.boundary = new_boundary();
        item.request = encode_request(
            child_request(ctx, item.entry, sensor.label_selector, carried, item.boundary));
        run.queue.push_back(run.items.size() - 1);
    }

    begin_list(ctx, run.count, sensor.system_list);
    const std::vector<ListItem> &items = run.items;
    auto due = ctx.deadline->started + std::chrono::seconds(ctx.deadline->seconds) -
               std::chrono::milliseconds(300);
    bool late = false;
    std::unique_lock<std::mutex> hold(run.lock);
    run.print_ready(); // the entries that need no child, up to the first that does
    while (!run.finished()) {
        Clock::time_point wake = due;
        while (run.wanted_child(Clock::now(), wake))
            run.start_worker();
        if (run.changed.wait_until(hold, wake) == std::cv_status::timeout && Clock::now() >= due &&
            !run.finished()) {
            late = true;
            break;
        }
    }
    bool fatal = run.fatal;
    SystemCounters &count = run.count;
    std::size_t &shown = run.shown;
    run.stop = true;
    // Out of time or after a fatal error that ends the run, whatever still
    // runs is no longer wanted; otherwise the children end as their input
    // ends.
    if (fatal || late) {
        for (auto &worker : run.workers)
            if (!worker->ended) worker->child.kill();
    }
    int exit_code = 0;
    if (!fatal && !late) {
        hold.unlock();
        exit_code = end_list(ctx, count);
        hold.lock();
        // The answer is out; a child that does not end by the deadline is
        // ended all the same, so that the run ends.
        if (!run.changed.wait_until(hold, due, [&] { return run.running == 0; }))
            for (auto &worker : run.workers)
                if (!worker->ended) worker->child.kill();
    }
    hold.unlock();
    if (run.ahead && run.ahead->alive) {
        // Started for nothing: no system needed a child.
        run.ahead->child.close_input();
        run.ahead->child.wait();
    }
    for (auto &worker : run.workers)
        worker->thread.join();
    // A killed child could not remove its run folder.
    if (fatal || late || run.lost_child) sweep_run_folders();
    if (fatal) return 1;
    if (!late) return exit_code;

    // Out of time: what has ended is shown in list order; the systems still
    // running and those never started count as failed.
    if (!console_seize()) return 0;
    std::string text;
    for (; shown < items.size(); ++shown) {
        const ListItem &item = items[shown];
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
    console_write_seized(text + timeout_answer(state, true, exit_code));
    return exit_code;
}
