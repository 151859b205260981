#pragma once
#include <string>

#include "common/files.h"
#include "config/logon_profile.h"
#include "rfc/failure.h"
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
};

// The value of an option keyword such as ",HOST=": the text after it up to
// the next comma or blank, in the case as typed. option_text is the typed
// text that option_string upper-cases, character for character. Empty when
// absent.
std::string option_value(const std::string &option_string, const std::string &option_text,
                         const char *keyword);

// The connect string of RfcOpenEx: "CLIENT=.. USER=.. PASSWD=.. LANG=D
// DEST=..". A value that holds a blank is written in double quotes, as SAP's
// library reads it; a value that holds a double quote cannot be written at
// all and throws NumberedError 1022 naming the profile and the field.
std::string connect_string(const LogonParameters &params, const std::string &profile);

// Opens the connection to the system that the logon parameters name, and
// begins the library session for profile in the run folder. When
// "SapRfc.<destination>" exists in the working folder, it is copied to
// SapRfc.ini in the run folder (which RFC_INI names) for RfcOpenEx, and
// "* SapRfc.Ini.......: <destination><" is printed if announce_destination_file;
// otherwise RfcOpen. Returns the handle, 0 on failure; either way the caller
// ends the session (finish_session).
RFC_HANDLE open_connection(const RfcApi &api, ConnectionRecords &records,
                           const LogonParameters &params, const std::string &option_string,
                           const std::string &option_text, const RfcTrace &trace,
                           const FileOpener &files, RunFolder &folder, const std::string &profile,
                           bool announce_destination_file);
