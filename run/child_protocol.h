#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "config/logon_profile.h"
#include "run/context.h"

// A request to a child is a list of byte strings (any bytes, empty ones
// too) in one block: the number of words in decimal on the first line, then
// each word in lowercase hexadecimal on a line of its own, every line ended
// by "\n". The count tells where the block ends, so that a reader needs no
// end of input after it. Readers refuse blocks of more than
// max_request_words words or max_request_bytes bytes.
constexpr std::size_t max_request_words = 64;
constexpr std::size_t max_request_bytes = 1024 * 1024;
std::string encode_request(const std::vector<std::string> &words);

// Decodes block, which must be exactly one whole request: false (words
// then undefined) when it is truncated, malformed, too large, or followed
// by anything.
bool decode_request(const std::string &block, std::vector<std::string> &words);

// Reads one request from in, up to the end of its last line and no further;
// false as decode_request, or when the input ends or fails before the block
// is whole.
bool read_request(std::FILE *in, std::vector<std::string> &words);

// A child's exit codes for its outcome; 1 is a fatal RFC error, whose
// answer is the child's output.
constexpr int child_processed = 0, child_fatal = 1, child_failed = 3, child_not_found = 4;

// What a child is to do, as the words of its request: the system (entry,
// its label selector, the labels carried over from the profiles before it
// in the list, never the password) and the run's values. They reach the
// child through its standard input: a command line is open to every local
// user, and these name the systems, users and options that the profiles
// keep to the sensor's account.
std::vector<std::string> child_request(const RunContext &ctx, const std::string &entry,
                                       const std::string &label_selector,
                                       const LogonParameters &carried);

// The child's side: sets ctx's run values and carried labels from the words
// of a request, and entry and label_selector; false when the words are not
// a request child_request could have made.
bool take_child_request(const std::vector<std::string> &words, RunContext &ctx, std::string &entry,
                        std::string &label_selector);
