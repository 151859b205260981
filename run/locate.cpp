#include "run/locate.h"

#include "common/numbered_error.h"
#include "common/text.h"

namespace {

const char *const prtg_exexml_dirs[] = {
    "", "\\Programme\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\",
    "\\Program Files\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\",
    "\\Program Files (x86)\\PRTG Network Monitor\\Custom Sensors\\ExeXml\\"};

NumberedError missing_profile(const std::string &shown) {
    return NumberedError("Error 1002: Profile " + shown + " is missing...");
}

bool qualifies_as_directory(const std::string &line) {
    return (!line.empty() && line[0] == '\\') || (line.size() > 2 && line[2] == '\\') ||
           (line.size() > 1 && line[1] == ':');
}

std::unique_ptr<InputFile> open_checked(const std::string &path, const FileOpener &files) {
    check_path_length(path);
    return files.open_read(path);
}

// The profile at path, or nullptr when none lies there. One that lies there
// but cannot be opened is reported as such: "missing" would send the
// administrator looking for a file that is there.
std::unique_ptr<InputFile> open_profile(const std::string &path, const FileOpener &files) {
    auto profile = open_checked(path, files);
    if (!profile && files.present(path))
        throw NumberedError("Error 1002: Profile " + path + " cannot be read...");
    return profile;
}

// The search of PRTG's custom-sensor directories, starting from the PRTG
// path file when there is one.
std::unique_ptr<InputFile> prtg_search(RunContext &ctx, const FileOpener &files) {
    ctx.profile_directory.clear();
    const std::string &name = ctx.profile_file_name;
    if (auto path_file = files.open_read(prtg_path_file)) {
        // Lines are read whole: a piece of a long line would name another
        // directory. A directory line longer than a path may be is refused;
        // any other line is ignored, whatever its length.
        LineReader reader(*path_file, max_path + 2);
        std::string line;
        bool too_long = false;
        while (reader.next_line(line, too_long)) {
            strip_line_end(line);
            if (!qualifies_as_directory(line)) continue;
            if (too_long || line.size() > max_path)
                throw NumberedError(std::string("Error 1016: A line in ") + prtg_path_file +
                                    " is longer than " + std::to_string(max_path) +
                                    " characters...");
            ctx.profile_directory = line;
        }
        std::string &dir = ctx.profile_directory;
        if (dir.empty() || dir.back() != '\\') dir += '\\';
        for (const char *sub :
             {"PRTG Network Monitor\\Custom Sensors\\ExeXml\\", "Custom Sensors\\ExeXml\\"}) {
            if (open_profile(dir + sub + name, files)) dir += sub;
        }
        auto profile = open_profile(dir + name, files);
        if (!profile) throw missing_profile(name);
        return profile;
    }
    for (const char *dir : prtg_exexml_dirs) {
        if (auto profile = open_profile(std::string(dir) + name, files)) {
            ctx.profile_directory = dir;
            return profile;
        }
    }
    throw missing_profile(name);
}

bool exists(const std::string &path, const FileOpener &files) {
    return path.size() <= max_path && files.open_read(path) != nullptr;
}

void read_limits(RunContext &ctx, const FileOpener &files) {
    for (const std::string &path :
         {ctx.profile_directory + limits_file,
          ctx.program_folder.empty() ? std::string() : ctx.program_folder + limits_file}) {
        if (path.empty() || path.size() > max_path) continue;
        auto file = files.open_read(path, max_limits_file_size);
        if (!file) continue;
        ctx.limits_path = path;
        ctx.limits_text = file->read_rest();
        ctx.limits = read_limits_file(ctx.limits_text, path);
        return;
    }
}

// After the PRTG search found nothing: the profile beside the program, or
// the search's own error.
std::unique_ptr<InputFile> beside_program(RunContext &ctx, const FileOpener &files,
                                          const NumberedError &error) {
    // Only a missing profile: one the search met but cannot read is answered
    // as such, never replaced by another.
    std::string text = error.what();
    if (text.compare(0, 11, "Error 1002:") != 0 ||
        text.find(" cannot be read...") != std::string::npos)
        throw error;
    if (ctx.program_folder.empty()) throw error;
    std::string path = ctx.program_folder + ctx.profile_file_name;
    auto profile = path.size() <= max_path ? open_profile(path, files) : nullptr;
    if (!profile) throw error;
    ctx.profile_directory = ctx.program_folder;
    return profile;
}

} // namespace

OutputMode mode_before_location(const RunContext &ctx, const FileOpener &files) {
    bool json = exists(json_host_file, files) ||
                (!ctx.program_folder.empty() && exists(ctx.program_folder + json_host_file, files));
    return json ? OutputMode::Json : OutputMode::EXEXML;
}

void check_path_length(const std::string &path) {
    if (path.size() > max_path)
        throw NumberedError("Error 1016: Path " + path + " is longer than " +
                            std::to_string(max_path) + " characters...");
}

std::unique_ptr<InputFile> locate_profile(RunContext &ctx, const FileOpener &files) {
    std::string &name = ctx.profile_file_name;
    if (name.size() < 4 || name[name.size() - 4] != '.') name += ".P00";

    ctx.logon = LogonParameters{};
    ctx.doc.mode = OutputMode::EXEXML;
    ctx.progress_display = ctx.options.progress_marks;

    ctx.profile_directory.clear();
    std::string::size_type slash = name.rfind('\\');
    if (slash != std::string::npos && slash > 0) {
        ctx.profile_directory = name.substr(0, slash + 1);
        name.erase(0, slash + 1);
    }
    if (upper_ascii(name) == "GLOBAL.P00") {
        ctx.list_run = true;
        name = "SAP Quadrant.Gbl";
    }

    bool host_file_found = false;
    for (const HostFile &host : host_files) {
        if (open_checked(ctx.profile_directory + host.file_name, files)) {
            ctx.doc.mode = host.mode;
            host_file_found = true;
        }
    }
    if (!host_file_found && !ctx.program_folder.empty() &&
        exists(ctx.program_folder + json_host_file, files))
        ctx.doc.mode = OutputMode::Json;
    ctx.mode_settled = true;
    read_limits(ctx, files);

    std::unique_ptr<InputFile> profile;
    if (host_file_found || ctx.options.own_folder) {
        ctx.profile_path = ctx.profile_directory + name;
        profile = open_profile(ctx.profile_path, files);
        if (!profile) throw missing_profile(ctx.profile_path);
        return profile;
    }
    try {
        profile = prtg_search(ctx, files);
    } catch (const NumberedError &error) {
        profile = beside_program(ctx, files, error);
    }
    ctx.profile_path = ctx.profile_directory + name;
    return profile;
}
