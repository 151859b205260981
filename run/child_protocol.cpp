#include "run/child_protocol.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <random>
#include <utility>

#include "common/numbered_error.h"
#include "run/options.h"

namespace {

constexpr std::size_t max_count_digits = 3;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The word count of a block's first line, block[0, end); false when that
// is no count a reader takes.
bool request_count(const std::string &block, std::size_t end, std::size_t &count) {
    if (end == 0 || end > max_count_digits) return false;
    count = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (block[i] < '0' || block[i] > '9') return false;
        count = count * 10 + static_cast<std::size_t>(block[i] - '0');
    }
    return count <= max_request_words;
}

// The labels that carry over from profile to profile, as a child needs them
// to read its own profile as the sequential run would; never the password.
std::string LogonParameters::*const carried_fields[] = {
    &LogonParameters::Extcompany, &LogonParameters::Destination, &LogonParameters::Client,
    &LogonParameters::User,       &LogonParameters::Language,    &LogonParameters::Mode,
    &LogonParameters::Hostname,   &LogonParameters::Sysnr,       &LogonParameters::Gwhost,
    &LogonParameters::Gwservice};

} // namespace

std::string encode_request(const std::vector<std::string> &words) {
    static const char digits[] = "0123456789abcdef";
    std::string block = std::to_string(words.size()) + "\n";
    for (const std::string &word : words) {
        for (unsigned char c : word) {
            block += digits[c >> 4];
            block += digits[c & 15];
        }
        block += '\n';
    }
    return block;
}

bool decode_request(const std::string &block, std::vector<std::string> &words) {
    words.clear();
    if (block.size() > max_request_bytes) return false;
    std::size_t end = block.find('\n'), count = 0;
    if (end == std::string::npos || !request_count(block, end, count)) return false;
    std::size_t at = end + 1;
    for (std::size_t n = 0; n < count; ++n) {
        end = block.find('\n', at);
        if (end == std::string::npos || (end - at) % 2 != 0) return false;
        std::string word;
        word.reserve((end - at) / 2);
        for (; at < end; at += 2) {
            int high = hex_value(block[at]), low = hex_value(block[at + 1]);
            if (high < 0 || low < 0) return false;
            word += static_cast<char>(high * 16 + low);
        }
        words.push_back(std::move(word));
        at = end + 1;
    }
    return at == block.size();
}

bool read_request(std::FILE *in, std::vector<std::string> &words) {
    words.clear();
    std::string block;
    // Appends one line; false when the input ends first or the block grows
    // beyond limit bytes.
    auto read_line = [&](std::size_t limit) {
        for (;;) {
            int c = std::getc(in);
            if (c == EOF || block.size() >= limit) return false;
            block += static_cast<char>(c);
            if (c == '\n') return true;
        }
    };
    std::size_t count = 0;
    if (!read_line(max_count_digits + 1) || !request_count(block, block.size() - 1, count))
        return false;
    for (std::size_t n = 0; n < count; ++n)
        if (!read_line(max_request_bytes)) return false;
    return decode_request(block, words);
}

std::vector<std::string> child_request(const RunContext &ctx, const std::string &entry,
                                       const std::string &label_selector,
                                       const LogonParameters &carried,
                                       const std::string &boundary) {
    std::vector<std::string> words = {ctx.profile_directory,
                                      entry,
                                      label_selector,
                                      ctx.options.upper,
                                      ctx.options.text,
                                      ctx.item_name,
                                      output_mode_name(ctx.doc.mode),
                                      ctx.progress_display ? "1" : "0",
                                      std::to_string(ctx.options.connect_seconds),
                                      ctx.limits_path,
                                      ctx.limits_text};
    for (auto field : carried_fields)
        words.push_back(carried.*field);
    words.push_back(boundary);
    return words;
}

bool take_child_request(const std::vector<std::string> &words, RunContext &ctx, std::string &entry,
                        std::string &label_selector, std::string &boundary) {
    if (words.size() != 12 + std::size(carried_fields) || !is_boundary(words.back())) return false;
    ctx.profile_directory = words[0];
    entry = words[1];
    label_selector = words[2];
    // words[3], the options upper-cased, is read anew from words[4].
    try {
        set_options(ctx, read_options(words[4]));
    } catch (const NumberedError &) {
        return false;
    }
    ctx.item_name = words[5];
    for (OutputMode m : {OutputMode::EXEXML, OutputMode::Pinnace, OutputMode::Kestrel,
                         OutputMode::Tamarack, OutputMode::Bramble})
        if (words[6] == output_mode_name(m)) ctx.doc.mode = m;
    ctx.progress_display = words[7] == "1";
    ctx.options.connect_seconds =
        static_cast<unsigned>(std::strtoul(words[8].c_str(), nullptr, 10));
    // The parent has read the limits file; its text is read here again
    // only when it differs from the last request's.
    if (words[9] != ctx.limits_path || words[10] != ctx.limits_text) {
        ctx.limits_path = words[9];
        ctx.limits_text = words[10];
        try {
            ctx.limits = ctx.limits_path.empty()
                             ? LimitsTable{}
                             : read_limits_file(ctx.limits_text, ctx.limits_path);
        } catch (const NumberedError &) {
            return false;
        }
    }
    std::size_t at = 11;
    for (auto field : carried_fields)
        ctx.logon.*field = words[at++];
    boundary = words.back();
    return true;
}

std::string new_boundary() {
    static const char digits[] = "0123456789abcdef";
    // Made once: opening the source costs more than drawing from it.
    thread_local std::random_device source;
    std::string boundary;
    while (!is_boundary(boundary)) {
        boundary.clear();
        while (boundary.size() < boundary_size) {
            auto bits = static_cast<std::uint32_t>(source());
            for (int i = 0; i < 8 && boundary.size() < boundary_size; ++i, bits >>= 4)
                boundary += digits[bits & 15];
        }
    }
    return boundary;
}

bool is_boundary(const std::string &text) {
    if (text.size() != boundary_size ||
        text.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    // No border (a beginning that is also its end): then no output, whatever
    // its last bytes, can make the boundary's first appearance begin before
    // the trailer.
    for (std::size_t n = 1; n < text.size(); ++n)
        if (text.compare(0, n, text, text.size() - n, n) == 0) return false;
    return true;
}

std::string response_trailer(const std::string &boundary, int outcome) {
    return boundary + ":" + std::to_string(outcome) + "\n";
}

ResponseState read_response(const std::string &received, const std::string &boundary,
                            std::string &output, int &outcome) {
    std::string::size_type at = received.find(boundary);
    if (at == std::string::npos) {
        output = received;
        return ResponseState::Partial;
    }
    std::string rest = received.substr(at + boundary.size());
    // ":", a digit, "\n": what has come of it must fit.
    static const std::string outcomes[] = {"0", "3", "4"};
    for (const std::string &digit : outcomes) {
        std::string trailer = ":" + digit + "\n";
        if (rest.size() < trailer.size() && trailer.compare(0, rest.size(), rest) == 0) {
            output = received;
            return ResponseState::Partial;
        }
        if (rest == trailer) {
            output = received.substr(0, at);
            outcome = digit[0] - '0';
            return ResponseState::Whole;
        }
    }
    return ResponseState::Malformed;
}
