#include <gtest/gtest.h>

#include <map>

#include "common/numbered_error.h"
#include "run/locate.h"
#include "run/startup.h"

#include "fake_files.h"

namespace {

struct Located {
    RunContext ctx;
    std::string content, error;
};

Located locate(const FakeFiles &files, const char *name, const char *options = nullptr,
               const char *program_folder = "") {
    Located out;
    const char *argv[] = {"ramgauge", name, options};
    out.ctx.program_folder = program_folder;
    try {
        start_up(out.ctx, options ? 3 : 2, argv);
        auto in = locate_profile(out.ctx, files);
        out.content = in->read_rest();
    } catch (const NumberedError &e) {
        out.error = e.what();
    }
    return out;
}

const std::string exexml = "PRTG Network Monitor\\Custom Sensors\\ExeXml\\";

TEST(LocateProfile, NamesAndGlobalRule) {
    FakeFiles files;
    files.files = {
        {"PROD.P00", "a"}, {"prd.p01", "b"}, {"x.ab.P00", "c"}, {"D:\\cfg\\SAP Quadrant.Gbl", "g"}};
    EXPECT_EQ(locate(files, "PROD").content, "a");
    EXPECT_EQ(locate(files, "prd.p01").content, "b");
    EXPECT_EQ(locate(files, "x.ab").content, "c");
    Located global = locate(files, "D:\\cfg\\Global.p00", "@");
    EXPECT_TRUE(global.ctx.list_run);
    EXPECT_EQ(global.ctx.profile_directory, "D:\\cfg\\");
    EXPECT_EQ(global.ctx.profile_path, "D:\\cfg\\SAP Quadrant.Gbl");
    EXPECT_EQ(locate(files, "GLOBAL.P01").error, "Error 1002: Profile GLOBAL.P01 is missing...");
}

TEST(LocateProfile, HostFilesLastOneWins) {
    FakeFiles files;
    files.files = {{"C:\\Sensors\\Ramgauge.Kestrel", ""},
                   {"C:\\Sensors\\Ramgauge.Pinnace", ""},
                   {"C:\\Sensors\\PROD.P00", "p"}};
    Located l = locate(files, "C:\\Sensors\\PROD");
    EXPECT_EQ(l.ctx.doc.mode, OutputMode::Pinnace);
    EXPECT_EQ(l.ctx.profile_path, "C:\\Sensors\\PROD.P00");
    EXPECT_EQ(l.content, "p");
    files.files.erase("C:\\Sensors\\PROD.P00");
    EXPECT_EQ(locate(files, "C:\\Sensors\\PROD").error,
              "Error 1002: Profile C:\\Sensors\\PROD.P00 is missing...");
}

TEST(LocateProfile, JsonHostFileInTheProfileDirectoryOrBesideTheProgram) {
    const char *program = "\\opt\\paessler\\share\\scripts\\";
    FakeFiles files;
    files.files = {{"C:\\Sensors\\Ramgauge.Kestrel", ""},
                   {"C:\\Sensors\\Ramgauge.Json", ""},
                   {"C:\\Sensors\\PROD.P00", "p"}};
    EXPECT_EQ(locate(files, "C:\\Sensors\\PROD").ctx.doc.mode, OutputMode::Json);

    // Beside the program it counts only where no host file lies in the
    // profile directory; the search itself is unchanged.
    files.files = {{std::string(program) + "Ramgauge.Json", ""}, {"PROD.P00", "cwd"}};
    Located l = locate(files, "PROD", nullptr, program);
    EXPECT_EQ(l.ctx.doc.mode, OutputMode::Json);
    EXPECT_EQ(l.content, "cwd");
    files.files["Ramgauge.Bramble"] = "";
    EXPECT_EQ(locate(files, "PROD", nullptr, program).ctx.doc.mode, OutputMode::Bramble);
    EXPECT_EQ(locate(files, "PROD").ctx.doc.mode, OutputMode::Bramble);
    files.files.erase("Ramgauge.Bramble");
    EXPECT_EQ(locate(files, "PROD").ctx.doc.mode, OutputMode::EXEXML) << "no program folder known";
}

TEST(LocateProfile, BesideTheProgramOnlyWhereTheSearchFindsNothing) {
    const char *program = "\\opt\\scripts\\";
    FakeFiles files;
    files.files = {{"\\opt\\scripts\\PROD.P00", "beside"},
                   {"\\Program Files\\" + exexml + "PROD.P00", "pf"}};
    EXPECT_EQ(locate(files, "PROD", nullptr, program).content, "pf");
    files.files.erase("\\Program Files\\" + exexml + "PROD.P00");
    Located l = locate(files, "PROD", nullptr, program);
    EXPECT_EQ(l.content, "beside");
    EXPECT_EQ(l.ctx.profile_directory, program);
    EXPECT_EQ(l.ctx.profile_path, "\\opt\\scripts\\PROD.P00");
    EXPECT_EQ(l.ctx.doc.mode, OutputMode::EXEXML) << "the mode comes from host files only";

    files.files["C:\\PRTG_Path.Txt"] = "C:\\Apps";
    EXPECT_EQ(locate(files, "PROD", nullptr, program).content, "beside") << "after the path file";
    // Not for a directory named by "@" or a host file, and not for other errors.
    files.files = {{"\\opt\\scripts\\PROD.P00", "beside"}, {"sub\\Ramgauge.Pinnace", ""}};
    EXPECT_EQ(locate(files, "sub\\PROD", nullptr, program).error,
              "Error 1002: Profile sub\\PROD.P00 is missing...");
    EXPECT_EQ(locate(files, "sub\\PROD", "@", program).error,
              "Error 1002: Profile sub\\PROD.P00 is missing...");
    files.files = {{"\\opt\\scripts\\PROD.P00", "beside"},
                   {"C:\\PRTG_Path.Txt", "C:\\" + std::string(300, 'a')}};
    EXPECT_EQ(locate(files, "PROD", nullptr, program).error.substr(0, 11), "Error 1016:");
    files.files = {};
    EXPECT_EQ(locate(files, "PROD", nullptr, program).error,
              "Error 1002: Profile PROD.P00 is missing...");
}

TEST(ModeBeforeLocation, JsonHostFileHereOrBesideTheProgram) {
    FakeFiles files;
    RunContext ctx;
    EXPECT_EQ(mode_before_location(ctx, files), OutputMode::EXEXML);
    ctx.program_folder = "\\opt\\scripts\\";
    files.files = {{"\\opt\\scripts\\Ramgauge.Json", ""}};
    EXPECT_EQ(mode_before_location(ctx, files), OutputMode::Json);
    files.files = {{"Ramgauge.Json", ""}};
    EXPECT_EQ(mode_before_location(ctx, files), OutputMode::Json);
    files.files = {{"Ramgauge.Kestrel", ""}};
    EXPECT_EQ(mode_before_location(ctx, files), OutputMode::EXEXML);
}

TEST(LocateProfile, PrtgPathFile) {
    FakeFiles files;
    files.files = {{"C:\\PRTG_Path.Txt", "# comment\r\nC:\\Program Files\r\nC:\\Apps\r\nxx\r\n"},
                   {"C:\\Apps\\" + exexml + "PROD.P00", "apps"},
                   {"C:\\Program Files\\" + exexml + "PROD.P00", "pf"}};
    Located l = locate(files, "C:\\Sensors\\PROD");
    EXPECT_EQ(l.content, "apps");
    EXPECT_EQ(l.ctx.profile_directory, "C:\\Apps\\" + exexml);
    EXPECT_EQ(l.ctx.doc.mode, OutputMode::EXEXML);

    files.files = {{"C:\\PRTG_Path.Txt", "D:"}, {"D:\\Custom Sensors\\ExeXml\\PROD.P00", "d"}};
    EXPECT_EQ(locate(files, "PROD").ctx.profile_path, "D:\\Custom Sensors\\ExeXml\\PROD.P00");

    files.files = {{"C:\\PRTG_Path.Txt", "C:\\Apps"}, {"PROD.P00", "cwd"}};
    EXPECT_EQ(locate(files, "PROD").error, "Error 1002: Profile PROD.P00 is missing...");

    // Lines are used whole up to 259 characters; a longer one is refused,
    // never used in pieces.
    std::string dir_200 = "C:\\" + std::string(197, 'a');
    files.files = {{"C:\\PRTG_Path.Txt", dir_200 + "\r\n"}, {dir_200 + "\\PROD.P00", "whole"}};
    EXPECT_EQ(locate(files, "PROD").content, "whole");
    std::string dir_259 = "C:\\" + std::string(256, 'a');
    files.files = {{"C:\\PRTG_Path.Txt", dir_259 + "\r\n"}};
    EXPECT_EQ(locate(files, "PROD").error.substr(0, 28),
              "Error 1016: Path " + dir_259.substr(0, 11))
        << "the line is taken; the profile path beyond it is too long";
    const std::string too_long =
        "Error 1016: A line in C:\\PRTG_Path.Txt is longer than 259 characters...";
    for (std::size_t length : {260, 261, 400}) {
        std::string dir = "C:\\" + std::string(length - 3, 'a');
        files.files = {{"C:\\PRTG_Path.Txt", "C:\\Apps\n" + dir + "\n"},
                       {"C:\\Apps\\PROD.P00", "apps"},
                       {dir.substr(0, 99) + "\\PROD.P00", "piece"}};
        EXPECT_EQ(locate(files, "PROD").error, too_long) << length;
    }
    files.files = {{"C:\\PRTG_Path.Txt", "xx" + std::string(120, 'a') + "\nC:\\Apps\n"},
                   {"C:\\Apps\\PROD.P00", "apps"}};
    EXPECT_EQ(locate(files, "PROD").content, "apps") << "a long line that is no directory";
    for (std::size_t length : {259, 260, 300, 1000}) {
        files.files = {{"C:\\PRTG_Path.Txt", "C:\\Apps\n# " + std::string(length - 2, 'c') + "\n"},
                       {"C:\\Apps\\PROD.P00", "apps"}};
        EXPECT_EQ(locate(files, "PROD").content, "apps") << "a comment line of " << length;
    }
}

TEST(LocateProfile, PresentButUnreadable) {
    // Wherever the search meets a profile it cannot open, it says so and
    // names the file it found; the program's folder never stands in for it.
    struct Case {
        std::map<std::string, std::string> files;
        std::string unreadable;
        const char *name, *options, *program_folder;
    } cases[] = {
        {{}, "PROD.P00", "PROD", "@", ""},
        {{{"sub\\Ramgauge.Kestrel", ""}}, "sub\\PROD.P00", "sub\\PROD", nullptr, ""},
        {{}, "PROD.P00", "PROD", nullptr, ""},
        {{}, "\\Program Files\\" + exexml + "PROD.P00", "PROD", nullptr, ""},
        {{{"C:\\PRTG_Path.Txt", "C:\\Apps\r\n"}},
         "C:\\Apps\\" + exexml + "PROD.P00",
         "PROD",
         nullptr,
         ""},
        {{{"C:\\PRTG_Path.Txt", "C:\\Apps\r\n"}}, "C:\\Apps\\PROD.P00", "PROD", nullptr, ""},
        {{{"\\opt\\bin\\PROD.P00", "beside"}}, "PROD.P00", "PROD", nullptr, "\\opt\\bin\\"},
        {{}, "\\opt\\bin\\PROD.P00", "PROD", nullptr, "\\opt\\bin\\"},
    };
    for (const Case &c : cases) {
        FakeFiles files;
        files.files = c.files;
        files.unreadable = {c.unreadable};
        EXPECT_EQ(locate(files, c.name, c.options, c.program_folder).error,
                  "Error 1002: Profile " + c.unreadable + " cannot be read...");
    }
}

TEST(LocateProfile, FixedDirectoriesWithoutPathFile) {
    FakeFiles files;
    files.files = {{"\\Program Files (x86)\\" + exexml + "PROD.P00", "x86"},
                   {"\\Program Files\\" + exexml + "PROD.P00", "pf"}};
    Located l = locate(files, "PROD");
    EXPECT_EQ(l.content, "pf");
    EXPECT_EQ(l.ctx.profile_path, "\\Program Files\\" + exexml + "PROD.P00");
}

TEST(LocateProfile, ProgressDisplayMarkers) {
    FakeFiles files;
    files.files = {{"PROD.P00", ""}};
    for (const char *marker : {"#", "@", "$", "%", "ITEM=A#B"})
        EXPECT_TRUE(locate(files, "PROD", marker).ctx.progress_display) << marker;
    EXPECT_FALSE(locate(files, "PROD", "CH=1").ctx.progress_display);
}

} // namespace
