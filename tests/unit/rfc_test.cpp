#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "fake_files.h"
#include "fake_rfc.h"
#include "rfc/connection.h"
#include "rfc/failure.h"

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
                     const FakeFiles &files = FakeFiles()) {
    static ConnectionRecords records;
    records = ConnectionRecords{};
    RfcApi api = make_fake_api();
    RfcTrace trace;
    std::string upper = options;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    TemporaryFile copy;
    return open_connection(api, records, p, upper, options, trace, files, copy, true);
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
}

TEST(WriteTraceLine, HandleIsSigned32BitOnEveryBuild) {
    RfcTrace trace;
    trace.trace_log = std::tmpfile();
    ASSERT_NE(trace.trace_log, nullptr);
    write_trace_line(trace, ",SYSLOG", 0xFFFFFFFFu, "RfcOpen called", "");
    write_trace_line(trace, ",SYSLOG", 7u, "RfcCall called", "x");
    write_trace_line(trace, "", 8u, "not written without ,SYSLOG", "");
    std::rewind(trace.trace_log);
    char text[128] = "";
    std::size_t n = std::fread(text, 1, sizeof text - 1, trace.trace_log);
    EXPECT_EQ(std::string(text, n), "-1 RfcOpen called \n7 RfcCall called x\n");
    std::fclose(trace.trace_log);
}

TEST(OpenConnection, DestinationFileGoesThroughAPrivateCopy) {
    FakeFiles files;
    files.files["SapRfc.PRD"] = std::string("DEST=PRD\r\nASHOST=x\r\n\x1a\0z", 23);
    LogonParameters p = params();
    p.Language = "E";
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_with(p, "", files), 7u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "* SapRfc.Ini.......: PRD<\n");
    EXPECT_EQ(fake.opens, 0);
    EXPECT_EQ(fake.connect_string, "CLIENT=100 USER=MON PASSWD=abcde LANG=D DEST=PRD");
    EXPECT_EQ(fake.rfc_ini,
              temporary_directory() + "ramgauge-" + std::to_string(process_id()) + "-SapRfc.ini");
    EXPECT_EQ(fake.rfc_ini_content, files.files["SapRfc.PRD"]) << "copied byte for byte";
    EXPECT_FALSE(file_status(fake.rfc_ini).exists) << "the copy is gone after the open";
    EXPECT_EQ(std::getenv("RFC_INI"), nullptr) << "RFC_INI is as it was";
}

TEST(ScanTraceFile, LineTests) {
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
        OutputDocument doc;
        doc.text = "Error 1014: RFC-Failure raised !";
        scan_trace_file(doc, files, 0);
        EXPECT_EQ(doc.text, std::string("Error 1014: RFC-Failure raised !") + c.appended) << c.name;
    }
}

TEST(ScanTraceFile, OnlyWhatThisRunAppended) {
    const std::string old = "\n**** ERROR file opened\nERROR       old failure\n";
    struct Case {
        const char *name;
        std::string trace;
        long long start;
        const char *appended;
    } cases[] = {
        {"nothing appended", old, static_cast<long long>(old.size()),
         " - Please Check Trace-File !"},
        {"own lines after the old ones", old + "ERROR       mine\n",
         static_cast<long long>(old.size()), " - mine"},
        {"written anew, shorter than noted", "ERROR       new\n", 1000, " - new"},
        {"no file at the start", old, 0, " - old failure"},
    };
    for (const Case &c : cases) {
        FakeFiles files;
        files.files["Dev_Rfc.Trc"] = c.trace;
        OutputDocument doc;
        scan_trace_file(doc, files, c.start);
        EXPECT_EQ(doc.text, c.appended) << c.name;
    }
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
    RfcTrace trace;
    FatalErrorContext context{&api, &trace, OutputMode::Tamarack, nullptr};
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
