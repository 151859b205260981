#include "tools/profile_test.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/files.h"
#include "common/numbered_error.h"
#include "common/text.h"
#include "config/logon_profile.h"
#include "rfc/nw_library.h"
#include "rfc/reach.h"
#include "rfc/rfc_library.h"
#include "rfc/run_folder.h"
#include "rfc/shared_library.h"
#include "run/answer.h"
#include "run/locate.h"
#include "run/scan.h"
#include "run/single.h"
#include "run/startup.h"

namespace {

std::mutex print_lock;

// The files a search opens, in order: the places the sensor tried.
class RecordingOpener : public FileOpener {
  public:
    explicit RecordingOpener(const FileOpener &inner) : inner_(inner) {}
    std::unique_ptr<InputFile> open_read(const std::string &path,
                                         long long max_size = max_input_size) const override {
        tried.push_back(path);
        return inner_.open_read(path, max_size);
    }
    bool present(const std::string &path) const override { return inner_.present(path); }
    mutable std::vector<std::string> tried;

  private:
    const FileOpener &inner_;
};

// The places tried for the profile: the paths opened that end in its name.
std::string places_tried(const std::vector<std::string> &tried, const std::string &name) {
    std::string out;
    std::string upper_name = upper_ascii(name);
    for (const std::string &path : tried) {
        if (path.size() < name.size() ||
            upper_ascii(path.substr(path.size() - name.size())) != upper_name)
            continue;
        if (out.find(path) != std::string::npos) continue;
        out += (out.empty() ? "" : ", ") + (path == name ? name + " (the working folder)" : path);
    }
    return out.empty() ? "nowhere" : out;
}

// What a missing file a library needs is, by SAP's and Microsoft's names.
std::string known_as(const std::string &name) {
    std::string upper = upper_ascii(name);
    auto starts = [&upper](const char *prefix) { return upper.rfind(prefix, 0) == 0; };
    if (starts("ICU") || starts("LIBICU"))
        return " (ICU, from the lib folder of SAP's NetWeaver RFC SDK)";
    if (starts("SAPUCUM") || starts("LIBSAPUCUM"))
        return " (SAP's Unicode library, from the lib folder of the NetWeaver RFC SDK)";
    if (starts("MSVCP") || starts("VCRUNTIME") || starts("MSVCR"))
        return " (Microsoft's Visual C++ runtime: install its redistributable of the program's "
               "width)";
    return "";
}

// Every file the RFC libraries beside the program need and the loader
// would not find, each with what it is: "" when none.
std::string missing_beside_program() {
    std::string directory = program_directory(), out;
    for (const char *name : {rfc_library_file_name(), nw_library_file_name()}) {
        std::vector<std::string> missing = missing_needs(directory + name, directory);
        if (missing.empty()) continue;
        out += std::string(out.empty() ? "" : "; ") + name + " needs";
        for (std::size_t i = 0; i < missing.size(); ++i)
            out += (i ? ", " : " ") + missing[i] + known_as(missing[i]);
    }
    return out;
}

// Another copy of an RFC library in the system's folder, which a program
// that searches it (SAP GUI's tools, an old sensor) may take: its path, or
// empty.
std::string copy_in_system_folder(const std::string &loaded) {
#ifdef _WIN32
    char system[MAX_PATH + 1];
    UINT size = GetSystemDirectoryA(system, sizeof system);
    if (size == 0 || size >= sizeof system) return "";
    for (const char *name : {"librfc32.dll", "sapnwrfc.dll"}) {
        std::string path = std::string(system) + "\\" + name;
        if (upper_ascii(path) == upper_ascii(loaded)) continue;
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
#else
    (void)loaded;
#endif
    return "";
}

// One step's line: "OK    step: detail", or "FAIL  step: detail" and the
// fix on a line of its own.
void step(bool ok, const char *name, const std::string &detail, const std::string &fix = "") {
    std::lock_guard<std::mutex> hold(print_lock);
    std::printf("%-6s%s: %s\n", ok ? "OK" : "FAIL", name, detail.c_str());
    if (!ok && !fix.empty()) std::printf("      what to do: %s\n", fix.c_str());
    std::fflush(stdout);
}

long long milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// The test has the sensor's deadline: a step that does not end within
// ,TIMEOUT= seconds (a hung library) fails the test then.
void start_deadline(unsigned seconds) {
    std::thread([seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        step(false, "deadline",
             "no end within " + std::to_string(seconds) +
                 " seconds (,TIMEOUT=); the step after "
                 "the last line hangs",
             "the sensor would answer \"Error 1020\": see the step after the last OK line");
        std::_Exit(1);
    }).detach();
}

const char *mode_source(const RunContext &ctx, const FileOpener &files) {
    for (const HostFile &host : host_files)
        if (host.mode == ctx.doc.mode && files.exists(ctx.profile_directory + host.file_name))
            return host.file_name;
    return ctx.doc.mode == OutputMode::Json ? json_host_file : nullptr;
}

// Whether SAP's text refuses the logon (a wrong name or password, a locked
// user), whichever library reports it.
bool is_logon_refusal(const std::string &text) {
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower.find("logon") != std::string::npos ||
           lower.find("password") != std::string::npos || lower.find("locked") != std::string::npos;
}

// The library's reason for a failed measurement, and what SAP checks.
std::string measurement_fix(const std::string &failure) {
    if (failure.find("NOT_AUTHORIZED") != std::string::npos ||
        failure.find("uthoriz") != std::string::npos)
        return "SAP refused the call: the monitoring user needs authorization object S_RFC "
               "with RFC_TYPE FUGR, RFC_NAME the function group of GET_MEM_ALL (SE37: "
               "GET_MEM_ALL, tab Attributes, \"Function group\") and ACTVT 16; the guide, "
               "section 11";
    return "see the guide, section 11, for this answer; the shared Dev_Rfc.Trc holds the "
           "library's lines";
}

int run_test(RunContext &ctx, const FileOpener &opener) {
    std::unique_ptr<InputFile> profile;
    RecordingOpener files(opener);
    try {
        profile = locate_profile(ctx, files);
    } catch (const NumberedError &error) {
        step(false, "profile",
             std::string(error.what()) +
                 " (looked for at: " + places_tried(files.tried, ctx.profile_file_name) + ")",
             "put the profile into the folder the sensor starts in (PRTG's EXEXML folder) or "
             "beside the program; write it with 'ramgauge-profile create'");
        return 1;
    }
    if (ctx.list_run) {
        std::fprintf(stderr,
                     "ramgauge-profile: %s names a list of systems; test each profile of "
                     "the list\n",
                     ctx.profile_file_name.c_str());
        return 2;
    }
    step(true, "profile",
         "found at " + ctx.profile_path +
             (ctx.profile_directory.empty() ? " in the working folder " + current_directory()
                                            : std::string()) +
             " (looked for at: " + places_tried(files.tried, ctx.profile_file_name) + ")");
    const char *host = mode_source(ctx, files);
    step(true, "output",
         std::string(output_mode_name(ctx.doc.mode)) +
             (host ? std::string(" (host file ") + host + ")"
                   : std::string(" (no host file: PRTG's XML)")));
    step(true, "limits",
         ctx.limits.present
             ? ctx.limits_path + ", " + std::to_string(ctx.limits.channels.size()) + " channel(s)"
             : std::string("no Ramgauge.Limits: channels without limits"));
    bool unused = false;
    try {
        read_logon_profile(*profile, ctx.profile_file_name, ProfileRun::Single, ctx.logon, unused);
        check_logon_parameters(ctx.profile_file_name, ProfileRun::Single, ctx.logon, unused);
    } catch (const NumberedError &error) {
        step(false, "profile entries", error.what(),
             "'ramgauge-profile check " + ctx.profile_file_name + "' lists every entry it refuses");
        return 1;
    }
    const LogonParameters &p = ctx.logon;
    step(true, "profile entries",
         "destination " + p.Destination + ", client " + p.Client + ", user " + p.User + ", host " +
             p.Hostname + ", system number " + p.Sysnr);

    auto started = std::chrono::steady_clock::now();
    try {
        create_run_folder(*ctx.folder);
        load_library(ctx);
    } catch (const NumberedError &error) {
        std::string other = copy_in_system_folder("");
        std::string missing = missing_beside_program();
        step(
            false, "RFC library",
            std::string(error.what()) + (missing.empty() ? "" : " (missing: " + missing + ")") +
                (other.empty() ? "" : " (another copy lies in the system's folder: " + other + ")"),
            "put SAP's RFC library of the program's width (" + std::to_string(sizeof(void *) * 8) +
                "-bit) beside the program, with every file it needs (the guide, section 1a)");
        return 1;
    }
    std::string file = loaded_library_file(ctx.rfc.library);
    std::string other = copy_in_system_folder(file);
    // The NetWeaver library tells its version; the classic one its release
    // only with a connection (RfcGetAttributes), which this step has not.
    std::string version = ctx.rfc.back_end == RfcBackEnd::NetWeaver
                              ? nw_library_version(ctx.rfc.library)
                              : std::string();
    step(true, "RFC library",
         (file.empty() ? ctx.rfc.library_path : file) +
             (ctx.rfc.back_end == RfcBackEnd::NetWeaver
                  ? " (SAP's NetWeaver RFC library" +
                        (version.empty() ? std::string() : ", version " + version) + ")"
                  : std::string(" (the classic librfc32)")) +
             ", loaded by a " + std::to_string(sizeof(void *) * 8) + "-bit program in " +
             std::to_string(milliseconds_since(started)) + " ms" +
             (other.empty() ? "" : "; another copy lies in the system's folder: " + other));

    std::string entry_text;
    bool has_entry = false;
    if (auto entry = files.open_read("SapRfc." + p.Destination)) {
        entry_text = entry->read_rest();
        has_entry = true;
    }
    std::string partner_host;
    int port = 0;
    LogonOverrides overrides = ctx.options.overrides;
    if (!partner_address(p, overrides, has_entry ? &entry_text : nullptr, partner_host, port)) {
        step(true, "partner",
             "not known before the logon (a router string, a message server or a named "
             "service in SapRfc." +
                 p.Destination + "): the library finds it");
    } else {
        std::string source = has_entry ? "SapRfc." + p.Destination : std::string("the profile");
        if (!overrides.host.empty() || !overrides.sysnr.empty()) source += " and ,HOST=/,NO=";
        unsigned seconds = ctx.options.connect_seconds ? ctx.options.connect_seconds : 5;
        std::string why;
        // start() resolves the name and sets the connection under way;
        // finish() waits for it.
        started = std::chrono::steady_clock::now();
        PartnerProbe probe;
        probe.start(partner_host, port, seconds);
        std::string resolved =
            "name resolved in " + std::to_string(milliseconds_since(started)) + " ms";
        started = std::chrono::steady_clock::now();
        bool reached = probe.finish(why);
        std::string where = partner_host + ":" + std::to_string(port) + " (from " + source + ")";
        if (!reached) {
            step(false, "partner",
                 where + " not reachable (" + why + ") after " +
                     std::to_string(milliseconds_since(started)) + " ms" +
                     (why == "unknown host" ? "" : "; " + resolved),
                 "check the host name (name resolution), the gateway service or port, and "
                 "that no firewall blocks it from the probe");
            return 1;
        }
        step(true, "partner",
             where + ": " + resolved + ", TCP connection taken in " +
                 std::to_string(milliseconds_since(started)) + " ms");
    }

    ScanRequest request;
    request.profile = ctx.profile_file_name;
    request.measured = [&](const Measurement &m) {
        if (m.status == RunStatus::Measured)
            write_memory_answer(ctx.doc, p.Destination, m.figures, ctx.limits);
    };
    started = std::chrono::steady_clock::now();
    ScanResult result;
    try {
        result = scan(ctx, files, request);
    } catch (const NumberedError &error) {
        step(false, "logon", error.what(), "correct the profile or the destination file");
        return 1;
    }
    // The classic library logs on with the first call, the NetWeaver one as
    // it opens the connection: a refused logon is the logon's step on both.
    const char *logon_fix = "check client, user and password ('ramgauge-profile create' writes "
                            "them anew), and that the user is not locked (SU01)";
    if (!result.opened) {
        std::string text = "Error 1011: RFC-Open for " + p.Destination + " failed" +
                           (result.reason.empty() ? "" : " - " + result.reason);
        if (!is_logon_refusal(text)) {
            step(false, "connection", text,
                 "check the host, system number and gateway in the profile or SapRfc." +
                     p.Destination + "; SAP's reason is in the shared Dev_Rfc.Trc");
            return 1;
        }
        step(true, "connection", "opened to " + p.Hostname);
        step(false, "logon", text, logon_fix);
        return 1;
    }
    step(true, "connection", "opened to " + p.Hostname);
    std::string failure = result.measurement.failure;
    if (!result.reason.empty()) failure += " - " + result.reason;
    if (!result.measured() && is_logon_refusal(failure)) {
        step(false, "logon", failure, logon_fix);
        return 1;
    }
    step(true, "logon", "client " + p.Client + ", user " + p.User);
    if (!result.measured()) {
        step(false, "GET_MEM_ALL", failure, measurement_fix(failure));
        return 1;
    }
    step(true, "GET_MEM_ALL",
         memory_status_line(p.Destination, result.measurement.figures) + "in " +
             std::to_string(milliseconds_since(started)) + " ms");
    step(true, "answer", "the sensor would print:");
    std::printf("%s", ctx.doc.text.c_str());
    if (!ctx.doc.text.empty() && ctx.doc.text.back() != '\n') std::printf("\n");
    return 0;
}

} // namespace

const char *const usage_test =
    "Usage: ramgauge-profile test PROFILE [OPTIONS [OPTIONS]]\n"
    "Runs every step a scan of PROFILE takes, as the sensor would from this\n"
    "folder, and prints one line per step with OK or the failure and what to do\n"
    "about it: where the profile was found, the output mode and limits file, the\n"
    "RFC library loaded (the file the loader took, or what it lacks), the partner\n"
    "and its TCP connection, the logon, the call of GET_MEM_ALL, and the answer\n"
    "the sensor would print. Takes the sensor's options (,RFCLIB= ,CONNECT=\n"
    ",TIMEOUT= ,HOST= ,NO=). The password is never shown.\n"
    "Exits 0 when the scan would succeed, 1 when a step fails, 2 for wrong usage.\n";

int command_test(int argc, char **argv, const FileOpener &files) {
    if (argc < 3 || argc > 5 || argv[2][0] == '-') {
        std::fprintf(stderr, "%s", usage_test);
        return 2;
    }
    std::vector<const char *> sensor_argv = {"ramgauge"};
    for (int i = 2; i < argc; ++i)
        sensor_argv.push_back(argv[i]);
    RunContext ctx;
    ctx.program_folder = program_directory();
    for (char &c : ctx.program_folder)
        if (c == '/') c = '\\';
    try {
        start_up(ctx, static_cast<int>(sensor_argv.size()), sensor_argv.data());
    } catch (const NumberedError &error) {
        std::fprintf(stderr, "ramgauge-profile: %s\n%s", error.what(), usage_test);
        return 2;
    }
    // Progress lines are the sensor's business, not the test's.
    ctx.options.progress_marks = false;
    start_deadline(ctx.options.timeout_seconds);
    int code = run_test(ctx, files);
    remove_run_folder(*ctx.folder, false);
    return code;
}
