#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/password.h"
#include "fake_files.h"
#include "fake_rfc.h"
#include "run/list.h"

namespace {

TEST(ListEntries, TakenInOrderAndCounted) {
    struct Case {
        const char *list;
        std::vector<std::string> entries;
    } cases[] = {
        {"", {}},
        {"A.P00", {"A.P00"}},
        {"A.P00#B.P00", {"A.P00", "B.P00"}},
        {"A.P00#B.P00#", {"A.P00", "B.P00"}}, // a trailing "#" adds nothing
        {"A.P00##B.P00", {"A.P00", "", "B.P00"}},
        {"#A.P00", {"", "A.P00"}},
    };
    for (const Case &c : cases) {
        std::string list = c.list;
        EXPECT_EQ(count_entries(list), c.entries.size()) << c.list;
        std::vector<std::string> taken;
        while (!list.empty())
            taken.push_back(take_entry(list));
        EXPECT_EQ(taken, c.entries) << c.list;
    }
}

TEST(ListEntries, ChannelLabelBySelector) {
    LogonParameters p;
    p.Hostname = "sapprd";
    p.Destination = "PRD";
    struct Case {
        const char *selector, *entry, *label;
    } cases[] = {
        {"1", "PRD.P00", "PRD.P00"}, {"2", "PRD.P00", "PRD"},
        {"2", "ABCD", ""},           {"2", "ABC", ""},
        {"3", "PRD.P00", "sapprd"},  {"4", "PRD.P00", "PRD"},
        {"9", "PRD.P00", "PRD.P00"}, {"", "PRD.P00", "PRD.P00"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(channel_label(c.selector, c.entry, p), c.label) << c.selector << " " << c.entry;
}

std::string profile_text(const std::string &host, const std::string &password) {
    std::string text = "Extcompany.: ACME\r\nDestination: PRD\r\nClient.....: 100\r\n"
                       "User.......: monitor\r\nLanguage...: E\r\nMode.......: R/3\r\n"
                       "Sysnr......: 00\r\nGwhost.....: gw\r\nGwservice..: sapgw00\r\n";
    if (!host.empty()) text += "Hostname...: " + host + "\r\n";
    if (!password.empty())
        text += "Password...: " + scramble_password("secret", 4, "abcdefghijklmn") + "\r\n";
    return text;
}

// A list scanned one system after the other through the fake library: the
// labels a profile lacks carry over from the profiles before it, the
// password never does, and each system counts as the summary counts it.
TEST(ListRun, LabelsCarryOverAndSystemsCount) {
    struct Step {
        const char *entry;
        const char *profile_host; // nullptr: no profile at all
        const char *password;     // "" none; any other: the profile has one
        SystemOutcome outcome;
        const char *host_opened; // the host the library was asked for; "" no logon
    } steps[] = {
        {"A.P00", "sapa", "one", SystemOutcome::Processed, "sapa"},
        {"GONE.P00", nullptr, "", SystemOutcome::NotFound, ""},
        {"B.P00", "", "two", SystemOutcome::Processed, "sapa"},  // A's host carried over
        {"C.P00", "sapc", "", SystemOutcome::Failed, ""},        // no password of its own
        {"D.P00", "", "four", SystemOutcome::Processed, "sapc"}, // C's host carried over
    };
    FakeFiles files;
    for (const Step &s : steps)
        if (s.profile_host) files.files[s.entry] = profile_text(s.profile_host, s.password);
    RunContext ctx;
    ctx.rfc = make_fake_api();
    ctx.options.connect_seconds = 0; // no reachability check of made-up hosts
    ctx.item_name = "Pages-In [/Sec]";
    SystemCounters count;
    for (const Step &s : steps) {
        fake.opens = 0;
        fake.hostname.clear();
        fake.lines = {mem_all_line(16777216, 2097152, 4194304, 2097152, 12, 0)};
        ++count.NoSystems;
        bool started = false;
        testing::internal::CaptureStdout();
        SystemOutcome outcome = scan_system(ctx, s.entry, "3", files, [&] { started = true; });
        std::string printed = testing::internal::GetCapturedStdout();
        count_outcome(count, outcome);
        EXPECT_EQ(outcome, s.outcome) << s.entry;
        EXPECT_EQ(started, s.profile_host != nullptr) << s.entry;
        EXPECT_EQ(fake.opens, *s.host_opened ? 1 : 0) << s.entry;
        EXPECT_EQ(fake.hostname, s.host_opened) << s.entry;
        // Labelled by the host (selector 3), which may be carried over.
        std::string channel = std::string("\n<Result><Channel>") + s.host_opened +
                              "</Channel>\n<Value>12</Value></Result>\n";
        EXPECT_EQ(printed, *s.host_opened ? channel : "") << s.entry;
    }
    EXPECT_EQ(count.NoSystems, 5u);
    EXPECT_EQ(count.Processed, 3u);
    EXPECT_EQ(count.Failed, 1u);
}

TEST(ListRun, SummaryAtTheEndAndWhenLate) {
    SystemCounters count;
    count.NoSystems = 5;
    count.Processed = 3;
    count.Failed = 1;
    struct Case {
        OutputMode mode;
        unsigned late;
        std::string text;
    } cases[] = {
        {OutputMode::EXEXML, 0,
         "\n<Text>(***) Mem: NoSystems=5, Processed=3, Failed=1 </Text>\n\n</Prtg>\n"},
        {OutputMode::EXEXML, 30,
         "\n<Text>(***) Mem: NoSystems=5, Processed=3, Failed=1, Timeout after 30 seconds "
         "</Text>\n\n</Prtg>\n"},
    };
    for (const Case &c : cases) {
        OutputDocument doc;
        doc.mode = c.mode;
        write_item_summary(doc, "Mem", count, c.late);
        EXPECT_EQ(doc.text, c.text) << c.late;
    }
}

} // namespace
