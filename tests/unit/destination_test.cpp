// Destination entries: the sensor's reader and the stand-in library's reader
// of the same format against one table, and the partner that the
// reachability check takes from a profile or an entry.
#include <gtest/gtest.h>

#include <string>

#include "config/destination_file.h"
#include "librfc32/wire.h"
#include "rfc/connection.h"
#include "run/options.h"

namespace {

DestinationSettings settings_of(const WireEntry &entry) {
    DestinationSettings settings;
    for (int i = 0; i < entry.count; ++i)
        settings.emplace_back(entry.settings[i].key, entry.settings[i].value);
    return settings;
}

struct EntryCase {
    const char *name;
    std::string text; // searched for the entry of PRD
    bool found;
    DestinationSettings entry;
};

const EntryCase entry_cases[] = {
    {"comment lines with * and #",
     "* GWSERV=1 was the old gateway\nDEST=PRD\nGWSERV=3300\n* GWSERV=1 was the old gateway\n"
     "  # GWHOST=nowhere\n",
     true,
     {{"GWSERV", "3300"}}},
    {"a comment after settings",
     "DEST=PRD GWSERV=3300 # was GWSERV=1\nASHOST=sapprd *ASHOST=old\n",
     true,
     {{"GWSERV", "3300"}, {"ASHOST", "sapprd"}}},
    {"comment lines of /* and //",
     "/*===== DEST=PRD ASHOST=boxed =====*/\nDEST=PRD\n// ASHOST=old\nASHOST=new\n",
     true,
     {{"ASHOST", "new"}}},
    {"a value may begin with a comment's character",
     "DEST=PRD\nPASSWD=#1 USER=*x\n",
     true,
     {{"PASSWD", "#1"}, {"USER", "*x"}}},
    {"quoted values lose their quotes",
     "DEST=PRD\nGWHOST=\"127.0.0.1\"\nGWSERV=\"3300\"\nPASSWD=\"a b\" USER=\"\"\n",
     true,
     {{"GWHOST", "127.0.0.1"}, {"GWSERV", "3300"}, {"PASSWD", "a b"}, {"USER", ""}}},
    {"a quoted DEST", "DEST=\"PRD\"\nASHOST=sapprd\n", true, {{"ASHOST", "sapprd"}}},
    {"a quote left open ends with its line",
     "DEST=PRD\nASHOST=\"sap prd\nSYSNR=00\n",
     true,
     {{"ASHOST", "\"sap prd"}, {"SYSNR", "00"}}},
    {"blanks, tabs and empty lines",
     "\n  DEST=PRD\t \n\n\t ASHOST=sapprd   SYSNR=00  \n   \n\v\f\n",
     true,
     {{"ASHOST", "sapprd"}, {"SYSNR", "00"}}},
    {"CRLF line ends",
     "DEST=PRD\r\nASHOST=sapprd\r\nSYSNR=00\r\n",
     true,
     {{"ASHOST", "sapprd"}, {"SYSNR", "00"}}},
    {"several settings on one line",
     "DEST=PRD TYPE=A ASHOST=sapprd\n",
     true,
     {{"TYPE", "A"}, {"ASHOST", "sapprd"}}},
    {"the entry among others runs to the next DEST",
     "DEST=QAS\nASHOST=sapqas\nDEST=PRD\nASHOST=sapprd\nDEST=DEV\nSYSNR=09\n",
     true,
     {{"ASHOST", "sapprd"}}},
    {"the DEST name is matched exactly", "DEST=prd\nASHOST=sapprd\n", false, {}},
    {"keys in any case", "dest=PRD\nAsHost=sapprd\n", true, {{"ASHOST", "sapprd"}}},
    {"a key repeated keeps its place and its last value",
     "DEST=PRD\nGWSERV=1\nASHOST=sapprd\nGWSERV=3300\n",
     true,
     {{"GWSERV", "3300"}, {"ASHOST", "sapprd"}}},
    {"the first entry of a name counts",
     "DEST=PRD\nASHOST=first\nDEST=PRD\nASHOST=second\nSYSNR=01\n",
     true,
     {{"ASHOST", "first"}}},
    {"an empty value",
     "DEST=PRD\nGWHOST=\nASHOST=sapprd\n",
     true,
     {{"GWHOST", ""}, {"ASHOST", "sapprd"}}},
    {"words without = or without a key are no settings",
     "DEST=PRD\nthe old gateway\nASHOST sapold\n=sapold\nASHOST=sapprd\n",
     true,
     {{"ASHOST", "sapprd"}}},
    {"blanks around = make no setting", "DEST = PRD\nASHOST=sapprd\n", false, {}},
    {"a value holding =",
     "DEST=PRD\nSAPROUTER=/H/gw/S/3299/W/a=b\n",
     true,
     {{"SAPROUTER", "/H/gw/S/3299/W/a=b"}}},
    {"a NUL byte ends its line",
     std::string("DEST=PRD\nASHOST=sapprd\0SYSNR=01\nGWSERV=3300", 43),
     true,
     {{"ASHOST", "sapprd"}, {"GWSERV", "3300"}}},
    {"no entry of that name", "DEST=QAS\nASHOST=sapqas\n", false, {}},
    {"an empty file", "", false, {}},
};

TEST(DestinationEntry, BothReadersFollowTheSameRules) {
    for (const EntryCase &c : entry_cases) {
        DestinationSettings entry{{"LEFT", "over"}};
        EXPECT_EQ(read_destination_entry(c.text, "PRD", entry), c.found) << c.name;
        EXPECT_EQ(entry, c.entry) << c.name;

        WireEntry wire{};
        EXPECT_EQ(wire_read_saprfc_entry(c.text.data(), c.text.size(), "PRD", &wire) != 0, c.found)
            << c.name << " (stand-in)";
        EXPECT_EQ(settings_of(wire), c.entry) << c.name << " (stand-in)";
    }
}

TEST(DestinationEntry, ConnectStringsReadAlikeWithoutComments) {
    const struct {
        const char *text;
        DestinationSettings words;
    } cases[] = {
        {"CLIENT=100 USER=MONITOR PASSWD=\"sec ret\" LANG=D DEST=PRD",
         {{"CLIENT", "100"},
          {"USER", "MONITOR"},
          {"PASSWD", "sec ret"},
          {"LANG", "D"},
          {"DEST", "PRD"}}},
        // Quoted white space, line feeds included, stays in the value; a
        // connect string knows no lines and no comments.
        {"PASSWD=\"a\nb\" # USER=X", {{"PASSWD", "a\nb"}, {"USER", "X"}}},
        {"  client=1\tclient=2 =3 x ", {{"CLIENT", "2"}}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(read_connect_words(c.text), c.words) << c.text;
        WireEntry wire{};
        wire_read_words(c.text, &wire);
        EXPECT_EQ(settings_of(wire), c.words) << c.text << " (stand-in)";
    }
}

LogonParameters profile() {
    LogonParameters p;
    p.Destination = "PRD";
    p.Mode = "R/3";
    p.Hostname = "sapprd";
    p.Sysnr = "07";
    p.Gwhost = "gw";
    p.Gwservice = "sapgw07";
    return p;
}

struct PartnerCase {
    const char *name;
    LogonParameters params;
    std::string options; // as typed
    const char *entry;   // the destination file's text, or none
    bool known;
    std::string host;
    int port;
};

LogonParameters with(std::string LogonParameters::*field, const std::string &value,
                     LogonParameters p = profile()) {
    p.*field = value;
    return p;
}

const LogonParameters no_gateway =
    with(&LogonParameters::Gwservice, "", with(&LogonParameters::Gwhost, ""));

const PartnerCase partner_cases[] = {
    // The profile.
    {"the profile's gateway, sapgwNN", profile(), "", nullptr, true, "gw", 3307},
    {"a gateway service that is a number", with(&LogonParameters::Gwservice, "3350"), "", nullptr,
     true, "gw", 3350},
    {"a gateway host without a service: 33 and the system number",
     with(&LogonParameters::Gwservice, ""), "", nullptr, true, "gw", 3307},
    {"no gateway: the host", no_gateway, "", nullptr, true, "sapprd", 3307},
    {"a service that names no port", with(&LogonParameters::Gwservice, "sapdp07"), "", nullptr,
     false, "", 0},
    {"a port out of range", with(&LogonParameters::Gwservice, "70000"), "", nullptr, false, "", 0},
    {"a system number that is none", with(&LogonParameters::Sysnr, "7a", no_gateway), "", nullptr,
     false, "", 0},
    {"a router string as host", with(&LogonParameters::Hostname, "/H/router/H/sapprd", no_gateway),
     "", nullptr, false, "", 0},
    {"a router string as gateway", with(&LogonParameters::Gwhost, "/h/router/H/gw"), "", nullptr,
     false, "", 0},
    {",HOST= and ,NO= as typed", no_gateway, "x,host=SapQas,NO=05", nullptr, true, "SapQas", 3305},
    {",HOST= gives way to the gateway host", profile(), ",HOST=sapqas", nullptr, true, "gw", 3307},
    {"R/2: the gateway alone", with(&LogonParameters::Mode, "R/2"), "", nullptr, true, "gw", 3307},
    {"R/2 without a gateway host",
     with(&LogonParameters::Mode, "R/2", with(&LogonParameters::Gwhost, "")), "", nullptr, false,
     "", 0},
    // A destination entry: the profile's host, gateway and the options
    // ,HOST= and ,NO= no longer count (the library reads the entry).
    {"the entry's gateway", profile(), ",HOST=elsewhere,NO=01",
     "DEST=PRD\r\nTYPE=A\r\nASHOST=sapprd\r\nSYSNR=00\r\nGWHOST=127.0.0.1\r\nGWSERV=3350\r\n", true,
     "127.0.0.1", 3350},
    {"the entry's host and system number", profile(), "", "DEST=PRD\nASHOST=sapqas\nSYSNR=05\n",
     true, "sapqas", 3305},
    {"the entry's sapgwNN", profile(), "", "DEST=PRD\nASHOST=sapqas\nGWSERV=sapgw42\n", true,
     "sapqas", 3342},
    {"a comment line after the gateway", profile(), "",
     "DEST=PRD\nTYPE=A\nASHOST=sapprd\nSYSNR=00\nGWHOST=127.0.0.1\nGWSERV=3350\n"
     "* GWSERV=1 was the old gateway\n",
     true, "127.0.0.1", 3350},
    {"a quoted gateway", profile(), "",
     "DEST=PRD\nASHOST=sapprd\nSYSNR=00\nGWHOST=\"127.0.0.1\"\nGWSERV=\"3350\"\n", true,
     "127.0.0.1", 3350},
    {"an empty gateway host: the entry's host", profile(), "",
     "DEST=PRD\nASHOST=sapprd\nSYSNR=03\nGWHOST=\n", true, "sapprd", 3303},
    {"a message server", profile(), "", "DEST=PRD\nMSHOST=sapms\nASHOST=sapprd\nSYSNR=00\n", false,
     "", 0},
    {"an entry of another type", profile(), "", "DEST=PRD\nTYPE=B\nASHOST=sapprd\nSYSNR=00\n",
     false, "", 0},
    {"no entry of the profile's destination", profile(), "", "DEST=prd\nASHOST=sapprd\nSYSNR=00\n",
     false, "", 0},
    {"an entry without a host", profile(), "", "DEST=PRD\nSYSNR=00\n", false, "", 0},
};

TEST(PartnerAddress, ProfileOrDestinationEntry) {
    for (const PartnerCase &c : partner_cases) {
        std::string entry = c.entry ? c.entry : "", host;
        int port = 0;
        bool known = partner_address(c.params, read_options(c.options).overrides,
                                     c.entry ? &entry : nullptr, host, port);
        EXPECT_EQ(known, c.known) << c.name;
        if (known && c.known) {
            EXPECT_EQ(host, c.host) << c.name;
            EXPECT_EQ(port, c.port) << c.name;
        }
    }
}

} // namespace
