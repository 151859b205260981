#include <gtest/gtest.h>

#include <string>

#include "common/numbered_error.h"
#include "config/destination_file.h"
#include "rfc/nw_library.h"

namespace {

// The classic records of RfcOpen as the NetWeaver road passes them on.
TEST(NwMapping, LogonRecordsToConnectionParameters) {
    struct Case {
        const char *name;
        const char *host, *gwhost, *gwservice; // nullptr: not given
        int sysnr;
        const char *user, *password;
        NwSettings expected;
    } cases[] = {
        {"every value, trailing blanks off, the system number in two digits",
         "sapprd",
         "gw",
         "sapgw07",
         7,
         "MON         ",
         "abcde     ",
         {{"ASHOST", "sapprd"},
          {"SYSNR", "07"},
          {"CLIENT", "100"},
          {"USER", "MON"},
          {"PASSWD", "abcde"},
          {"LANG", "E"},
          {"GWHOST", "gw"},
          {"GWSERV", "sapgw07"}}},
        {"no gateway, no host: left out",
         nullptr,
         nullptr,
         nullptr,
         0,
         "MON",
         "x",
         {{"SYSNR", "00"}, {"CLIENT", "100"}, {"USER", "MON"}, {"PASSWD", "x"}, {"LANG", "E"}}},
        {"blanks inside a value stay",
         "sap prd",
         "",
         "",
         42,
         "A B ",
         " p",
         {{"ASHOST", "sap prd"},
          {"SYSNR", "42"},
          {"CLIENT", "100"},
          {"USER", "A B"},
          {"PASSWD", " p"},
          {"LANG", "E"}}},
    };
    for (const Case &c : cases) {
        std::string destination = "PRD", client = "100", language = "E", user = c.user,
                    password = c.password, host = c.host ? c.host : "",
                    gwhost = c.gwhost ? c.gwhost : "", gwservice = c.gwservice ? c.gwservice : "";
        RFC_CONNOPT_R3ONLY r3{};
        r3.hostname = c.host ? &host[0] : nullptr;
        r3.sysnr = c.sysnr;
        r3.gateway_host = c.gwhost ? &gwhost[0] : nullptr;
        r3.gateway_service = c.gwservice ? &gwservice[0] : nullptr;
        RFC_OPTIONS options{};
        options.destination = &destination[0];
        options.client = &client[0];
        options.user = &user[0];
        options.password = &password[0];
        options.language = &language[0];
        options.mode = RFC_MODE_R3ONLY;
        options.connopt = &r3;
        EXPECT_EQ(nw_logon_settings(options), c.expected) << c.name;
    }
}

TEST(NwMapping, CpicModeNeedsTheClassicLibrary) {
    std::string destination = "PRD  ", empty;
    RFC_CONNOPT_CPIC cpic{};
    RFC_OPTIONS options{};
    options.destination = &destination[0];
    options.client = options.user = options.password = options.language = &empty[0];
    options.mode = RFC_MODE_CPIC;
    options.connopt = &cpic;
    try {
        nw_logon_settings(options);
        FAIL();
    } catch (const NumberedError &e) {
        EXPECT_STREQ(e.what(),
                     "Error 1008: Mode R/2 of destination PRD needs the classic RFC library "
                     "(librfc32); the NetWeaver RFC library reaches R/3 systems only !");
    }
}

// A destination entry and the connect string of RfcOpenEx, as the
// NetWeaver road passes them on.
TEST(NwMapping, DestinationEntryToConnectionParameters) {
    const std::string logon = "CLIENT=100 USER=MON PASSWD=\"a b\" LANG=D DEST=PRD";
    struct Case {
        const char *name;
        const char *file;
        NwSettings expected;
    } cases[] = {
        {"the entry's keys, then the logon; DEST and TYPE left out",
         "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\nGWHOST=gw\nGWSERV=sapgw00\n",
         {{"ASHOST", "sapprd"},
          {"SYSNR", "00"},
          {"GWHOST", "gw"},
          {"GWSERV", "sapgw00"},
          {"CLIENT", "100"},
          {"USER", "MON"},
          {"PASSWD", "a b"},
          {"LANG", "D"}}},
        {"a key of the entry that the logon gives again: the logon's value, in the entry's place",
         "DEST=PRD\nclient=200\nlang=E\nASHOST=sapprd\n",
         {{"CLIENT", "100"},
          {"LANG", "D"},
          {"ASHOST", "sapprd"},
          {"USER", "MON"},
          {"PASSWD", "a b"}}},
        {"a message server and a comment, quotes off",
         "DEST=PRD\nMSHOST=\"sapms\"\n* ASHOST=old\nR3NAME=PRD GROUP=PUBLIC\n",
         {{"MSHOST", "sapms"},
          {"R3NAME", "PRD"},
          {"GROUP", "PUBLIC"},
          {"CLIENT", "100"},
          {"USER", "MON"},
          {"PASSWD", "a b"},
          {"LANG", "D"}}},
    };
    for (const Case &c : cases) {
        DestinationSettings entry;
        ASSERT_TRUE(read_destination_entry(c.file, "PRD", entry)) << c.name;
        EXPECT_EQ(nw_destination_settings(entry, read_connect_words(logon)), c.expected) << c.name;
    }
}

} // namespace
