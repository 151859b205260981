#include "output/console.h"

#include <cstdio>
#include <mutex>

#include "output/json.h"

namespace {

struct Console {
    std::mutex lock;
    bool answered = false;
    bool document_open = false;
    std::string held;
    unsigned held_count = 0, held_dropped = 0;
};

// Never destroyed: a watchdog thread may still use it while the process
// ends.
Console &console() {
    static Console *instance = new Console;
    return *instance;
}

void put(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

void console_write(const std::string &text, bool opens_document) {
    Console &c = console();
    std::lock_guard<std::mutex> hold(c.lock);
    put(text);
    if (opens_document) c.document_open = true;
}

void console_answer(const std::string &text) {
    Console &c = console();
    std::lock_guard<std::mutex> hold(c.lock);
    put(text);
    c.answered = true;
}

bool console_seize() {
    Console &c = console();
    c.lock.lock();
    if (c.answered) {
        c.lock.unlock();
        return false;
    }
    c.answered = true;
    return true;
}

void console_write_seized(const std::string &text) {
    put(text);
}

bool console_document_open() {
    return console().document_open;
}

void console_hold(const std::string &channel) {
    Console &c = console();
    std::lock_guard<std::mutex> hold(c.lock);
    if (c.held_count == json_max_channels) {
        ++c.held_dropped;
        return;
    }
    c.held += (c.held.empty() ? "" : ",") + channel;
    ++c.held_count;
}

const std::string &console_held() {
    return console().held;
}

unsigned console_held_dropped() {
    return console().held_dropped;
}
