#include <gtest/gtest.h>

#include "common/numbered_error.h"
#include "run/deadline.h"
#include "run/options.h"

namespace {

TEST(ReadTimeout, WholeSecondsFromOneTo900) {
    struct Case {
        std::string options;
        unsigned seconds; // 0: refused
    } cases[] = {{"", 55},
                 {",TIMEOUT=1", 1},
                 {"#,timeout=900 X", 900},
                 {",TIMEOUT=055", 55},
                 {",TIMEOUT=0", 0},
                 {",TIMEOUT=901", 0},
                 {",TIMEOUT=", 0},
                 {",TIMEOUT=-5", 0},
                 {",TIMEOUT=1e2", 0},
                 {",TIMEOUT=1000", 0},
                 {",TIMEOUT= 5", 0}};
    for (const Case &c : cases) {
        try {
            EXPECT_EQ(read_options(c.options).timeout_seconds, c.seconds) << c.options;
        } catch (const NumberedError &e) {
            EXPECT_EQ(c.seconds, 0u) << c.options;
            EXPECT_STREQ(e.what(), "Error 1021: Invalid value for ,TIMEOUT= (1 to 900 seconds) !");
        }
    }
}

TEST(TimeoutAnswer, SingleAndList) {
    DeadlineState s;
    s.seconds = 10;
    s.destination = "P&D";
    int code = -1;
    EXPECT_EQ(timeout_answer(s, false, code),
              "<Prtg>\n<Error>1</Error>\n<Text>Error 1020: No answer from P&amp;D within 10 "
              "seconds !</Text>\n</Prtg>\n");
    EXPECT_EQ(code, 2);

    s.list = true;
    s.item_name = "Pages-In [/Sec]";
    s.NoSystems = 4;
    s.Processed = 2;
    s.Failed = 1;
    s.system_in_progress = true;
    s.systems_not_started = 3;
    const std::string summary = "\n<Text>(***) Pages-In [/Sec]: NoSystems=7, Processed=2, "
                                "Failed=5, Timeout after 10 seconds </Text>\n\n</Prtg>\n\n";
    EXPECT_EQ(timeout_answer(s, true, code), summary);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(timeout_answer(s, false, code), "\n<Prtg>\n\n" + summary)
        << "the header too when it was not out yet";
    s.mode = OutputMode::Json;
    EXPECT_EQ(timeout_answer(s, true, code),
              "{\"version\":2,\"status\":\"warning\",\"message\":\"(***) Pages-In [/Sec]: "
              "NoSystems=7, Processed=2, Failed=5, Timeout after 10 seconds \"}\n\n");
    EXPECT_EQ(code, 0);
    s.Processed = 0;
    EXPECT_NE(timeout_answer(s, false, code).find("\"status\":\"error\""), std::string::npos)
        << "every system failed or left";
    s.list = false;
    EXPECT_EQ(timeout_answer(s, false, code),
              "{\"version\":2,\"status\":\"error\",\"message\":\"Error 1020: No answer from P&D "
              "within 10 seconds !\"}\n");
    EXPECT_EQ(code, 0);
    s.list = true;
    s.Processed = 2;
    s.mode = OutputMode::Tamarack;
    EXPECT_EQ(timeout_answer(s, true, code),
              "\n# (***) Pages-In [/Sec]: NoSystems=7, Processed=2, Failed=5, Timeout after 10 "
              "seconds \n\n");
}

} // namespace
