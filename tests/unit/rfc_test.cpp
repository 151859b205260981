#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/numbered_error.h"
#include "fake_files.h"
#include "fake_rfc.h"
#include "rfc/connection.h"
#include "rfc/failure.h"
#include "rfc/run_folder.h"
#include "run/options.h"

namespace {

LogonParameters params() {
    LogonParameters p;
    p.Destination = "PRD";
    p.Client = "100";
    p.User = "MON";
    p.Password = "abcde";
    p.Language = "E";
    p.Mode = "R/3";
    p.Hostname = "sapprd";
    p.Sysnr = "07";
    p.Gwhost = "gw";
    p.Gwservice = "sapgw07";
    return p;
}

// Opens through the fake library; the records stay valid for the checks.
RFC_HANDLE open_with(const LogonParameters &p, const std::string &options = "",
                     const FakeFiles &files = FakeFiles(), RunFolder *folder = nullptr) {
    static ConnectionRecords records;
    records = ConnectionRecords{};
    RfcApi api = make_fake_api();
    ProgramLog log;
    RunFolder none;
    RFC_HANDLE handle = open_connection({api, records, log, files, folder ? *folder : none},
                                        {p, read_options(options).overrides, "PRD.P00", true});
    end_session(folder ? *folder : none);
    return handle;
}

TEST(OpenConnection, R3RecordsPaddingAndTrace) {
    EXPECT_EQ(open_with(params()), 7u);
    EXPECT_EQ(fake.opens, 1);
    EXPECT_EQ(fake.options.mode, RFC_MODE_R3ONLY);
    EXPECT_EQ(fake.options.trace, 0);
    EXPECT_EQ(fake.user, "MON         ");
    EXPECT_EQ(fake.password, "abcde     ");
    EXPECT_EQ(fake.hostname, "sapprd");
    EXPECT_EQ(fake.r3.sysnr, 7);
    EXPECT_STREQ(fake.options.client, "100");
}

TEST(OpenConnection, ModeAndNulls) {
    LogonParameters p = params();
    p.Mode = "R/2";
    p.Gwservice = "";
    open_with(p);
    EXPECT_EQ(fake.options.mode, RFC_MODE_CPIC);
    EXPECT_EQ(fake.gwhost, "gw");
    EXPECT_TRUE(fake.gwservice_null);

    p = params();
    p.Mode = "r/2";
    p.Hostname = "";
    p.Gwhost = "";
    p.Sysnr = "";
    open_with(p);
    EXPECT_EQ(fake.options.mode, RFC_MODE_R3ONLY);
    EXPECT_TRUE(fake.hostname_null);
    EXPECT_TRUE(fake.gwhost_null);
    EXPECT_EQ(fake.r3.sysnr, 0) << "an empty system number leaves the fresh record's 0";

    p = params();
    p.User = "FOURTEENCHARSX";
    open_with(p);
    EXPECT_EQ(fake.user, "FOURTEENCHARSX");
}

TEST(OpenConnection, Overrides) {
    open_with(params(), "#,Host=sapQAS,no=12 x");
    EXPECT_EQ(fake.hostname, "sapQAS") << "the value keeps its case as typed";
    EXPECT_EQ(fake.r3.sysnr, 12);
    open_with(params(), ",HOST=,NO=");
    EXPECT_EQ(fake.hostname, "sapprd") << "an empty override keeps the profile's value";
    EXPECT_EQ(fake.r3.sysnr, 7);
    EXPECT_EQ(option_value("A,HOST=X Y", "a,host=x y", ",HOST="), "x");
    EXPECT_EQ(read_options("#,Host=sapQAS,no=12 x").overrides.sysnr, "12");
}

std::string read_file(const std::string &native) {
    std::string text;
    if (std::FILE *f = std::fopen(native.c_str(), "rb")) {
        char buffer[256];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

TEST(WriteLogLine, HandleIsSigned32BitOnEveryBuild) {
    std::string path =
        temporary_directory() + "ramgauge-unit-" + std::to_string(process_id()) + "-trace.log";
    std::remove(path.c_str());
    AppendFile file;
    ASSERT_TRUE(file.open(path));
    ProgramLog log;
    log.steps = &file;
    write_log_line(log, 0xFFFFFFFFu, "RfcOpen called", "");
    write_log_line(log, 7u, "RfcCall called", "x");
    file.close();
    log.steps = nullptr;
    write_log_line(log, 8u, "not written without the log (,SYSLOG)", "");
#ifdef _WIN32
    EXPECT_EQ(read_file(path), "-1 RfcOpen called \r\n7 RfcCall called x\r\n");
#else
    EXPECT_EQ(read_file(path), "-1 RfcOpen called \n7 RfcCall called x\n");
#endif
    std::remove(path.c_str());
}

TEST(ConnectString, QuotesBlanksAndRefusesDoubleQuotes) {
    LogonParameters p = params();
    EXPECT_EQ(connect_string(p, "PRD.P00"), "CLIENT=100 USER=MON PASSWD=abcde LANG=D DEST=PRD");
    p.Password = "sec ret1";
    p.User = "A\tB";
    EXPECT_EQ(connect_string(p, "PRD.P00"),
              "CLIENT=100 USER=\"A\tB\" PASSWD=\"sec ret1\" LANG=D DEST=PRD");
    // Every white-space character ends an unquoted value for the reader.
    p.User = "MON";
    for (const char *value : {"a\nb", "a\vb", "a\fb", "a\rb"}) {
        p.Password = value;
        EXPECT_EQ(connect_string(p, "PRD.P00"),
                  std::string("CLIENT=100 USER=MON PASSWD=\"") + value + "\" LANG=D DEST=PRD");
    }
    p.Password = "se\"c";
    try {
        connect_string(p, "PRD.P00");
        ADD_FAILURE() << "a double quote was passed";
    } catch (const NumberedError &e) {
        EXPECT_STREQ(e.what(), "Error 1022: Password of PRD.P00 holds a double quote, which the "
                               "RFC library cannot take !");
    }
}

// The library session runs in the run folder, which holds the destination
// file's copy under the name that RFC_INI gave before the library was loaded.
TEST(OpenConnection, DestinationFileGoesToTheRunFolder) {
    std::string started_in = current_directory();
    FakeFiles files;
    // Found in the folder the run started in, whatever the current directory.
    files.files[started_in + "SapRfc.PRD"] = std::string("DEST=PRD\r\nASHOST=x\r\n\x1a\0z", 23);
    LogonParameters p = params();
    p.Language = "E";
    RunFolder folder;
    create_run_folder(folder);
    std::string ini = folder.path + "SapRfc.ini";
    EXPECT_EQ(std::getenv("RFC_INI"), ini);
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_with(p, "", files, &folder), 7u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "* SapRfc.Ini.......: PRD<\n");
    EXPECT_EQ(fake.opens, 0);
    EXPECT_EQ(fake.connect_string, "CLIENT=100 USER=MON PASSWD=abcde LANG=D DEST=PRD");
    EXPECT_EQ(fake.rfc_ini, ini);
    EXPECT_EQ(fake.rfc_ini_content, files.files[started_in + "SapRfc.PRD"])
        << "copied byte for byte";
    EXPECT_EQ(fake.open_directory, folder.path);
    EXPECT_EQ(current_directory(), started_in) << "the session has ended";

    std::string path = folder.path;
    finish_session(folder, false);
    EXPECT_EQ(std::fopen(ini.c_str(), "rb"), nullptr)
        << "the folder is emptied for the next session";
    remove_run_folder(folder, false);
    path.pop_back();
    EXPECT_TRUE(make_private_folder(path)) << "the folder is gone";
    remove_folder(path);
    set_environment("RFC_INI", "");
    set_environment("RFC_TRACE_DIR", "");
}

TEST(TraceFileReason, LineTests) {
    struct Case {
        const char *name;
        const char *trace; // nullptr: no trace file
        const char *appended;
    } cases[] = {
        {"no file", nullptr, " - Look for Trace-File"},
        {"no qualifying line", "hello\n", " - Please Check Trace-File !"},
        {"arrow line", "1234567======> text A\r\n", " - text A"},
        {"later ERROR line wins", "1234567======> A\nERROR       B\n", " - B"},
        {"ERROR line cut at 12", "ERROR  xx\n", " - Please Check Trace-File !"},
        {"cleared by a later header", "ERROR       B\n**** ERROR file opened\n",
         " - Please Check Trace-File !"},
        {"arrow at the start does not count", "======> A\n", " - Please Check Trace-File !"},
        {"last line without line end", "ERROR       last", " - last"},
        {"a line ends at a NUL byte", "ERROR       ab\0cd\n", " - ab"},
    };
    for (const Case &c : cases) {
        FakeFiles files;
        if (c.trace)
            files.files["Dev_Rfc.Trc"] =
                std::string(c.trace, std::strlen(c.trace) + (std::strstr(c.name, "NUL") ? 4 : 0));
        EXPECT_EQ(" - " + library_trace_reason(files, "Dev_Rfc.Trc"), c.appended) << c.name;
    }
}

TEST(RunFolder, NamesOfRunFolders) {
    struct Case {
        const char *name;
        bool run_folder;
        unsigned long process;
    } cases[] = {
        {"ramgauge-1234-0a1b2c3d", true, 1234},
        {"ramgauge-1234-SapRfc.ini", true, 1234},
        {"ramgauge-1234", false, 0},
        {"ramgauge-1234-", false, 0},
        {"ramgauge--x", false, 0},
        {"ramgauge-99999999999-x", false, 0},
        {"other-1234-x", false, 0},
    };
    for (const Case &c : cases) {
        unsigned long process = 0;
        EXPECT_EQ(run_folder_process(c.name, process), c.run_folder) << c.name;
        if (c.run_folder) {
            EXPECT_EQ(process, c.process) << c.name;
        }
    }
}

#ifndef _WIN32
TEST(RunFolder, InMemoryUnlessTmpdirNamesAFolder) {
    const char *was = std::getenv("TMPDIR");
    std::string kept = was ? was : "";
    std::string memory = ::access(memory_folder, W_OK | X_OK) == 0
                             ? std::string(memory_folder) + "/"
                             : temporary_directory();
    struct Case {
        const char *tmpdir; // nullptr: not set
        std::string parent;
    } cases[] = {{nullptr, memory}, {"", memory}, {"/tmp", "/tmp/"}, {"/tmp/", "/tmp/"}};
    for (const Case &c : cases) {
        if (c.tmpdir)
            ::setenv("TMPDIR", c.tmpdir, 1);
        else
            ::unsetenv("TMPDIR");
        RunFolder folder;
        create_run_folder(folder);
        EXPECT_EQ(folder.path.compare(0, c.parent.size(), c.parent), 0)
            << folder.path << " for TMPDIR " << (c.tmpdir ? c.tmpdir : "unset");
        remove_run_folder(folder, false);
    }
    if (was)
        ::setenv("TMPDIR", kept.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    set_environment("RFC_INI", "");
    set_environment("RFC_TRACE_DIR", "");
}
#endif

TEST(RunFolder, SharedTraceIsRenamedBeforeItPassesItsLimit) {
    std::string path =
        temporary_directory() + "ramgauge-unit-" + std::to_string(process_id()) + "-Dev_Rfc.Trc";
    std::remove(path.c_str());
    std::remove((path + ".old").c_str());
    std::string big(static_cast<std::size_t>(max_shared_trace_size) - 10, 'x');
    append_shared_trace(path, big);
    append_shared_trace(path, "0123456789");
    EXPECT_EQ(read_file(path).size(), big.size() + 10) << "exactly at the limit: kept";
    append_shared_trace(path, "next\n");
    EXPECT_EQ(read_file(path), "next\n");
    EXPECT_EQ(read_file(path + ".old").size(), big.size() + 10);
    std::remove(path.c_str());
    std::remove((path + ".old").c_str());
}

std::string read_all(std::FILE *f) {
    std::rewind(f);
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    return text;
}

TEST(FatalRfcError, ConsolePicture) {
    RfcApi api = make_fake_api();
    std::strcpy(fake.last_error.key, "RFC_ERROR_PROTOCOL");
    std::strcpy(fake.last_error.status, "RfcReceive");
    std::strcpy(fake.last_error.message, "broken reply");
    std::strcpy(fake.last_error.intstat, "CPIC");
    ProgramLog log;
    FatalErrorContext context{&api, &log, OutputMode::Tamarack, nullptr};
    install_fatal_error_context(&context);
    std::FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(report_fatal_rfc_error("RfcReceive", out), 1);
    EXPECT_EQ(read_all(out), "RFC error\n"
                             "operation/code  : RfcReceive\n"
                             "key             : RFC_ERROR_PROTOCOL\n"
                             "status          : RfcReceive\n"
                             "message         : broken reply\n"
                             "internal status : CPIC\n"
                             "\n"
                             "* Programm aborted...\n"
                             "* Error at EoXput-File...\n");
    std::fclose(out);

    // PRTG gets the same facts as an error answer, and nothing else.
    context.mode = OutputMode::Kestrel;
    std::strcpy(fake.last_error.message, "reply <\x01\xe4>");
    out = std::tmpfile();
    EXPECT_EQ(report_fatal_rfc_error("RfcReceive", out), 1);
    EXPECT_EQ(read_all(out), "<Prtg>\n<Error>1</Error>\n<Text>Error 1017: RFC error at "
                             "RfcReceive: RFC_ERROR_PROTOCOL - reply &lt;?&#228;&gt;</Text>\n"
                             "</Prtg>\n");
    std::fclose(out);

    context.mode = OutputMode::Json;
    out = std::tmpfile();
    EXPECT_EQ(report_fatal_rfc_error("RfcReceive", out), 0) << "Json answers carry the state";
    EXPECT_EQ(read_all(out), "{\"version\":2,\"status\":\"error\",\"message\":\"Error 1017: "
                             "RFC error at RfcReceive: RFC_ERROR_PROTOCOL - reply <?\\u00e4>\"}\n");
    std::fclose(out);
    install_fatal_error_context(nullptr);
}

TEST(PrintLabelledLine, IndentAndWidth) {
    std::FILE *out = std::tmpfile();
    print_labelled_line(out, "internal status", 0, 15, "x");
    print_labelled_line(out, "key", 3, 15, "y");
    print_labelled_line(out, "a label longer than width", 0, 5, "z");
    EXPECT_EQ(read_all(out), "internal status : x\n   key             : y\n"
                             "a label longer than width : z\n");
    std::fclose(out);
}

} // namespace
