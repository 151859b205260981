#pragma once
#include <memory>

#include "common/files.h"
#include "run/context.h"

constexpr std::size_t max_path = 259;
constexpr const char *prtg_path_file = "C:\\PRTG_Path.Txt";

// File names whose presence in the profile directory selects an output mode.
struct HostFile {
    const char *file_name;
    OutputMode mode;
};
constexpr HostFile host_files[] = {{"Ramgauge.Kestrel", OutputMode::Kestrel},
                                   {"Ramgauge.Tamarack", OutputMode::Tamarack},
                                   {"Ramgauge.Bramble", OutputMode::Bramble},
                                   {"Ramgauge.Pinnace", OutputMode::Pinnace}};

// Empties the logon parameters, derives the profile file name and directory,
// sets the output mode and progress display, finds the logon profile and
// returns it opened.
// Throws NumberedError (1002, 1016).
std::unique_ptr<InputFile> locate_profile(RunContext &ctx, const FileOpener &files);

// Refuses a path beyond the Windows path limit with error 1016.
void check_path_length(const std::string &path);
