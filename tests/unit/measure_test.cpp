#include <gtest/gtest.h>

#include <cstdio>

#include "fake_rfc.h"
#include "measure/memory.h"
#include "run/answer.h"
#include "run/options.h"

namespace {

struct Measured {
    Measurement result;
    OutputDocument doc;
    MeasureState state;
    std::string printed;
};

Measured measure(MeasureState state = {}, bool item_mode = false, const std::string &item = "",
                 const std::string &options = "", OutputMode mode = OutputMode::EXEXML,
                 const LimitsTable &limits = {}) {
    RfcApi api = fake_api();
    Measured m{};
    m.state = state;
    m.doc.mode = mode;
    m.doc.channel = read_options(options).channel;
    ProgramLog log;
    std::set<std::int64_t> ids;
    testing::internal::CaptureStdout();
    m.result = measure_memory(api, m.state, 7, log);
    // The answer as the run writes it from the figures.
    if (m.result.status != RunStatus::Measured)
        m.doc.text = m.result.failure;
    else if (item_mode)
        print_item_answer(m.doc, ids, item, "PRD.P00", m.result.figures, limits);
    else
        write_memory_answer(m.doc, "PRD", m.result.figures, limits);
    m.printed = testing::internal::GetCapturedStdout();
    return m;
}

void reset_fake() {
    make_fake_api();
    fake.lines = {mem_all_line(16777216, 2097152, 4194304, 2097152, 12, 0)};
}

TEST(MeasureMemory, TheExampleFigures) {
    reset_fake();
    Measured m = measure();
    EXPECT_EQ(m.result.rc, RFC_OK);
    EXPECT_EQ(m.result.status, RunStatus::Measured);
    EXPECT_EQ(m.doc.text,
              "\n<Prtg>\n\n<Text>(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=4.194 MB, Free=50%, "
              "PageIn=12, PageOut=0 </Text>\n"
              "\n<Result><Channel>Physical-Mem Free</Channel>\n<Unit>Custom</Unit>\n"
              "<CustomUnit>MByte</CustomUnit>\n<Value>2097</Value></Result>\n"
              "\n<Result><Channel>SwapMemory Free</Channel>\n<Unit>Custom</Unit>\n"
              "<CustomUnit>PerCent</CustomUnit>\n<Value>50</Value></Result>\n"
              "\n<Result><Channel>Pages-In [/Sec]</Channel>\n<Value>12</Value></Result>\n"
              "\n<Result><Channel>Pages-Out [/Sec]</Channel>\n<Value>0</Value></Result>\n"
              "\n</Prtg>\n");
    EXPECT_EQ(m.printed, "");
    EXPECT_EQ(fake.deletes, 1);
}

TEST(MeasureMemory, TheExampleFiguresInJson) {
    reset_fake();
    Measured m = measure({}, false, "", "", OutputMode::Json);
    EXPECT_EQ(m.doc.text,
              "{\"version\":2,\"status\":\"ok\",\"message\":\"(PRD) Memory=16.777 MB, "
              "Free=2.097 MB, Swap=4.194 MB, Free=50%, PageIn=12, PageOut=0 \",\"channels\":["
              "{\"id\":10,\"name\":\"Physical-Mem Free\",\"type\":\"integer\",\"kind\":"
              "\"size_bytes_memory\",\"value\":2147483648},"
              "{\"id\":11,\"name\":\"SwapMemory Free\",\"type\":\"float\",\"kind\":\"percent\","
              "\"value\":50.00},"
              "{\"id\":12,\"name\":\"Pages-In [/Sec]\",\"type\":\"integer\",\"kind\":\"custom\","
              "\"display_unit\":\"pages/s\",\"value\":12},"
              "{\"id\":13,\"name\":\"Pages-Out [/Sec]\",\"type\":\"integer\",\"kind\":"
              "\"custom\",\"display_unit\":\"pages/s\",\"value\":0}]}\n");
    EXPECT_EQ(m.printed, "");
}

TEST(MemoryJsonChannel, PrtgUnitsAndFiguresLeftOut) {
    struct Case {
        MemoryRecord r;
        int which;
        const char *value; // nullptr: left out
    } cases[] = {
        {{12, 0, 2097152, 0, 2097152, 4194304}, 0, "2147483648"},
        {{12, 0, 0, 0, 0, 0}, 0, "0"},
        {{12, 0, 2147483647, 0, 0, 0}, 0, "2199023254528"},
        {{12, 0, -1, 0, 0, 0}, 0, nullptr},
        {{12, 0, -7, 0, 0, 0}, 0, nullptr},
        // Free swap in per cent of the swap size, whatever free memory says.
        {{12, 0, -1, 0, 2097152, 4194304}, 1, "50.00"},
        {{12, 0, 1, 0, 1, 3}, 1, "33.33"},
        {{12, 0, 1, 0, 5, 0}, 1, nullptr},
        {{12, 0, 1, 0, 5, -1}, 1, nullptr},
        {{12, 0, 1, 0, -1, 100}, 1, nullptr},
        {{12, 3, 1, 0, 0, 0}, 2, "12"},
        {{-1, 3, 1, 0, 0, 0}, 2, nullptr},
        {{12, 3, 1, 0, 0, 0}, 3, "3"},
        {{12, -3, 1, 0, 0, 0}, 3, nullptr},
        // Free memory in per cent of physical memory: none without a
        // physical memory figure above 0 or a free figure, never a division
        // by 0.
        {{12, 0, 2097152, 16777216, 0, 0}, 4, "12.50"},
        {{12, 0, 0, 16777216, 0, 0}, 4, "0.00"},
        {{12, 0, 2147483647, 2147483647, 0, 0}, 4, "100.00"},
        {{12, 0, 5, 0, 0, 0}, 4, nullptr},
        {{12, 0, 5, -16, 0, 0}, 4, nullptr},
        {{12, 0, -1, 16777216, 0, 0}, 4, nullptr},
    };
    const char *kinds[] = {"size_bytes_memory", "percent", "custom", "custom", "percent"};
    for (const Case &c : cases) {
        JsonChannel channel;
        bool written = memory_json_channel(c.which, c.r, channel);
        ASSERT_EQ(written, c.value != nullptr) << c.which << " " << (c.value ? c.value : "-");
        if (!written) continue;
        EXPECT_EQ(channel.value, c.value);
        EXPECT_EQ(channel.kind, kinds[c.which]);
        EXPECT_EQ(channel.is_float, c.which == 1 || c.which == 4);
        EXPECT_EQ(channel.display_unit, c.which == 2 || c.which == 3 ? "pages/s" : "");
    }
}

TEST(ItemChannelId, FromTheNameNextFreeOnAClash) {
    std::set<std::int64_t> used;
    // FNV-1a of "PRD.P00" is 0x7484cd0d; 10 + that modulo 2147483638.
    EXPECT_EQ(item_channel_id("PRD.P00", used), 1954801739);
    EXPECT_EQ(item_channel_id("PRD.P00", used), 1954801740) << "the same name again";
    std::set<std::int64_t> other_run;
    EXPECT_EQ(item_channel_id("PRD.P00", other_run), 1954801739) << "every run alike";
    for (const char *name : {"", "QAS.P00", "sapprd", "\xff\xff\xff\xff"}) {
        std::int64_t id = item_channel_id(name, used);
        EXPECT_GE(id, 10);
        EXPECT_LE(id, 2147483647);
    }
    EXPECT_EQ(used.size(), 6u);
}

TEST(MeasureMemory, CallParametersAndStructureInstalledOnce) {
    reset_fake();
    MeasureState state;
    Measured first = measure(state);
    Measured second = measure(first.state);
    EXPECT_EQ(fake.installs, 1);
    EXPECT_EQ(second.state.mem_all_type, 42u);
    ASSERT_EQ(fake.exporting.size(), 2u);
    EXPECT_STREQ(fake.exporting[0].name, "LOCAL_REMOTE");
    EXPECT_EQ(fake.exporting[0].nlen, 12u);
    EXPECT_EQ(fake.export_values[0], "LOCAL ");
    EXPECT_EQ(fake.exporting[1].nlen, 19u);
    EXPECT_EQ(fake.export_values[1], std::string(32, ' '));
    ASSERT_EQ(fake.importing.size(), 9u);
    EXPECT_STREQ(fake.importing[4].name, "F_MEM_ALL_READ");
    EXPECT_EQ(fake.importing[4].type, 0u);
    EXPECT_EQ(fake.importing[4].leng, 3u);
    EXPECT_EQ(fake.importing[7].leng, 25u);
}

TEST(MeasureMemory, FailureTexts) {
    struct Case {
        RFC_RC call, receive;
        std::string text;
        int receives;
    } cases[] = {
        {RFC_OK, RFC_FAILURE, "Error 1014: RFC-Failure raised !", 1},
        {RFC_OK, RFC_EXCEPTION, "Error 1012: Exception.: NOT_FOUND", 1},
        {RFC_OK, RFC_SYS_EXCEPTION, "Error 1013: Sys-Exception raised !", 1},
        {RFC_OK, 9, "Error 1015: Other Failure raised !", 1},
        {RFC_FAILURE, RFC_OK, "Error 1014: RFC-Failure raised !", 0},
    };
    for (const Case &c : cases) {
        reset_fake();
        fake.call_result = c.call;
        fake.receive_result = c.receive;
        Measured m = measure();
        EXPECT_EQ(m.result.failure, c.text);
        EXPECT_EQ(m.result.status, RunStatus::Failed);
        EXPECT_EQ(m.printed, "");
        EXPECT_EQ(fake.receives, c.receives);
        EXPECT_EQ(fake.deletes, 1) << "the table is deleted on every path";
    }
}

TEST(MeasureMemory, EmptyTableAndSeveralLines) {
    reset_fake();
    fake.lines.clear();
    Measured empty = measure();
    EXPECT_EQ(empty.result.failure, "Error 1019: No memory data received from GET_MEM_ALL !");
    EXPECT_EQ(empty.result.status, RunStatus::Failed);

    reset_fake();
    fake.lines.insert(fake.lines.begin(), mem_all_line(1, 1, 1, 1, 1, 1));
    fake.lines.push_back(mem_all_line(8000, 4000, 0, 0, 3, 4));
    Measured m = measure({}, false, "", "", OutputMode::Bramble);
    EXPECT_EQ(m.doc.text, "\n# (PRD) Memory=8 MB, Free=4 MB, Swap=0, PageIn=3, PageOut=4 "
                          "\n> Physical-Mem Free: 4 MByte\n> SwapMemory Free: 0 %"
                          "\n> Pages-In [/Sec]: 3 #\n> Pages-Out [/Sec]: 4 #\n");
}

TEST(MeasureMemory, ItemAnswer) {
    struct Case {
        std::string item;
        int free;
        std::string printed;
    } cases[] = {
        {"Pages-Out [/Sec]", 2097152,
         "\n<Result><Channel>PRD.P00</Channel>\n<Value>0</Value></Result>\n"},
        {"SwapMemory Free", 2097152,
         "\n<Result><Channel>PRD.P00</Channel>\n<Unit>Custom</Unit>\n"
         "<CustomUnit>PerCent</CustomUnit>\n<Value>50</Value></Result>\n"},
        {"SwapMemory Free", 0, ""},
        {"Physical-Mem Free", -1,
         "\n<Result><Channel>PRD.P00</Channel>\n<Unit>Custom</Unit>\n"
         "<CustomUnit>MByte</CustomUnit>\n<Value>0</Value></Result>\n"},
        {"physical-mem free", 2097152, ""},
    };
    for (const Case &c : cases) {
        reset_fake();
        fake.lines = {mem_all_line(16777216, c.free, 4194304, 2097152, 12, 0)};
        Measured m = measure({}, true, c.item);
        EXPECT_EQ(m.printed, c.printed) << c.item;
        EXPECT_EQ(m.doc.text, "");
        EXPECT_EQ(m.result.status, RunStatus::Measured);
    }
}

LimitsTable example_limits() {
    return read_limits_file("[Physical-Mem Free %]\nLowerWarning=20\nLowerError=10\n"
                            "ErrorMessage=Free memory <10% & falling\n"
                            "[Pages-In [/Sec]]\nUpperWarning=5\n",
                            "Ramgauge.Limits");
}

TEST(MeasureMemory, WithLimitsTheXmlAnswerCarriesThemAndThePercentage) {
    reset_fake();
    Measured m = measure({}, false, "", "", OutputMode::EXEXML, example_limits());
    EXPECT_EQ(m.doc.text,
              "\n<Prtg>\n\n<Text>(PRD) Memory=16.777 MB, Free=2.097 MB, Swap=4.194 MB, Free=50%, "
              "PageIn=12, PageOut=0 </Text>\n"
              "\n<Result><Channel>Physical-Mem Free</Channel>\n<Unit>Custom</Unit>\n"
              "<CustomUnit>MByte</CustomUnit>\n<Value>2097</Value></Result>\n"
              "\n<Result><Channel>SwapMemory Free</Channel>\n<Unit>Custom</Unit>\n"
              "<CustomUnit>PerCent</CustomUnit>\n<Value>50</Value></Result>\n"
              "\n<Result><Channel>Pages-In [/Sec]</Channel>\n<Value>12</Value>"
              "\n<LimitMaxWarning>5</LimitMaxWarning>\n<LimitMode>1</LimitMode></Result>\n"
              "\n<Result><Channel>Pages-Out [/Sec]</Channel>\n<Value>0</Value></Result>\n"
              "\n<Result><Channel>Physical-Mem Free %</Channel>\n<Unit>Percent</Unit>"
              "\n<Value>12</Value>\n<LimitMinWarning>20</LimitMinWarning>"
              "\n<LimitMinError>10</LimitMinError>"
              "\n<LimitErrorMsg>Free memory &lt;10% &amp; falling</LimitErrorMsg>"
              "\n<LimitMode>1</LimitMode></Result>\n"
              "\n</Prtg>\n");
}

TEST(MeasureMemory, WithLimitsJsonJudgesTheValues) {
    struct Case {
        int free;
        const char *status;
        const char *message_begins;
    } cases[] = {
        // 2 GB of 16 GB is 12 %: below the warning limit of 20; paging 12
        // is above its warning limit 5.
        {2097152, "warning",
         "Pages-In [/Sec]: 12 is above the warning limit of 5; Physical-Mem Free %: 12 % is "
         "below the warning limit of 20 % - (PRD) Memory="},
        {1048576, "error",
         "Pages-In [/Sec]: 12 is above the warning limit of 5; Physical-Mem Free %: 6 % is "
         "below the error limit of 10 % (Free memory <10% & falling) - (PRD)"},
    };
    for (const Case &c : cases) {
        reset_fake();
        fake.lines = {mem_all_line(16777216, c.free, 4194304, 2097152, 12, 0)};
        Measured m = measure({}, false, "", "", OutputMode::Json, example_limits());
        std::string begins = std::string("{\"version\":2,\"status\":\"") + c.status +
                             "\",\"message\":\"" + c.message_begins;
        EXPECT_EQ(m.doc.text.substr(0, begins.size()), begins);
        EXPECT_NE(m.doc.text.find("{\"id\":14,\"name\":\"Physical-Mem Free %\",\"type\":\"float\","
                                  "\"kind\":\"percent\",\"value\":"),
                  std::string::npos)
            << m.doc.text;
    }
}

TEST(MeasureMemory, ItemAnswerWithLimits) {
    LimitsTable limits = read_limits_file(
        "[Physical-Mem Free %]\nLowerError=10\n[PRD.P00]\nLowerError=3\n[SwapMemory Free]\n"
        "LowerWarning=60\n",
        "Ramgauge.Limits");
    LimitsTable item_only = read_limits_file("[SwapMemory Free]\nLowerWarning=60\n", "L");
    struct Case {
        const char *item;
        const LimitsTable *limits;
        std::string printed;
    } cases[] = {
        // The system's own section wins over the item's.
        {"Physical-Mem Free %", &limits,
         "\n<Result><Channel>PRD.P00</Channel>\n<Unit>Percent</Unit>\n<Value>12</Value>"
         "\n<LimitMinError>3</LimitMinError>\n<LimitMode>1</LimitMode></Result>\n"},
        // The item's section where the system has none of its own.
        {"SwapMemory Free", &item_only,
         "\n<Result><Channel>PRD.P00</Channel>\n<Unit>Custom</Unit>\n"
         "<CustomUnit>PerCent</CustomUnit>\n<Value>50</Value>"
         "\n<LimitMinWarning>60</LimitMinWarning>\n<LimitMode>1</LimitMode></Result>\n"},
        // Without a limits file there is no percentage item.
        {"Physical-Mem Free %", nullptr, ""},
    };
    LimitsTable none;
    for (const Case &c : cases) {
        reset_fake();
        Measured m = measure({}, true, c.item, "", OutputMode::EXEXML, c.limits ? *c.limits : none);
        EXPECT_EQ(m.printed, c.printed) << c.item;
    }
}

TEST(MemoryTexts, MegabytesAndPercentage) {
    EXPECT_EQ(megabyte_text(999), "0");
    EXPECT_EQ(megabyte_text(5), "0");
    EXPECT_EQ(megabyte_text(1999), "1");
    EXPECT_EQ(megabyte_text(-1234), "-1");
    EXPECT_EQ(megabyte_text(-123), "0") << "the sign is no digit";
    EXPECT_EQ(megabyte_text(-999), "0");
    EXPECT_EQ(megabyte_text(-1000), "-1");
    EXPECT_EQ(megabyte_text(INT32_MIN), "-2147483");
    MemoryRecord r;
    r.swap_size = 50;
    r.swap_free = 40;
    EXPECT_EQ(swap_percentage(r), "40") << "divisor 0 becomes 1";
    r.swap_size = 1000;
    r.swap_free = -20;
    EXPECT_EQ(swap_percentage(r), "4294967294") << "written as an unsigned 32-bit number";
    r.swap_size = -100;
    r.swap_free = INT32_MIN;
    EXPECT_EQ(swap_percentage(r), "2147483648") << "no overflow when dividing the minimum by -1";
    struct {
        std::int32_t free, phys;
        const char *percent; // nullptr: no channel
    } percentages[] = {{2097152, 16777216, "12"},
                       {2147483647, 2147483647, "100"},
                       {1, 3, "33"},
                       {0, 5, "0"},
                       {5, 0, nullptr},
                       {5, -4, nullptr},
                       {-1, 100, nullptr}};
    for (const auto &c : percentages) {
        r.free_mem = c.free;
        r.phys_mem = c.phys;
        std::string percent;
        ASSERT_EQ(physical_free_percentage(r, percent), c.percent != nullptr) << c.free;
        if (c.percent) {
            EXPECT_EQ(percent, c.percent);
        }
    }
}

} // namespace
