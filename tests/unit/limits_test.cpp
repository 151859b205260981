#include <gtest/gtest.h>

#include "common/numbered_error.h"
#include "output/limits.h"

namespace {

TEST(LimitsFile, ReadsSectionsKeysAndComments) {
    LimitsTable t = read_limits_file("; defaults for every system\r\n"
                                     "# another comment\r\n"
                                     "\r\n"
                                     "  [ Pages-In [/Sec] ]  \r\n"
                                     "upperwarning = 500\r\n"
                                     "UPPERERROR=+2000\r\n"
                                     "WarningMessage =  Much paging: look at ST06  \r\n"
                                     "[Physical-Mem Free]\r\n"
                                     "LowerError = -1\r\n"
                                     "ErrorMessage = a = b; c\r\n"
                                     "[Empty]",
                                     "Ramgauge.Limits");
    EXPECT_TRUE(t.present);
    ASSERT_EQ(t.channels.size(), 3u);
    const ChannelLimits *paging = t.find("Pages-In [/Sec]");
    ASSERT_NE(paging, nullptr);
    EXPECT_EQ(paging->upper_warning, 500);
    EXPECT_EQ(paging->upper_error, 2000);
    EXPECT_FALSE(paging->lower_error);
    EXPECT_EQ(paging->warning_message, "Much paging: look at ST06");
    const ChannelLimits *free = t.find("Physical-Mem Free");
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(free->lower_error, -1);
    EXPECT_EQ(free->error_message, "a = b; c");
    EXPECT_EQ(t.find("physical-mem free"), nullptr) << "channel names are matched exactly";
    EXPECT_TRUE(read_limits_file("", "x").present) << "an empty file is a file";
}

TEST(LimitsFile, EveryLineItCannotTakeIsANumberedError) {
    struct Case {
        const char *text;
        const char *error;
    } cases[] = {
        {"LowerError=5\n",
         "Line 1 of C:\\P\\Ramgauge.Limits cannot be read: a key before the first "
         "[channel] line !"},
        {"[A]\nLowerErr=5\n", "Line 2 of C:\\P\\Ramgauge.Limits cannot be read: unknown key "
                              "\"LowerErr\" (UpperError, UpperWarning, LowerWarning, LowerError, "
                              "ErrorMessage, WarningMessage) !"},
        {"[A]\nLowerError=5%\n", "Line 2 of C:\\P\\Ramgauge.Limits cannot be read: LowerError must "
                                 "be a whole number, not \"5%\" !"},
        {"[A]\nLowerError=2.5\n", "LowerError must be a whole number, not \"2.5\" !"},
        {"[A]\nLowerError=\n", "LowerError must be a whole number, not \"\" !"},
        {"[A]\nLowerError=1234567890123456\n", "not \"1234567890123456\" !"},
        {"[A]\r\nLowerError=1\r\n\r\nlowererror=2\r\n",
         "Line 4 of C:\\P\\Ramgauge.Limits cannot be read: LowerError is given twice for this "
         "channel !"},
        {"[A]\n[B]\n[A]\n", "Line 3 of C:\\P\\Ramgauge.Limits cannot be read: the channel A has a "
                            "section already !"},
        {"[A\n", "a [channel] line must end with ] !"},
        {"[  ]\n", "no channel named between [ and ] !"},
        {"[A]\nLowerError 5\n", "it is neither a [channel] line, a key = value line nor a "
                                "comment !"},
    };
    for (const Case &c : cases) {
        try {
            read_limits_file(c.text, "C:\\P\\Ramgauge.Limits");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const NumberedError &e) {
            std::string what = e.what();
            EXPECT_EQ(what.rfind("Error 1031: ", 0), 0u) << what;
            EXPECT_NE(what.find(c.error), std::string::npos) << what;
        }
    }
    // The caps: a message of more than 200 characters, more than 256 channels.
    EXPECT_THROW(read_limits_file("[A]\nErrorMessage=" + std::string(201, 'x') + "\n", "L"),
                 NumberedError);
    EXPECT_NO_THROW(read_limits_file("[A]\nErrorMessage=" + std::string(200, 'x') + "\n", "L"));
    std::string many;
    for (int i = 0; i <= 256; ++i)
        many += "[C" + std::to_string(i) + "]\n";
    EXPECT_THROW(read_limits_file(many, "L"), NumberedError);
}

// PRTG's element order for limits, as its manual lists the elements of an
// EXE/XML result ("Custom Sensors", section "Advanced Script, HTTP Data,
// and REST Custom Sensors: Elements", paessler.com/manuals/prtg/custom_sensors):
// LimitMaxError, LimitMaxWarning, LimitMinWarning, LimitMinError,
// LimitErrorMsg, LimitWarningMsg, LimitMode.
TEST(LimitElements, InPrtgsOrderAndEscaped) {
    ChannelLimits all;
    all.upper_error = 90;
    all.upper_warning = 80;
    all.lower_warning = 20;
    all.lower_error = 10;
    all.error_message = "<down> & out";
    all.warning_message = "w\xFC";
    EXPECT_EQ(limit_elements(all), "\n<LimitMaxError>90</LimitMaxError>"
                                   "\n<LimitMaxWarning>80</LimitMaxWarning>"
                                   "\n<LimitMinWarning>20</LimitMinWarning>"
                                   "\n<LimitMinError>10</LimitMinError>"
                                   "\n<LimitErrorMsg>&lt;down&gt; &amp; out</LimitErrorMsg>"
                                   "\n<LimitWarningMsg>w&#252;</LimitWarningMsg>"
                                   "\n<LimitMode>1</LimitMode>");
    ChannelLimits messages_only;
    messages_only.error_message = "x";
    EXPECT_EQ(limit_elements(messages_only), "") << "a message sets no limit";
    EXPECT_EQ(limit_elements(ChannelLimits{}), "");
}

TEST(JudgeValue, AsPrtgJudgesLimits) {
    ChannelLimits l;
    l.upper_error = 90;
    l.upper_warning = 80;
    l.lower_warning = 20;
    l.lower_error = 10;
    l.error_message = "act now";
    struct Case {
        long long value;
        LimitState state;
        const char *text;
    } cases[] = {
        {50, LimitState::Ok, ""},
        {80, LimitState::Ok, ""}, // a limit itself is not broken
        {20, LimitState::Ok, ""},
        {81, LimitState::Warning, "C: 81 % is above the warning limit of 80 %"},
        {91, LimitState::Error, "C: 91 % is above the error limit of 90 % (act now)"},
        {19, LimitState::Warning, "C: 19 % is below the warning limit of 20 %"},
        {9, LimitState::Error, "C: 9 % is below the error limit of 10 % (act now)"},
    };
    for (const Case &c : cases) {
        LimitJudgement j = judge_value(l, "C", c.value, "%");
        EXPECT_EQ(j.state, c.state) << c.value;
        EXPECT_EQ(j.text, c.text);
    }
    EXPECT_EQ(judge_value(ChannelLimits{}, "C", -5, "").state, LimitState::Ok);
}

} // namespace
