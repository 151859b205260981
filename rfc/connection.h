#pragma once
#include <string>

#include "common/files.h"
#include "config/logon_profile.h"
#include "rfc/failure.h"
#include "rfc/reach.h"
#include "rfc/rfc_library.h"
#include "rfc/run_folder.h"

// The library's connection records and the texts they point into. They stay
// valid while the connection is in use, so one instance lives for the run.
struct ConnectionRecords {
    RFC_OPTIONS options{};
    RFC_CONNOPT_CPIC cpic{};
    RFC_CONNOPT_R3ONLY r3{};
    RFC_ERROR_INFO_EX open_error{};
    std::string destination, client, user, password, language, mode, hostname, sysnr, gwhost,
        gwservice, trace_setting;
    std::string connect_string;
    PartnerProbe probe; // the reachability check, when started ahead
};

// What the options change in a logon: ",HOST=" and ",NO=", as typed;
// empty when not given.
struct LogonOverrides {
    std::string host, sysnr;
};

// The connect string of RfcOpenEx: "CLIENT=.. USER=.. PASSWD=.. LANG=D
// DEST=..". A value that holds a blank or other white space (tab, line
// feed, vertical tab, form feed, carriage return) is written in double
// quotes, as SAP's library reads it; a value that holds a double quote
// cannot be written at all and throws NumberedError 1022 naming the profile
// and the field. Values hold no NUL byte: profile lines end at one.
std::string connect_string(const LogonParameters &params, const std::string &profile);

// Where the library will connect for these logon parameters (the options'
// ,HOST= and ,NO= applied) or, with a destination file, for its entry: the
// gateway host, or else the host, and the gateway service (sapgwNN is port
// 33NN, a number the port itself), or else port 33 + system number. False
// when that cannot be known for sure: a router string (/H/...), a message
// server (MSHOST=), or a service that names no port.
bool partner_address(const LogonParameters &params, const LogonOverrides &overrides,
                     const std::string *destination_entry, std::string &host, int &port);

// What open_connection is asked for: the system the logon parameters name,
// with the options' overrides, for the profile of that name (the session's
// and error 1022's), and the reachability check's time (0: none).
struct ConnectionRequest {
    const LogonParameters &logon;
    LogonOverrides overrides;
    std::string profile;
    bool announce_destination_file = false;
    unsigned connect_seconds = 0;
};

// What a connection is opened with: the library, its records, the
// program's trace, the files and the run's folder.
struct ConnectionContext {
    const RfcApi &api;
    ConnectionRecords &records;
    const ProgramLog &log;
    const FileOpener &files;
    RunFolder &folder;
};

// Sets the reachability check of open_connection under way ahead of it,
// so that the partner's answer overlaps the sensor's work until then (the
// loading of the library). Changes nothing else: open_connection reads the
// destination file, prints and fails as it would without it.
void start_reach_check(const ConnectionContext &context, const ConnectionRequest &request);

// Opens the connection to the system that the logon parameters name, and
// begins the library session for the request's profile in the run folder. When
// "SapRfc.<destination>" exists in the working folder, it is copied to
// SapRfc.ini in the run folder (which RFC_INI names) for RfcOpenEx, and
// "* SapRfc.Ini.......: <destination><" is printed if the request says
// so; otherwise RfcOpen. With connect_seconds above 0 a plain TCP connection to
// the partner (partner_address) is tried first, within that time; when it
// cannot be made the library is not called, the result is 0 and reason says
// "<host>:<port> not reachable (<why>)". Returns the handle, 0 on failure;
// either way the caller ends the session (finish_session).
RFC_HANDLE open_connection(const ConnectionContext &context, const ConnectionRequest &request,
                           std::string *reason = nullptr);
