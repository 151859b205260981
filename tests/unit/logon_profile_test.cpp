#include <gtest/gtest.h>

#include "common/numbered_error.h"
#include "config/logon_profile.h"
#include "config/password.h"

namespace {

const std::string secret = scramble_password("secret", 4, "abcdefghijklmn");

std::string complete_profile() {
    return "Extcompany.: ACME\r\nDestination: PRD\r\nClient.....: 100\r\n"
           "User.......: monitor\r\nPassword...: " +
           secret +
           "\r\nLanguage...: E\r\nMode.......: R/3\r\n"
           "Hostname...: sapprd\r\nSysnr......: 00\r\nGwhost.....: sapprd\r\n"
           "Gwservice..: sapgw00\r\n";
}

// Reads text as the single-system run does; returns the numbered error, if any.
std::string read_single(const std::string &text, LogonParameters &params) {
    auto in_file = InputFile::from_text(text);
    InputFile &in = *in_file;
    bool mark = false;
    try {
        read_logon_profile(in, "PRD.P00", ProfileRun::Single, params, mark);
        check_logon_parameters("PRD.P00", ProfileRun::Single, params, mark);
    } catch (const NumberedError &e) {
        return e.what();
    }
    return "";
}

TEST(LogonProfile, CompleteProfile) {
    LogonParameters p;
    EXPECT_EQ(read_single(complete_profile(), p), "");
    EXPECT_EQ(p.User, "MONITOR");
    EXPECT_EQ(p.Password, "secret");
    EXPECT_EQ(p.Client, "100");
    EXPECT_EQ(p.Gwservice, "sapgw00");
}

TEST(LogonProfile, LineRules) {
    LogonParameters p;
    read_single("Client.....:100\n", p);
    EXPECT_EQ(p.Client, "00") << "character 13 is always skipped";
    p = {};
    read_single("Extcompany.: " + std::string(75, 'x') + "\n", p);
    EXPECT_EQ(p.Extcompany, std::string(60, 'x'));
    p = {};
    read_single("Client.....: 100\nclient.....: 200\nClient.....: 300\n", p);
    EXPECT_EQ(p.Client, "300") << "lower-case label ignored, last occurrence wins";
    p = {};
    read_single("Mode.......:  R/3 \n", p);
    EXPECT_EQ(p.Mode, " R/3 ") << "values are not trimmed";
}

TEST(LogonProfile, LongLineIsSplitAtTheLimit) {
    // 99 characters per read in the single-system run, 199 in the multi-system run.
    std::string line = "Destination: PRD" + std::string(83, ' ') + "Client.....: 555\n";
    ASSERT_EQ(line.find("Client"), 99u);
    LogonParameters single;
    read_single(line, single);
    EXPECT_EQ(single.Client, "555");
    LogonParameters multi;
    auto in_file = InputFile::from_text(line);
    InputFile &in = *in_file;
    bool mark = false;
    read_logon_profile(in, "PRD.P00", ProfileRun::List, multi, mark);
    EXPECT_EQ(multi.Client, "");
}

TEST(LogonProfile, SingleRunErrors) {
    auto without = [](const std::string &label) {
        std::string text = complete_profile();
        std::string::size_type at = text.find(label);
        text.erase(at, text.find('\n', at) - at + 1);
        return text;
    };
    auto replaced = [](const std::string &label, const std::string &value) {
        std::string text = complete_profile();
        std::string::size_type at = text.find(label) + 13;
        text.replace(at, text.find('\r', at) - at, value);
        return text;
    };
    struct Case {
        std::string text, error;
    } cases[] = {
        {"", "Error 1006: Username in Profile PRD.P00 is missing..."},
        {without("Extcompany.:"), "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
        {without("Gwservice..:"), "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
        {replaced("User.......:", "m"), "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
        {replaced("Password...:", ""), "Error 1007: Password in Profile PRD.P00 is missing..."},
        {replaced("Password...:", "short"),
         "Error 1004: Invalid Password in Profile PRD.P00 found..."},
        {replaced("Sysnr......:", "1"), "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
        {replaced("Destination:", "ABCDEFGHIJK"), ""},
        {replaced("Destination:", "ABCDEFGHIJKL"),
         "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
        {replaced("Hostname...:", std::string(48, 'h')),
         "Error 1003: Invalid Parameter(s) at PRD.P00 found..."},
    };
    for (const Case &c : cases) {
        LogonParameters p;
        EXPECT_EQ(read_single(c.text, p), c.error) << c.text;
    }
}

TEST(LogonProfile, MultiRunMarksAndKeepsEarlierValues) {
    LogonParameters p;
    bool mark = false;
    auto first_file = InputFile::from_text(complete_profile());
    InputFile &first = *first_file;
    read_logon_profile(first, "A.P00", ProfileRun::List, p, mark);
    check_logon_parameters("A.P00", ProfileRun::List, p, mark);
    EXPECT_FALSE(mark);

    auto second_file = InputFile::from_text("Gwhost.....: other\nPassword...: broken\n");
    InputFile &second = *second_file;
    read_logon_profile(second, "B.P00", ProfileRun::List, p, mark);
    EXPECT_TRUE(mark);
    EXPECT_EQ(p.Password, "secret") << "a failed password keeps the earlier one";
    EXPECT_EQ(p.Gwhost, "other");

    mark = false;
    auto third_file = InputFile::from_text("Password...: \n");
    InputFile &third = *third_file;
    read_logon_profile(third, "C.P00", ProfileRun::List, p, mark);
    check_logon_parameters("C.P00", ProfileRun::List, p, mark);
    EXPECT_TRUE(mark) << "an empty password entry empties the password";
}

} // namespace
