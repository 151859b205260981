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

// A child's outcomes for a system, as its answer gives them; 1 is a fatal
// RFC error, whose answer is the child's last output: the child has ended
// with that exit code, and no trailer follows.
constexpr int child_processed = 0, child_fatal = 1, child_failed = 3, child_not_found = 4;

// What a child is to do for one system, as the words of its request: the
// system (entry, its label selector, the labels carried over from the
// profiles before it in the list, never the password), the run's values
// (the limits file's path and text among them: the parent has read it),
// and the boundary that ends the child's answer for this system. They reach
// the child through its standard input: a command line is open to every
// local user, and these name the systems, users and options that the
// profiles keep to the sensor's account.
std::vector<std::string> child_request(const RunContext &ctx, const std::string &entry,
                                       const std::string &label_selector,
                                       const LogonParameters &carried, const std::string &boundary);

// The child's side: sets ctx's run values and carried labels from the words
// of a request, and entry, label_selector and boundary; false when the words
// are not a request child_request could have made.
bool take_child_request(const std::vector<std::string> &words, RunContext &ctx, std::string &entry,
                        std::string &label_selector, std::string &boundary);

// A child's answer for one system is what the run prints for it, byte for
// byte, then a trailer: the request's boundary, ":", the outcome's digit
// and "\n". The printed text may hold any bytes (values from profiles and
// from SAP), so no fixed mark could end it; the boundary is drawn at random
// for each request (boundary_size lowercase hexadecimal digits, no border:
// no beginning of it is also its end), so that no profile, list or system
// can hold it, as MIME's multipart boundaries do.
// After the trailer the child writes nothing until the next request.
constexpr std::size_t boundary_size = 32;
std::string new_boundary();
bool is_boundary(const std::string &text);
std::string response_trailer(const std::string &boundary, int outcome);

// What has come of an answer so far (received: every byte since the
// request). Partial: the trailer has not come (whole or in part); output is
// everything received, which is the answer when the child ends here with
// child_fatal. Whole: output and outcome are the answer's. Malformed: a
// trailer with another outcome, or anything after it.
enum class ResponseState { Partial, Whole, Malformed };
ResponseState read_response(const std::string &received, const std::string &boundary,
                            std::string &output, int &outcome);
