#pragma once
#include "common/files.h"
#include "run/context.h"

// Installs the RFC environment as the error handler of the library.
void install_rfc_environment(RunContext &ctx);

// With ",SYSLOG": the program log Ramgauge.Log beside the profile, which is
// also the abort log; a fatal error then leaves Ramgauge.EoX there.
void open_program_log(RunContext &ctx);

// Loads the RFC library the options allow (",RFCLIB="), then opens the
// program log. A run through the NetWeaver library says so in its progress
// lines and its trace; the classic road's stay as they always were.
void load_library(RunContext &ctx);

// Whether "* SapRfc.Ini.......: " is printed: always in the plain-text
// modes, and in the XML modes only with the progress display, since PRTG
// reads nothing but the XML answer.
bool announce_destination_file(const RunContext &ctx);

// One complete scan of the system that the logon parameters name: log on,
// measure, print the answer. Returns the exit code (0, or 2 for error 1011 and
// failed measurements); a fatal RFC error ends the process with 1.
int run_single_system(RunContext &ctx, const FileOpener &files);

// The options as the progress lines show them: cut at "#" and "@".
std::string parameter_text(std::string options);
