#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/files.h"
#include "run/child_protocol.h"
#include "run/children.h"

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
// neither blocks nor dies of SIGPIPE, and the child counts as failed. The
// child is this test program, which reads nothing; the input is larger than
// any pipe's buffer.
TEST(ChildProcess, ChildThatTakesNoInputCountsAsFailed) {
    ChildProcess child;
    ASSERT_TRUE(child.start({"--gtest_filter=-*"}, std::string(8 * 1024 * 1024, 'x')));
    child.collect();
    EXPECT_EQ(child.exit_code, -1);
}

} // namespace
