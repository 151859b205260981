#pragma once
#include <memory>

#include "common/files.h"
#include "run/context.h"

constexpr std::size_t max_path = 259;
constexpr const char *prtg_path_file = "C:\\PRTG_Path.Txt";

// File names whose presence in the profile directory selects an output mode;
// the last one found wins.
struct HostFile {
    const char *file_name;
    OutputMode mode;
};
constexpr HostFile host_files[] = {{"Ramgauge.Kestrel", OutputMode::Kestrel},
                                   {"Ramgauge.Tamarack", OutputMode::Tamarack},
                                   {"Ramgauge.Bramble", OutputMode::Bramble},
                                   {"Ramgauge.Pinnace", OutputMode::Pinnace},
                                   {"Ramgauge.Json", OutputMode::Json}};

// The Json host file also counts beside the program itself, where no host
// file lies in the profile directory: PRTG's Script v2 sensor runs the
// program from a folder of its own, whatever the working directory.
constexpr const char *json_host_file = "Ramgauge.Json";

// The limits file: found where the host files are, else beside the
// program, and read once.
constexpr const char *limits_file = "Ramgauge.Limits";

// Empties the logon parameters, derives the profile file name and directory,
// sets the output mode and progress display, finds the logon profile and
// returns it opened.
// Where the PRTG search finds nothing, the profile is taken from the
// program's own folder (ctx.program_folder) when it lies there.
// Reads the limits file into ctx.limits where one lies.
// Throws NumberedError: 1002 when the profile is missing or lies there but
// cannot be read, 1016, 1023 and 1031 for a limits file too large or with
// a line that cannot be read.
std::unique_ptr<InputFile> locate_profile(RunContext &ctx, const FileOpener &files);

// The output mode of an error found before locate_profile settled it: Json
// when its host file lies in the working directory or beside the program,
// otherwise the default.
OutputMode mode_before_location(const RunContext &ctx, const FileOpener &files);

// Refuses a path beyond the Windows path limit with error 1016.
void check_path_length(const std::string &path);
