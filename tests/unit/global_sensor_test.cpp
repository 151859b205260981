#include <gtest/gtest.h>

#include "common/numbered_error.h"
#include "config/global_sensor.h"

namespace {

struct Read {
    GlobalSensor sensor;
    std::string error;
};

Read read(const char *file, const std::string &text, const std::string &options = "",
          const std::string &argument2 = "", const std::string &item = "") {
    auto in_file = InputFile::from_text(text);
    InputFile &in = *in_file;
    Read r;
    try {
        r.sensor = read_global_sensor_file(&in, file, options, argument2, item);
    } catch (const NumberedError &e) {
        r.error = e.what();
    }
    return r;
}

const std::string program = "Sensor=\"SAP Ramgauge\"";

TEST(ItemProfile, ServerLinesOnly) {
    Read r = read("Quadrant.Prf",
                  "# Gsng: 123456789012A.P00#B.P00#\n# GSNG: 123456789012X.P00#\n"
                  "# Gsng  123456789012Y.P00#\n# Gsng: 123456789012C.P00#\n",
                  "", "", "Pages-In [/Sec]");
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.sensor.system_list, "A.P00#B.P00#C.P00#");
    EXPECT_EQ(r.sensor.item_name, "Pages-In [/Sec]");
    EXPECT_FALSE(r.sensor.options_replaced);
}

TEST(GlobalSensorFile, SensorLine) {
    std::string text = "# GSNG: mysensor    A.P00#\n"
                       "# gsnx: MySensor   CH=2:x,SYSLOG," +
                       program +
                       ",Item=Pages-Out:[/Sec],Alias\n"
                       "# GSNX: MYSENSOR   y," +
                       program +
                       ",Item=Other,Sid\n"
                       "# GSNG: MYSENSOR  xyB.P00#\n"
                       "# GSNG: MYSENSOR2   Z.P00#\n";
    Read r = read("SAP Quadrant.Gbl", text, "MYSENSOR", "mysensor");
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.sensor.system_list, "A.P00#B.P00#")
        << "later server lines count; names match in 10";
    EXPECT_EQ(r.sensor.item_name, "Pages-Out [/Sec]");
    EXPECT_EQ(r.sensor.label_selector, "2") << "the second sensor line changes nothing";
    EXPECT_EQ(r.sensor.options, "CH=2 x,SYSLOG");
    EXPECT_EQ(read("SAP Quadrant.Gbl", text, "MYSENSOR #", "x").sensor.system_list, "A.P00#B.P00#")
        << "the name ends at the first blank";
    EXPECT_EQ(read("SAP Quadrant.Gbl", text, "MYSENSOR2", "x").error,
              "Error 1030: Global Sensor x not found...")
        << "MYSENSOR2 has only a server line";
}

TEST(GlobalSensorFile, LabelFlags) {
    struct Case {
        std::string flags, selector;
    } cases[] = {{"", "1"},     {",Profile", "1"},   {",Alias", "2"},        {",Host", "3"},
                 {",Sid", "4"}, {",Sid,Alias", "4"}, {",Host,Profile", "3"}, {",alias", "1"}};
    for (const Case &c : cases) {
        Read r = read("SAP Quadrant.Gbl",
                      "# GSNX: S          o," + program + ",Item=X" + c.flags +
                          "\n# GSNG: S           A.P00#\n",
                      "S", "S");
        EXPECT_EQ(r.sensor.label_selector, c.selector) << c.flags;
    }
}

TEST(GlobalSensorFile, Errors) {
    struct Case {
        const char *file;
        std::string text, error;
    } cases[] = {
        {"SAP Quadrant.Gbl", "# GSNG: S           A.P00#\n",
         "Error 1030: Global Sensor arg2 not found..."},
        {"SAP Quadrant.Gbl",
         "# GSNX: S          Item=X,Sensor=\"SAP Other\"\n# GSNG: S           A#\n",
         "Error 1029: Invalid Sensor-Allocation..."},
        {"SAP Quadrant.Gbl", "# GSNX: S          Item=X," + program + "\n",
         "Error 1025: Global Server Listing missing..."},
        {"SAP Quadrant.Gbl", "# GSNX: S          x," + program + "\n# GSNG: S           A#\n",
         "Error 1026: Global Item Idenification missing..."},
        {"Quadrant.Prf", "# Gsng: 123456789012A.P00#\n",
         "Error 1026: Global Item Idenification missing..."},
        {"Quadrant.Prf", "", "Error 1025: Global Server Listing missing..."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(read(c.file, c.text, "S", "arg2").error, c.error) << c.text;

    EXPECT_THROW(read_global_sensor_file(nullptr, "Quadrant.Prf", "", "", "X"), NumberedError);
    try {
        read_global_sensor_file(nullptr, "SAP Quadrant.Gbl", "", "", "");
    } catch (const NumberedError &e) {
        EXPECT_STREQ(e.what(), "Error 10x1: ProFile SAP Quadrant.Gbl is missing...");
    }
}

TEST(GlobalSensorFile, LongLinesAreRefusedOrSkippedWholeNeverSplit) {
    // 199 characters per read: a line of 199 is read whole; a longer line
    // that the reader would use is refused, any other is skipped whole, and
    // its remainder is never taken for a line of its own.
    struct Case {
        const char *file;
        std::string head, key; // head: lines before; key: the 20 characters before a list
    } cases[] = {{"Quadrant.Prf", "", "# Gsng: 123456789012"},
                 {"SAP Quadrant.Gbl", "# GSNX: S          Item=X," + program + "\n",
                  "# GSNG: S" + std::string(11, ' ')}};
    for (const Case &c : cases) {
        std::string full(199 - 20 - 1, 'p'), longer(200 - 20 - 1, 'p');
        std::string next = c.key + "B#\n";
        std::string refused =
            std::string("Error 1016: A line in ") + c.file + " is longer than 199 characters...";
        for (const char *eol : {"\n", "\r\n"}) {
            EXPECT_EQ(read(c.file, c.head + c.key + full + "#" + eol + next, "S", "S", "X")
                          .sensor.system_list,
                      full + "#B#")
                << c.file;
            EXPECT_EQ(read(c.file, c.head + c.key + longer + "#" + eol + next, "S", "S", "X").error,
                      refused)
                << c.file;
        }
        // The last line of the file, without a line end, fits as it did.
        EXPECT_EQ(
            read(c.file, c.head + next + c.key + full + "#", "S", "S", "X").sensor.system_list,
            "B#" + full + "#")
            << c.file;
        // A comment whose second read would look like a server line.
        std::string comment = "#" + std::string(198, ' ') + c.key + "X.P00#\n";
        EXPECT_EQ(read(c.file, c.head + comment + next, "S", "S", "X").sensor.system_list, "B#")
            << c.file;
    }
    // Over-long lines of another sensor are skipped; the sensor's own
    // sensor line is refused too.
    std::string other = "# GSNG: T          " + std::string(300, 'q') + "#\n";
    EXPECT_EQ(read("SAP Quadrant.Gbl",
                   other + "# GSNX: S          Item=X," + program + "\n# GSNG: S           A#\n",
                   "S", "S")
                  .sensor.system_list,
              "A#");
    EXPECT_EQ(read("SAP Quadrant.Gbl",
                   "# GSNX: S          Item=X," + program + std::string(200, ' ') +
                       "\n# GSNG: S           A#\n",
                   "S", "S")
                  .error,
              "Error 1016: A line in SAP Quadrant.Gbl is longer than 199 characters...");

    std::string list;
    for (int i = 0; i < 140; ++i)
        list += "# Gsng: 123456789012ABCDEFGHIJ.P00#\n";
    EXPECT_EQ(read("Quadrant.Prf", list, "", "", "X").error,
              "Error 1016: Global Server Listing is longer than 2047 characters...");
}

TEST(ItemValue, StopsAndBlanks) {
    EXPECT_EQ(read_item_value("Item=A:B,C", "Item=A:B,C", 5), "A B");
    EXPECT_EQ(read_item_value("Item=" + std::string(95, 'z'), "Item=" + std::string(95, 'z'), 5),
              std::string(90, 'z'));
}

} // namespace
