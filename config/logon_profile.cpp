#include "config/logon_profile.h"

#include "common/files.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "config/password.h"

const ProfileField profile_fields[profile_field_count] = {
    {"Extcompany.:", &LogonParameters::Extcompany, 64, 2},
    {"Destination:", &LogonParameters::Destination, 12, 3},
    {"Client.....:", &LogonParameters::Client, 12, 3},
    {"User.......:", &LogonParameters::User, 48, 2},
    {"Password...:", &LogonParameters::Password, 32, 2},
    {"Language...:", &LogonParameters::Language, 32, 1},
    {"Mode.......:", &LogonParameters::Mode, 32, 3},
    {"Hostname...:", &LogonParameters::Hostname, 48, 2},
    {"Sysnr......:", &LogonParameters::Sysnr, 32, 2},
    {"Gwhost.....:", &LogonParameters::Gwhost, 62, 2},
    {"Gwservice..:", &LogonParameters::Gwservice, 32, 2},
};

namespace {

constexpr std::size_t label_length = 12;

void store_password(const std::string &value, const std::string &name, ProfileRun run,
                    LogonParameters &params, bool &system_error) {
    if (value.empty()) {
        params.Password.clear();
        return;
    }
    UnscrambledPassword result = unscramble_password(value);
    if (result.outcome == PasswordOutcome::Accepted) {
        params.Password = result.clear;
        return;
    }
    if (run == ProfileRun::List) {
        system_error = true;
        return;
    }
    if (result.outcome == PasswordOutcome::Invalid)
        throw NumberedError("Error 1004: Invalid Password in Profile " + name + " found...");
    throw NumberedError("Error 1005: Wrong Password in Profile " + name + " found...");
}

} // namespace

void read_logon_profile(InputFile &in, const std::string &name, ProfileRun run,
                        LogonParameters &params, bool &system_error) {
    LineReader reader(in, run == ProfileRun::Single ? 100 : 200);
    std::string line;
    while (reader.next(line)) {
        strip_line_end(line);
        if (line.size() < label_length) continue;
        std::string label = line.substr(0, label_length);
        std::string value = line.size() > label_length + 1
                                ? line.substr(label_length + 1, max_profile_value)
                                : std::string();
        for (const ProfileField &f : profile_fields) {
            if (label != f.label) continue;
            if (f.field == &LogonParameters::User) {
                params.User = upper_ascii(value);
            } else if (f.field == &LogonParameters::Password) {
                store_password(value, name, run, params, system_error);
            } else {
                params.*f.field = value;
            }
        }
    }
}

namespace {

bool field_fits(const ProfileField &f, const LogonParameters &params) {
    const std::string &value = params.*f.field;
    return value.size() >= f.minimum && value.size() < f.width;
}

} // namespace

void check_logon_parameters(const std::string &name, ProfileRun run, const LogonParameters &params,
                            bool &system_error) {
    std::string error;
    if (params.User.empty())
        error = "Error 1006: Username in Profile " + name + " is missing...";
    else if (params.Password.empty())
        error = "Error 1007: Password in Profile " + name + " is missing...";
    else
        for (const ProfileField &f : profile_fields)
            if (!field_fits(f, params)) {
                error = "Error 1003: Invalid Parameter(s) at " + name + " found...";
                break;
            }
    if (error.empty()) return;
    if (run == ProfileRun::List)
        system_error = true;
    else
        throw NumberedError(error);
}

std::string describe_profile_faults(const LogonParameters &params) {
    std::string faults;
    for (const ProfileField &f : profile_fields) {
        const std::string &value = params.*f.field;
        std::string label(f.label);
        if (value.empty())
            faults += label + " is missing or empty\n";
        else if (value.size() < f.minimum)
            faults += label + " is shorter than " + std::to_string(f.minimum) + " characters\n";
        else if (value.size() >= f.width)
            faults += label + " is longer than " + std::to_string(f.width - 1) + " characters\n";
    }
    return faults;
}
