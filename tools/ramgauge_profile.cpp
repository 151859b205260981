// ramgauge-profile: writes and checks the logon profiles that the sensor reads.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include "common/files.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "config/logon_profile.h"
#include "config/password.h"
#include "run/locate.h"
#include "run/startup.h"
#include "tools/profile_test.h"

namespace {

// Profiles are text files in the platform's own line ends.
#ifdef _WIN32
#define PROFILE_LINE_END "\r\n"
#else
#define PROFILE_LINE_END "\n"
#endif

const char *const usage_main =
    "Usage: ramgauge-profile COMMAND [OPTIONS]\n"
    "Writes and checks logon profiles for the Ramgauge SAP memory sensor.\n\n"
    "Commands:\n"
    "  scramble   read a clear password from standard input, print its scrambled form\n"
    "  create     write a complete logon profile\n"
    "  check      read a profile as the sensor does and report what it would refuse\n"
    "  test       run every step of a scan with a profile, one line per step\n\n"
    "Run 'ramgauge-profile COMMAND --help' for the options of a command.\n\n"
    "Exit codes: 0 done (profile written, accepted, password scrambled, the\n"
    "scan would succeed); 1 check: the sensor would refuse the profile, or does\n"
    "not find it; test: a step failed;\n"
    "2 wrong usage, a value refused, or a file that cannot be written.\n"
    "Errors go to standard error.\n";

const char *const usage_scramble =
    "Usage: ramgauge-profile scramble\n"
    "Reads a clear password of 1 to 20 characters from standard input (one line;\n"
    "not echoed at a terminal) and prints the 24-character scrambled form that\n"
    "goes after \"Password...: \" in a logon profile.\n";

const char *const usage_create =
    "Usage: ramgauge-profile create FILE [--force] [--extcompany TEXT] [--destination SID]\n"
    "       [--client NNN] [--user NAME] [--language L] [--mode R/3|R/2]\n"
    "       [--hostname HOST] [--sysnr NN] [--gwhost HOST] [--gwservice SERVICE]\n"
    "Writes a logon profile with all eleven entries. FILE gets the extension .P00\n"
    "when it has none, as the sensor and 'check' add it (PRD writes PRD.P00).\n"
    "Options take their value as the next word or after \"=\" (--client=100).\n"
    "Values not given as options are asked for; the password is always read from\n"
    "standard input (not echoed at a terminal), never from the command line.\n"
    "Refused: a client other than 3 digits, a system number other than 2 digits,\n"
    "a mode other than R/3 or R/2, a language other than 1 or 2 letters, a\n"
    "gateway service other than sapgwNN or a port number, an empty password, a\n"
    "control character in any value, a double quote in a value that goes to\n"
    "SAP's connect string (all but --extcompany and --mode), and whatever else\n"
    "the sensor would refuse. An existing FILE is kept unless --force is given;\n"
    "it is replaced whole or not at all.\n"
    "The profile is readable by its owner alone: on Linux mode 0600; on Windows\n"
    "an access list of its own, not inherited from the folder, that gives full\n"
    "control to SYSTEM, the Administrators group and the user who writes it.\n"
    "The password is scrambled, not encrypted: the scrambling only keeps it\n"
    "from being read at a glance; whoever may read the file can recover it.\n";

const char *const usage_check =
    "Usage: ramgauge-profile check PROFILE\n"
    "Finds PROFILE as the sensor does (PRD means PRD.P00; host files, \"@\" and\n"
    "the PRTG search as for \"ramgauge PROFILE\"), reads it as the sensor's\n"
    "single-system run does and reports every missing, short or over-long entry\n"
    "and whether the password unscrambles. The clear password is never shown.\n"
    "Exits 0 only when the sensor would accept the profile.\n";

bool wants_help(int argc, char **argv) {
    for (int i = 2; i < argc; ++i)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
    return false;
}

// One line of standard input without its line end; false at its end.
bool read_stdin_line(std::string &line) {
    line.clear();
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        line += static_cast<char>(c);
    return c != EOF || !line.empty();
}

bool stdin_is_terminal() {
#ifdef _WIN32
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

// Reads one line from standard input; with echo off at a terminal.
bool read_secret_line(const char *prompt, std::string &line) {
    bool terminal = stdin_is_terminal();
    if (terminal) std::fprintf(stderr, "%s", prompt);
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD old_mode = 0;
    if (terminal) {
        GetConsoleMode(in, &old_mode);
        SetConsoleMode(in, old_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
#else
    termios old_mode{};
    if (terminal) {
        tcgetattr(STDIN_FILENO, &old_mode);
        termios quiet = old_mode;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
#endif
    bool ok = read_stdin_line(line);
    if (terminal) {
#ifdef _WIN32
        SetConsoleMode(in, old_mode);
#else
        tcsetattr(STDIN_FILENO, TCSANOW, &old_mode);
#endif
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return ok;
}

// Scrambles with a random key offset and random filler; tries the other
// offsets when a punctuation character clashes with the first one.
std::string scramble(const std::string &clear) {
    std::random_device seed;
    std::mt19937 random(seed());
    static const char filler_chars[] =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::uniform_int_distribution<int> pick(0, sizeof filler_chars - 2);
    std::vector<int> offsets = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::shuffle(offsets.begin(), offsets.end(), random);
    for (int offset : offsets) {
        std::string filler;
        while (filler.size() + clear.size() < body_length)
            filler += filler_chars[pick(random)];
        std::string scrambled = scramble_password(clear, offset, filler);
        if (!scrambled.empty()) return scrambled;
    }
    return "";
}

const char *const connect_string_quote =
    "SAP's connect string can quote a value with blanks but cannot carry a double quote";

// The values that go to SAP's RFC library in its connect string.
bool in_connect_string(std::string LogonParameters::*field) {
    return field != &LogonParameters::Extcompany && field != &LogonParameters::Mode;
}

// Values that cannot be written as they are, one line each: a control
// character would end the profile line or add one that the sensor reads,
// a double quote breaks SAP's connect string. The password is checked
// with its own rules.
std::string describe_text_faults(const LogonParameters &p) {
    std::string faults;
    for (const ProfileField &f : profile_fields) {
        if (f.field == &LogonParameters::Password) continue;
        const std::string &value = p.*f.field;
        for (char c : value) {
            unsigned char byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", byte);
                faults += std::string(f.label) + " holds a control character (" + hex +
                          "); a value is one line of text\n";
                break;
            }
        }
        if (in_connect_string(f.field) && value.find('"') != std::string::npos)
            faults +=
                std::string(f.label) + " holds a double quote (\"); " + connect_string_quote + "\n";
    }
    return faults;
}

bool valid_clear_password(const std::string &clear, std::string &why) {
    if (clear.empty()) {
        why = "the password is empty; the sensor refuses a profile without one";
        return false;
    }
    if (clear.size() > body_length) {
        why = "the password is longer than 20 characters";
        return false;
    }
    for (char c : clear)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            why = "the password may hold printable ASCII characters only";
            return false;
        }
    if (clear.find('"') != std::string::npos) {
        why = std::string("the password holds a double quote (\"); ") + connect_string_quote;
        return false;
    }
    return true;
}

// Reads a clear password from standard input and scrambles it; reports why
// it cannot on standard error.
bool read_scrambled_password(const char *prompt, std::string &clear, std::string &scrambled) {
    if (!read_secret_line(prompt, clear)) {
        std::fprintf(stderr, "ramgauge-profile: no password on standard input\n");
        return false;
    }
    std::string why;
    if (!valid_clear_password(clear, why)) {
        std::fprintf(stderr, "ramgauge-profile: %s\n", why.c_str());
        return false;
    }
    scrambled = scramble(clear);
    if (scrambled.empty()) {
        std::fprintf(stderr, "ramgauge-profile: this password cannot be scrambled; "
                             "avoid the characters !\"#$?`{|}~\n");
        return false;
    }
    return true;
}

int command_scramble() {
    std::string clear, scrambled;
    if (!read_scrambled_password("Password: ", clear, scrambled)) return 2;
    std::printf("%s\n", scrambled.c_str());
    return 0;
}

bool all_digits(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool all_letters(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

// What SAP would not take, one line each; empty values are reported by the
// sensor's own checks.
std::string describe_value_faults(const LogonParameters &p) {
    std::string faults;
    if (!p.Client.empty() && !(p.Client.size() == 3 && all_digits(p.Client)))
        faults += "Client.....: must be 3 digits\n";
    if (!p.Sysnr.empty() && !(p.Sysnr.size() == 2 && all_digits(p.Sysnr)))
        faults += "Sysnr......: must be 2 digits\n";
    if (!p.Mode.empty() && p.Mode != "R/3" && p.Mode != "R/2")
        faults += "Mode.......: must be R/3 or R/2\n";
    if (!p.Language.empty() && !(p.Language.size() <= 2 && all_letters(p.Language)))
        faults += "Language...: must be a language key of 1 or 2 letters (E, D, EN)\n";
    const std::string &service = p.Gwservice;
    bool gateway_name =
        service.size() == 7 && service.compare(0, 5, "sapgw") == 0 && all_digits(service.substr(5));
    bool port = all_digits(service) && service.size() <= 5 && std::atol(service.c_str()) >= 1 &&
                std::atol(service.c_str()) <= 65535;
    if (!service.empty() && !gateway_name && !port)
        faults += "Gwservice..: must be sapgwNN or a port number\n";
    return faults;
}

struct CreateOption {
    const char *option;
    std::string LogonParameters::*field;
};
const CreateOption create_options[] = {
    {"--extcompany", &LogonParameters::Extcompany},
    {"--destination", &LogonParameters::Destination},
    {"--client", &LogonParameters::Client},
    {"--user", &LogonParameters::User},
    {"--language", &LogonParameters::Language},
    {"--mode", &LogonParameters::Mode},
    {"--hostname", &LogonParameters::Hostname},
    {"--sysnr", &LogonParameters::Sysnr},
    {"--gwhost", &LogonParameters::Gwhost},
    {"--gwservice", &LogonParameters::Gwservice},
};

bool was_given(const std::set<const char *> &given, std::string LogonParameters::*field) {
    for (const CreateOption &o : create_options)
        if (o.field == field) return given.count(o.option) != 0;
    return false;
}

int command_create(int argc, char **argv) {
    std::string file;
    bool force = false;
    LogonParameters params;
    std::set<const char *> given; // labels given as options
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--force") {
            force = true;
            continue;
        }
        bool matched = false;
        std::string::size_type eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        for (const CreateOption &o : create_options) {
            if (name != o.option) continue;
            if (eq != std::string::npos) {
                params.*o.field = arg.substr(eq + 1);
            } else if (i + 1 < argc) {
                params.*o.field = argv[++i];
            } else {
                std::fprintf(stderr, "ramgauge-profile: %s needs a value\n", o.option);
                return 2;
            }
            given.insert(o.option);
            matched = true;
        }
        if (matched) continue;
        if (arg.rfind("--", 0) == 0 || !file.empty()) {
            std::fprintf(stderr, "ramgauge-profile: unexpected argument %s\n%s", arg.c_str(),
                         usage_create);
            return 2;
        }
        file = arg;
    }
    if (file.empty()) {
        std::fprintf(stderr, "ramgauge-profile: create needs a FILE\n%s", usage_create);
        return 2;
    }
    // The name the sensor and 'check' will look for.
    if (file.size() < 4 || file[file.size() - 4] != '.') file += ".P00";
    if (!force && FileOpener().exists(file)) {
        std::fprintf(stderr, "ramgauge-profile: %s exists; give --force to replace it\n",
                     file.c_str());
        return 2;
    }
    for (const ProfileField &f : profile_fields) {
        if (f.field == &LogonParameters::Password || was_given(given, f.field)) continue;
        if (stdin_is_terminal()) std::fprintf(stderr, "%s ", f.label);
        std::string line;
        if (!read_stdin_line(line)) {
            std::fprintf(stderr, "ramgauge-profile: no value for %s\n", f.label);
            return 2;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        params.*f.field = line;
    }
    std::string text_faults = describe_text_faults(params);
    if (!text_faults.empty()) {
        std::fprintf(stderr, "ramgauge-profile: these values cannot be written:\n%s",
                     text_faults.c_str());
        return 2;
    }
    std::string clear, scrambled;
    if (!read_scrambled_password("Password...: ", clear, scrambled)) return 2;
    params.User = upper_ascii(params.User);
    params.Password = clear;

    std::string faults;
    for (const ProfileField &f : profile_fields)
        if ((params.*f.field).size() > max_profile_value)
            faults += std::string(f.label) + " is longer than 60 characters\n";
    faults += describe_profile_faults(params) + describe_value_faults(params);
    if (!faults.empty()) {
        std::fprintf(stderr, "ramgauge-profile: the sensor would refuse this profile:\n%s",
                     faults.c_str());
        return 2;
    }
    std::string content;
    for (const ProfileField &f : profile_fields) {
        const std::string &value =
            f.field == &LogonParameters::Password ? scrambled : params.*f.field;
        content += std::string(f.label) + " " + value + PROFILE_LINE_END;
    }
    // An old profile survives a failed write whole; the new one is the
    // owner's alone, since it holds a password that is scrambled, not
    // encrypted.
    if (!replace_file(file, content, true)) {
        std::fprintf(stderr, "ramgauge-profile: cannot write %s\n", file.c_str());
        return 2;
    }
    std::printf("%s written\n", file.c_str());
    return 0;
}

int command_check(int argc, char **argv) {
    if (argc != 3 || argv[2][0] == '-') {
        std::fprintf(stderr, "%s", usage_check);
        return 2;
    }
    // Found as the sensor finds it.
    RunContext ctx;
    const char *sensor_argv[] = {"ramgauge", argv[2]};
    std::string text, file;
    try {
        start_up(ctx, 2, sensor_argv);
        auto in = locate_profile(ctx, FileOpener());
        if (ctx.list_run) {
            std::fprintf(stderr,
                         "ramgauge-profile: %s names a list of systems, not a logon "
                         "profile; check each profile of the list\n",
                         argv[2]);
            return 2;
        }
        text = in->read_rest();
        file = ctx.profile_path;
    } catch (const NumberedError &error) {
        std::fprintf(stderr, "ramgauge-profile: %s\n", error.what());
        return 1;
    }

    LogonParameters params;
    bool unused = false;
    std::string password_fault;
    try {
        read_logon_profile(*InputFile::from_text(text), file, ProfileRun::Single, params, unused);
    } catch (const NumberedError &error) {
        password_fault = error.what();
        // Read the rest without the password entries, to report every other field.
        std::string kept;
        std::string::size_type at = 0;
        while (at < text.size()) {
            std::string::size_type end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? end : end - at);
            if (line.rfind("Password...:", 0) != 0) kept += line + "\n";
            at = end == std::string::npos ? text.size() : end + 1;
        }
        params = LogonParameters{};
        read_logon_profile(*InputFile::from_text(kept), file, ProfileRun::Single, params, unused);
    }

    bool accepted = password_fault.empty();
    if (!password_fault.empty()) {
        std::printf("Password...: does not unscramble (%s)\n", password_fault.c_str());
    } else if (!params.Password.empty()) {
        std::printf("Password...: unscrambles to %zu characters\n", params.Password.size());
    }
    std::string faults = describe_profile_faults(params);
    if (!password_fault.empty()) {
        // A rejected password leaves the field empty; that was reported above.
        std::string::size_type at = faults.find("Password...: is missing or empty\n");
        if (at != std::string::npos)
            faults.erase(at, std::strlen("Password...: is missing or empty\n"));
    }
    std::printf("%s", faults.c_str());
    if (accepted) {
        try {
            check_logon_parameters(file, ProfileRun::Single, params, unused);
        } catch (const NumberedError &error) {
            std::printf("The sensor answers: %s\n", error.what());
            accepted = false;
        }
    }
    if (!accepted || !faults.empty()) {
        std::printf("%s: refused\n", file.c_str());
        return 1;
    }
    std::printf("%s: accepted\n", file.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::printf("%s", usage_main);
        return argc < 2 ? 2 : 0;
    }
    std::string command = argv[1];
    if (command == "scramble") {
        if (wants_help(argc, argv)) return std::printf("%s", usage_scramble), 0;
        if (argc != 2) return std::fprintf(stderr, "%s", usage_scramble), 2;
        return command_scramble();
    }
    if (command == "create") {
        if (wants_help(argc, argv)) return std::printf("%s", usage_create), 0;
        return command_create(argc, argv);
    }
    if (command == "check") {
        if (wants_help(argc, argv)) return std::printf("%s", usage_check), 0;
        return command_check(argc, argv);
    }
    if (command == "test") {
        if (wants_help(argc, argv)) return std::printf("%s", usage_test), 0;
        return command_test(argc, argv, FileOpener());
    }
    std::fprintf(stderr, "ramgauge-profile: unknown command %s\n%s", command.c_str(), usage_main);
    return 2;
}
