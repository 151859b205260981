#include "run/deadline.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/files.h"
#include "common/numbered_error.h"
#include "output/console.h"
#include "rfc/run_folder.h"
#include "run/summary.h"

std::string timeout_answer(const DeadlineState &s, bool document_open, int &exit_code) {
    OutputDocument doc;
    doc.mode = s.mode;
    doc.channel = s.channel;
    if (!s.list) {
        exit_code = answer_exit_code(s.mode, 2);
        write_error_document(doc, "Error 1020: No answer from " + s.destination + " within " +
                                      std::to_string(s.seconds) + " seconds !");
        return doc.text;
    }
    // The system in progress and those not yet started count as failed.
    exit_code = 0;
    std::string text;
    if (!document_open) text = begin_item_document(doc);
    unsigned left = s.systems_not_started;
    SystemCounters count;
    count.NoSystems = s.NoSystems + left;
    count.Processed = s.Processed;
    count.Failed = s.Failed + left + (s.system_in_progress ? 1 : 0);
    write_item_summary(doc, s.item_name, count, s.seconds);
    return text + doc.text + "\n";
}

namespace {

// The references are to the thread's own copies, which live as long as it.
void watch(const std::shared_ptr<DeadlineState> &state, const std::shared_ptr<RunFolder> &folder) {
    std::unique_lock<std::mutex> hold(state->lock);
    for (;;) {
        auto due = state->started + std::chrono::seconds(state->seconds);
        if (std::chrono::steady_clock::now() >= due) break;
        state->wake.wait_until(hold, due);
    }
    if (state->finished) std::_Exit(state->exit_code); // answered, but stuck on the way out
    hold.unlock();
    // The run may be printing its own answer right now; then it wins.
    if (!console_seize()) return;
    int exit_code = 0;
    std::string answer;
    {
        std::lock_guard<std::mutex> again(state->lock);
        answer = timeout_answer(*state, console_document_open(), exit_code);
    }
    // The answer first: nothing on the file system may hold it up. What the
    // removal cannot do within its margin, a later run's sweep does.
    console_write_seized(answer);
    std::fflush(nullptr);
    remove_run_folder_briefly(*folder, true);
    std::_Exit(exit_code);
}

} // namespace

void start_watchdog(const std::shared_ptr<DeadlineState> &state,
                    const std::shared_ptr<RunFolder> &folder) {
    // Detached: a run that has answered ends at once, without waking it.
    std::thread(watch, state, folder).detach();
}

void set_deadline(DeadlineState &state, unsigned seconds) {
    std::lock_guard<std::mutex> hold(state.lock);
    state.seconds = seconds;
    state.wake.notify_all();
}

void stop_watchdog(DeadlineState &state, int exit_code) {
    std::lock_guard<std::mutex> hold(state.lock);
    state.finished = true;
    state.exit_code = exit_code;
}
