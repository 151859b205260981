#include <gtest/gtest.h>

#include <vector>

#include "common/numbered_error.h"
#include "run/startup.h"

namespace {

RunContext start(std::vector<const char *> args) {
    args.insert(args.begin(), "ramgauge");
    RunContext ctx;
    start_up(ctx, static_cast<int>(args.size()), args.data());
    return ctx;
}

TEST(StartUp, BannerAndNoOptions) {
    RunContext ctx = start({"PRD"});
    EXPECT_EQ(banner(ctx).size(),
              std::string("* 14:03:27 SAP Ramgauge Vers 4.3 / 29.08.22").size());
    EXPECT_EQ(banner(ctx).substr(10), " SAP Ramgauge Vers 4.3 / 29.08.22");
    EXPECT_EQ(ctx.options.upper, "");
    EXPECT_EQ(ctx.options.text, "");
    EXPECT_FALSE(ctx.list_run);
    EXPECT_EQ(ctx.profile_file_name, "PRD");
}

TEST(StartUp, MissingProfileName) {
    RunContext ctx;
    const char *argv[] = {"ramgauge"};
    try {
        start_up(ctx, 1, argv);
        FAIL();
    } catch (const NumberedError &e) {
        EXPECT_STREQ(e.what(), "Error 1001: Parameter for Profile-Name is missing !");
    }
}

TEST(StartUp, OptionsJoinedUpperCasedAndCopied) {
    RunContext ctx = start({"PRD", "ch=2,Syslog", "#x", "ignored"});
    EXPECT_EQ(ctx.options.text, "ch=2,Syslog #x");
    EXPECT_EQ(ctx.options.upper, "CH=2,SYSLOG #X");
    EXPECT_TRUE(ctx.options.syslog);
    EXPECT_TRUE(ctx.options.progress_marks);
    EXPECT_EQ(ctx.doc.channel.number, 2);
}

TEST(StartUp, ItemOption) {
    struct Case {
        const char *a2, *a3;
        std::string item;
    } cases[] = {
        {"item=SwapMemory:Free", nullptr, "SwapMemory Free"},
        {"ITEM=Pages-In:[/Sec],#", nullptr, "Pages-In [/Sec]"},
        {"ITEM=A#B", nullptr, "A#B"},
        {"ITEM=", nullptr, ""},
        {"ITEM=,x", nullptr, ""},
        {"x", "ITEM=Physical-Mem:Free", "Physical-Mem Free"},
    };
    for (const Case &c : cases) {
        std::vector<const char *> args = {"PROD", c.a2};
        if (c.a3) args.push_back(c.a3);
        RunContext ctx = start(args);
        EXPECT_TRUE(ctx.list_run) << c.a2;
        EXPECT_EQ(ctx.item_name, c.item) << c.a2;
        EXPECT_EQ(ctx.profile_file_name, "Quadrant.Prf");
    }
    std::string long_item = "ITEM=" + std::string(100, 'x');
    RunContext ctx = start({"PRD", long_item.c_str()});
    EXPECT_EQ(ctx.item_name, std::string(90, 'x'));
}

TEST(StartUp, OverlongArgumentsAreRefused) {
    std::string name(64, 'P'), options(128, 'o');
    EXPECT_THROW(start({name.c_str()}), NumberedError);
    EXPECT_NO_THROW(start({name.c_str() + 1}));
    EXPECT_THROW(start({"PRD", options.c_str()}), NumberedError);
    EXPECT_NO_THROW(start({"PRD", options.c_str() + 1}));
    std::string half(63, 'o');
    EXPECT_NO_THROW(start({"PRD", half.c_str(), half.c_str()}));                     // 127
    EXPECT_THROW(start({"PRD", (half + "o").c_str(), half.c_str()}), NumberedError); // 128
}

} // namespace
