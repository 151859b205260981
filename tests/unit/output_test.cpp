#include <gtest/gtest.h>

#include "output/channel.h"
#include "output/document.h"
#include "output/json.h"
#include "run/options.h"

namespace {

struct FramingCase {
    OutputMode mode;
    std::string options;
    std::string expected;
};

class Framing : public ::testing::TestWithParam<FramingCase> {};

const std::string xml_answer =
    "\n<Prtg>\n\n<Text>(PRD) a&lt;b </Text>\n"
    "\n<Result><Channel>Pages-In [/Sec]</Channel>\n<Value>12</Value></Result>\n"
    "\n</Prtg>\n";

TEST_P(Framing, WholeAnswerAroundOneChannel) {
    const FramingCase &c = GetParam();
    OutputDocument doc;
    doc.mode = c.mode;
    doc.text = "left over";
    begin_document(doc);
    open_text(doc);
    append_status_text(doc, "(PRD) a<b ");
    doc.channel = read_options(c.options).channel;
    close_text(doc);
    write_channel(doc, "", "Pages-In [/Sec]", "12", "");
    end_document(doc);
    EXPECT_EQ(doc.text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, Framing,
    ::testing::Values(FramingCase{OutputMode::EXEXML, "", xml_answer},
                      FramingCase{OutputMode::Pinnace, "", xml_answer},
                      FramingCase{OutputMode::Kestrel, "", xml_answer},
                      FramingCase{OutputMode::Tamarack, "",
                                  "\n# (PRD) a<b \n\nMessage.Pages_In___Sec_: Pages-In [/Sec] (#)"
                                  "\nStatistic.Pages_In___Sec_: 12\n"},
                      FramingCase{OutputMode::Bramble, "",
                                  "\n# (PRD) a<b \n> Pages-In [/Sec]: 12 #\n"},
                      FramingCase{OutputMode::Bramble, "XCH=1", "12\n"},
                      FramingCase{OutputMode::Bramble, "CH=2", "\n"},
                      // write_channel has no Json form: measure/ writes Json channels.
                      FramingCase{OutputMode::Json, "",
                                  "{\"version\":2,\"status\":\"ok\",\"message\":\"(PRD) "
                                  "a<b \"}\n"}));

TEST(ErrorDocument, SameInEveryModeAndEscaped) {
    for (OutputMode mode : {OutputMode::EXEXML, OutputMode::Tamarack, OutputMode::Bramble}) {
        OutputDocument doc;
        doc.mode = mode;
        begin_document(doc);
        open_text(doc);
        write_error_document(doc, "Error 1002: Profile C:\\A&B\\<x>.P00 is missing...");
        EXPECT_EQ(doc.text, "<Prtg>\n<Error>1</Error>\n<Text>Error 1002: Profile "
                            "C:\\A&amp;B\\&lt;x&gt;.P00 is missing...</Text>\n</Prtg>\n");
    }
}

TEST(JsonAnswer, ErrorAnswerAndExitCodes) {
    OutputDocument doc;
    doc.mode = OutputMode::Json;
    begin_document(doc);
    open_text(doc);
    write_error_document(doc, "Error 1002: Profile C:\\A\"B\\x.P00 is missing...");
    EXPECT_EQ(doc.text, "{\"version\":2,\"status\":\"error\",\"message\":\"Error 1002: Profile "
                        "C:\\\\A\\\"B\\\\x.P00 is missing...\"}\n");
    write_closing_error_document(doc, "Error 1017: x");
    EXPECT_EQ(doc.text, "{\"version\":2,\"status\":\"error\",\"message\":\"Error 1017: x\"}\n");
    // PRTG's Script v2 sensor reads the state from the answer; the other
    // modes keep their exit codes.
    EXPECT_EQ(answer_exit_code(OutputMode::Json, 2), 0);
    EXPECT_EQ(answer_exit_code(OutputMode::Json, 1), 0);
    EXPECT_EQ(answer_exit_code(OutputMode::EXEXML, 2), 2);
    EXPECT_EQ(answer_exit_code(OutputMode::Tamarack, 1), 1);
    EXPECT_TRUE(answers_with_document(OutputMode::Json));
    EXPECT_FALSE(answers_with_document(OutputMode::Bramble));
}

TEST(JsonAnswer, ItemHeaderAndStatus) {
    OutputDocument doc;
    for (auto c :
         {std::make_pair(OutputMode::EXEXML, "\n<Prtg>\n\n"),
          std::make_pair(OutputMode::Tamarack, "\n"), std::make_pair(OutputMode::Json, "")}) {
        doc.mode = c.first;
        doc.text = "left over";
        EXPECT_EQ(begin_item_document(doc), c.second);
        EXPECT_EQ(doc.text, "");
    }
    struct Case {
        unsigned processed, failed;
        const char *status;
    } cases[] = {{2, 0, "ok"}, {0, 0, "ok"}, {2, 1, "warning"}, {0, 3, "error"}};
    for (const Case &c : cases) {
        doc.mode = OutputMode::Json;
        begin_item_document(doc);
        open_text(doc);
        append_status_text(doc, "(***) s ");
        close_text(doc);
        set_item_status(doc, c.processed, c.failed);
        end_document(doc);
        EXPECT_EQ(doc.text, std::string("{\"version\":2,\"status\":\"") + c.status +
                                "\",\"message\":\"(***) s \"}\n")
            << c.processed << " " << c.failed;
    }
}

TEST(JsonString, PureAsciiEscapedAndCut) {
    struct Case {
        std::string text, escaped;
    } cases[] = {
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"Kennwort ung\xfcltig", "\"Kennwort ung\\u00fcltig\""},
        {"\x80\xff", "\"\\u0080\\u00ff\""},
        {"tab\tLF\nCR\r", "\"tab\\tLF\\nCR\\r\""},
        {std::string("a\0b\x01\x1f\x7f", 6), "\"a?b???\""},
        {"<&>/", "\"<&>/\""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(json_string(c.text), c.escaped) << c.text;
    // The limit counts characters: an escaped byte is one.
    std::string long_text = std::string(1999, 'a') + "\xfc" + "bc";
    EXPECT_EQ(json_string(long_text, json_max_message),
              "\"" + std::string(1999, 'a') + "\\u00fc\"");
}

TEST(JsonChannel, Forms) {
    JsonChannel c;
    c.id = 12;
    c.name = "Pages-In [/Sec]";
    c.kind = "custom";
    c.display_unit = "pages/s";
    c.value = "12";
    EXPECT_EQ(json_channel(c), "{\"id\":12,\"name\":\"Pages-In [/Sec]\",\"type\":\"integer\","
                               "\"kind\":\"custom\",\"display_unit\":\"pages/s\",\"value\":12}");
    c.is_float = true;
    c.kind = "percent";
    c.display_unit.clear();
    c.value = "33.33";
    EXPECT_EQ(json_channel(c), "{\"id\":12,\"name\":\"Pages-In [/Sec]\",\"type\":\"float\","
                               "\"kind\":\"percent\",\"value\":33.33}");
}

TEST(XmlEscape, PureAsciiWhateverTheBytes) {
    struct Case {
        std::string text, escaped;
    } cases[] = {
        {"a&b<c>d", "a&amp;b&lt;c&gt;d"},
        {"Kennwort ung\xfcltig", "Kennwort ung&#252;ltig"},
        {"\x80\xff", "&#128;&#255;"},
        {"tab\tLF\nCR\r", "tab\tLF\nCR\r"},
        {std::string("a\0b\x01\x1f\x7f", 6), "a?b???"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(xml_escape(c.text), c.escaped) << c.text;
    OutputDocument doc;
    doc.mode = OutputMode::Bramble;
    append_status_text(doc, "ung\xfcltig\x01");
    EXPECT_EQ(doc.text, "ung\xfcltig\x01") << "the plain-text modes keep every byte";
}

TEST(WriteChannel, XmlUnitsAndEscaping) {
    OutputDocument doc;
    write_channel(doc, "", "Free & <used>", "50", "PerCent");
    EXPECT_EQ(doc.text, "\n<Result><Channel>Free &amp; &lt;used&gt;</Channel>"
                        "\n<Unit>Custom</Unit>\n<CustomUnit>PerCent</CustomUnit>"
                        "\n<Value>50</Value></Result>\n");
}

TEST(WriteChannel, TamarackKeyUnitAndEmptyNames) {
    OutputDocument doc;
    doc.mode = OutputMode::Tamarack;
    write_channel(doc, "", "SwapMemory Free", "50", "PerCent");
    write_channel(doc, "a.b.c", "Name", "1", "MByte");
    write_channel(doc, "", "", "7", "");
    EXPECT_EQ(doc.text,
              "\n\nMessage.SwapMemory_Free: SwapMemory Free (%)\nStatistic.SwapMemory_Free: 50"
              "\n\nMessage.a_b.c: Name (MByte)\nStatistic.a_b.c: 1"
              "\n\nMessage.:  (#)\nStatistic.: 7");
}

TEST(WriteChannel, TamarackDropsEverythingAfterTheTenthCallButCounts) {
    OutputDocument doc;
    doc.mode = OutputMode::Tamarack;
    for (int i = 1; i <= 12; ++i)
        write_channel(doc, "", "C", std::to_string(i), "");
    EXPECT_EQ(doc.channel_counter, 12);
    EXPECT_NE(doc.text.find("Statistic.C: 10"), std::string::npos);
    EXPECT_EQ(doc.text.find("Statistic.C: 11"), std::string::npos);
}

TEST(WriteChannel, BrambleChannelSelection) {
    struct Case {
        std::string options;
        std::string expected;
    } cases[] = {
        {"CH=2", "b"},     {"CH=2,X", "b"}, {"CH=0", ""},
        {"CH=X", ""},      {"CH=9", ""},    {"CH=0021", "b"}, // three characters: "002"
        {"# MYCH=3", "c"}, {"CH= 2", "b"},  {"CH=+2", "b"},
        {"CH=-1", ""},     {"CH=   3", ""}, // three characters: blanks alone
    };
    for (const Case &c : cases) {
        OutputDocument doc;
        doc.mode = OutputMode::Bramble;
        doc.channel = read_options(c.options).channel;
        for (const char *v : {"a", "b", "c"})
            write_channel(doc, "", "N", v, "");
        EXPECT_EQ(doc.text, c.expected) << c.options;
    }
    OutputDocument doc;
    doc.mode = OutputMode::Bramble;
    doc.channel_counter = 122;
    doc.channel = read_options("CH=1234").channel;
    write_channel(doc, "", "N", "x", "");
    EXPECT_EQ(doc.text, "x") << "CH=1234 reads 123";
}

TEST(CleanKey, MemoryChannelKeys) {
    EXPECT_EQ(clean_key("", "Physical-Mem Free"), "Physical_Mem_Free");
    // Blank, "[" and "/" each become "_": three in a row.
    EXPECT_EQ(clean_key("", "Pages-Out [/Sec]"), "Pages_Out___Sec_");
    EXPECT_EQ(clean_key("PRD.P00", "ignored"), "PRD_P00");
    EXPECT_EQ(clean_key("a\\b", ""), "a_b");
}

TEST(GroupThousands, Table) {
    const std::pair<const char *, const char *> cases[] = {
        {"", ""},
        {"0", "0"},
        {"999", "999"},
        {"1000", "1.000"},
        {"123456", "123.456"},
        {"1234567", "1.234.567"},
        {"-1234", "-1.234"},
        {"1234567890", "1234.567.890"},
        {"-1234567890", "-1234.567.890"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(group_thousands(c.first), c.second) << c.first;
}

} // namespace
