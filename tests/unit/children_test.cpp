#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/files.h"
#include "run/child_protocol.h"
#include "run/children.h"
#include "run/options.h"

namespace {

using Words = std::vector<std::string>;

// A stream that holds text, read from a file of the test's own.
struct Stream {
    std::string path = temporary_directory() + "ramgauge-request-" + std::to_string(process_id());
    std::FILE *file = nullptr;
    explicit Stream(const std::string &text) {
        if (std::FILE *out = std::fopen(path.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
        file = std::fopen(path.c_str(), "rb");
    }
    ~Stream() {
        if (file) std::fclose(file);
        std::remove(path.c_str());
    }
};

std::string all_bytes() {
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

// Every byte survives the round trip, and empty words keep their place.
TEST(ChildRequest, RoundTripKeepsEveryWord) {
    const std::vector<Words> lists = {
        {},
        {""},
        {"", "", ""},
        {"C:\\PRTG\\Custom Sensors\\EXEXML\\", "PRD.P00", "x,SYSLOG,PARALLEL=2"},
        {"line\nbreak", "carriage\r\nreturn", std::string("nul\0inside", 10), "\n"},
        {all_bytes(), "\xff\x80\xe4", std::string(1, '\0')},
        Words(max_request_words, "w"),
    };
    for (const Words &words : lists) {
        std::string block = encode_request(words);
        Words back = {"stale"};
        EXPECT_TRUE(decode_request(block, back)) << block;
        EXPECT_EQ(back, words) << block;
    }
}

// The block holds nothing but digits, lowercase hex and line ends, whatever
// the words hold: no byte a console or text-mode stream would change.
TEST(ChildRequest, BlockIsPlainText) {
    std::string block = encode_request({all_bytes(), "\r\n\x1a"});
    EXPECT_EQ(block.find_first_not_of("0123456789abcdef\n"), std::string::npos);
    EXPECT_EQ(block.substr(0, 2), "2\n");
}

TEST(ChildRequest, EveryTruncationIsRefused) {
    std::string block = encode_request({"PRD.P00", "", "monitor", std::string("a\0b", 3)});
    Words words;
    for (std::size_t n = 0; n < block.size(); ++n)
        EXPECT_FALSE(decode_request(block.substr(0, n), words)) << n;
}

TEST(ChildRequest, MalformedBlocksAreRefused) {
    const struct {
        const char *what;
        std::string block;
    } cases[] = {
        {"empty", ""},
        {"no count", "\n"},
        {"count not a number", "x\n"},
        {"count with a sign", "+1\n41\n"},
        {"count with blanks", " 1\n41\n"},
        {"count too long", "0001\n41\n"},
        {"count over the limit", std::to_string(max_request_words + 1) + "\n"},
        {"fewer words than counted", "2\n41\n"},
        {"more lines than counted", "1\n41\n42\n"},
        {"trailing bytes", "1\n41\nx"},
        {"odd number of digits", "1\n414\n"},
        {"uppercase digits", "1\n4A\n"},
        {"not hexadecimal", "1\n4g\n"},
        {"a carriage return", "1\n41\r\n"},
        {"a blank in a word", "1\n41 42\n"},
        {"a NUL in a word", std::string("1\n4\0\n", 5)},
        {"too large", "1\n" + std::string(max_request_bytes, '4') + "\n"},
    };
    for (const auto &c : cases) {
        Words words;
        EXPECT_FALSE(decode_request(c.block, words)) << c.what;
    }
}

// A reader takes one block from a stream and stops at its end: what follows
// (a next request) stays unread. A stream that ends early gives nothing.
TEST(ChildRequest, ReadRequestTakesOneBlockFromAStream) {
    Words first = {"PRD.P00", "", std::string("\n\0", 2)}, second = {"QAS.P00"};
    Stream stream(encode_request(first) + encode_request(second));
    ASSERT_NE(stream.file, nullptr);
    Words words;
    EXPECT_TRUE(read_request(stream.file, words));
    EXPECT_EQ(words, first);
    EXPECT_TRUE(read_request(stream.file, words));
    EXPECT_EQ(words, second);
    EXPECT_FALSE(read_request(stream.file, words)); // at the end

    std::string whole = encode_request(first);
    const std::string refused[] = {
        whole.substr(0, whole.size() - 1), // cut
        "12345678\n",                      // a count too long
        "1\n4x\n",                         // malformed
    };
    for (const std::string &text : refused) {
        Stream cut(text);
        ASSERT_NE(cut.file, nullptr);
        EXPECT_FALSE(read_request(cut.file, words)) << text;
    }
}

// A child that ends without reading its input breaks the pipe: the parent
// neither blocks nor dies of SIGPIPE, and learns that the child has ended.
// The child is this test program, which reads nothing; the input is larger
// than any pipe's buffer.
TEST(ChildProcess, ChildThatTakesNoInputBreaksThePipe) {
    ChildProcess child;
    ASSERT_TRUE(child.start({"--gtest_filter=-*"}));
    EXPECT_FALSE(child.send(std::string(8 * 1024 * 1024, 'x')));
    char buffer[4096];
    while (child.read(buffer, sizeof buffer) > 0) {
    }
    EXPECT_EQ(child.wait(), 0);
    EXPECT_FALSE(child.send("more"));
}

// No beginning of it is also its end.
const std::string boundary = "0123456789abcdef0123456789abcdee";

// What a child prints for a system comes back byte for byte, whatever it
// holds (parts of the boundary too), and however the pipe cuts it into
// pieces: before the last byte of the trailer the answer is partial.
TEST(ChildResponse, RoundTripKeepsTheOutputAndOutcome) {
    const std::string outputs[] = {
        "",
        "<Result>\n<Channel>PRD.P00</Channel>\n<Value>12</Value>\n</Result>\n",
        all_bytes(),
        boundary.substr(0, 31) + ":0\n", // all but one digit of the boundary
        boundary.substr(1) + ":3\n" + boundary.substr(0, 16),
        "0123456789abcdef0123456789abcde:4\n", // another boundary's likeness
    };
    for (int outcome : {child_processed, child_failed, child_not_found}) {
        for (const std::string &output : outputs) {
            std::string answer = output + response_trailer(boundary, outcome);
            for (std::size_t cut = 0; cut <= answer.size(); ++cut) {
                std::string got;
                int got_outcome = -1;
                ResponseState state =
                    read_response(answer.substr(0, cut), boundary, got, got_outcome);
                if (cut < answer.size()) {
                    EXPECT_EQ(state, ResponseState::Partial) << output << " cut at " << cut;
                    EXPECT_EQ(got, answer.substr(0, cut));
                } else {
                    EXPECT_EQ(state, ResponseState::Whole) << output;
                    EXPECT_EQ(got, output);
                    EXPECT_EQ(got_outcome, outcome);
                }
            }
        }
    }
}

// A trailer the child cannot have written breaks the answer; the parent
// then takes the child for broken.
TEST(ChildResponse, MalformedTrailersAreRefused) {
    const struct {
        const char *what;
        std::string received;
    } cases[] = {
        {"a fatal outcome, which never has a trailer", "x" + boundary + ":1\n"},
        {"an outcome no child gives", boundary + ":9\n"},
        {"two digits", boundary + ":03\n"},
        {"no colon", boundary + "0\n"},
        {"a blank before the digit", boundary + ": 0\n"},
        {"a carriage return", boundary + ":0\r\n"},
        {"bytes after the trailer", boundary + ":0\nnext"},
        {"a second trailer", boundary + ":0\n" + boundary + ":0\n"},
    };
    for (const auto &c : cases) {
        std::string output;
        int outcome = -1;
        EXPECT_EQ(read_response(c.received, boundary, output, outcome), ResponseState::Malformed)
            << c.what;
    }
}

// Boundaries are fresh for each request and have the form a child accepts.
TEST(ChildResponse, BoundariesAreFreshAndWellFormed) {
    std::string a = new_boundary(), b = new_boundary();
    EXPECT_TRUE(is_boundary(a)) << a;
    EXPECT_TRUE(is_boundary(b)) << b;
    EXPECT_NE(a, b);
    for (const std::string &bad :
         {std::string(), boundary.substr(1), boundary + "0",
          std::string("0123456789ABCDEF0123456789abcdef"), boundary.substr(1) + "\n"})
        EXPECT_FALSE(is_boundary(bad)) << bad;
}

// A child takes exactly the requests a parent makes, and refuses the words
// of any other (a word missing, one too many, a boundary it cannot use).
TEST(ChildRequest, RequestWordsRoundTrip) {
    RunContext parent;
    parent.profile_directory = "C:\\PRTG\\";
    set_options(parent, read_options("x,SysLog,PARALLEL=2"));
    parent.item_name = "Pages-In [/Sec]";
    parent.doc.mode = OutputMode::Pinnace;
    parent.progress_display = true;
    parent.options.connect_seconds = 7;
    LogonParameters carried;
    carried.Hostname = "sapprd";
    carried.Gwservice = "sapgw00";
    carried.Password = "never sent";
    std::vector<std::string> words = child_request(parent, "PRD.P00", "3", carried, boundary);
    RunContext child;
    std::string entry, selector, got_boundary;
    ASSERT_TRUE(take_child_request(words, child, entry, selector, got_boundary));
    EXPECT_EQ(entry, "PRD.P00");
    EXPECT_EQ(selector, "3");
    EXPECT_EQ(got_boundary, boundary);
    EXPECT_EQ(child.profile_directory, parent.profile_directory);
    EXPECT_EQ(child.options.text, "x,SysLog,PARALLEL=2");
    EXPECT_EQ(child.options.upper, "X,SYSLOG,PARALLEL=2");
    EXPECT_TRUE(child.options.syslog);
    EXPECT_EQ(child.options.parallel, 2u);
    EXPECT_EQ(child.item_name, parent.item_name);
    EXPECT_EQ(child.doc.mode, OutputMode::Pinnace);
    EXPECT_TRUE(child.progress_display);
    EXPECT_EQ(child.options.connect_seconds, 7u);
    EXPECT_EQ(child.logon.Hostname, "sapprd");
    EXPECT_EQ(child.logon.Gwservice, "sapgw00");
    EXPECT_EQ(child.logon.Password, "");
    for (const std::string &word : words)
        EXPECT_EQ(word.find("never sent"), std::string::npos);

    std::vector<std::string> fewer(words.begin(), words.end() - 1), more = words, unusable = words;
    more.push_back("");
    unusable.back() = "not a boundary";
    for (const auto &bad : {fewer, more, unusable})
        EXPECT_FALSE(take_child_request(bad, child, entry, selector, got_boundary));
}

} // namespace
