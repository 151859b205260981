#pragma once
#include <string>

// Standard output is shared by the run and the deadline watchdog, which may
// answer for it. Every write goes through here, under one lock, so that one
// answer, and only one, is printed whoever gives it.

// Writes text and flushes it. Once another thread has seized the console
// this waits until that thread ends the process. With opens_document the console notes that a
// document's header is out, so that whoever seizes it closes that document instead.
void console_write(const std::string &text, bool opens_document = false);

// Writes the final answer; after it nobody can seize the console any more.
void console_answer(const std::string &text);

// Takes the console for good, to give the last answer from a watchdog or a
// fatal-error handler: false when the answer is already out (or another
// thread holds it), true otherwise. A caller that gets true writes with
// console_write_seized() and then ends the process; the console stays
// locked until then.
bool console_seize();
void console_write_seized(const std::string &text);

// Whether a document header went out through console_write; for the holder
// of the seized console.
bool console_document_open();

// Channels of a JSON answer that the list run has measured so far: held back
// instead of printed, since the answer is one object, and given to whoever
// prints the final answer (the run's summary, the watchdog or the fatal-error
// handler). console_hold appends one channel object under the lock, and
// drops it once json_max_channels are held; console_held is read by the run
// thread or by the holder of the seized console.
void console_hold(const std::string &channel);
const std::string &console_held();
unsigned console_held_dropped();
