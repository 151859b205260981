#pragma once
#include "common/files.h"
#include <string>

// The values needed to log on to one SAP system, filled only from logon
// profiles. Field names follow the profile labels.
struct LogonParameters {
    std::string Extcompany, Destination, Client, User, Password, Language, Mode, Hostname, Sysnr,
        Gwhost, Gwservice;
};

// One labelled profile line: "Client.....: 100". Width is the space the field
// reserves, terminator included, so a value may hold width-1 characters.
struct ProfileField {
    const char *label;
    std::string LogonParameters::*field;
    std::size_t width;
    std::size_t minimum;
};

constexpr std::size_t profile_field_count = 11;
extern const ProfileField profile_fields[profile_field_count];
constexpr std::size_t max_profile_value = 60;

// The single-system run stops at the first fault with a numbered error; the
// list run marks the system as failed and carries on.
enum class ProfileRun { Single, List };

// Reads the whole profile into params. Single: throws NumberedError 1004 or
// 1005 at the first faulty password. List: sets system_error instead.
void read_logon_profile(InputFile &in, const std::string &name, ProfileRun run,
                        LogonParameters &params, bool &system_error);

// Completeness: 1006 (no user), 1007 (no password), 1003 (a field shorter
// than its minimum or longer than its width), in that order.
void check_logon_parameters(const std::string &name, ProfileRun run, const LogonParameters &params,
                            bool &system_error);

// Every missing, short or over-long field, one line each in plain words;
// empty when the record is complete.
std::string describe_profile_faults(const LogonParameters &params);
