#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/files.h"
#include "output/document.h"
#include "rfc/rfc_library.h"
#include "rfc/run_folder.h"

// The program log, Ramgauge.Log beside the profile: the RFC steps the
// program takes. Opened only with ",SYSLOG"; the abort log is the same
// file. (Not to be confused with the library's trace, Dev_Rfc.Trc in the run
// folder, nor with the shared trace, Dev_Rfc.Trc in the working folder,
// which collects the library's traces of failed sessions.) The EoXput file is created empty when a
// fatal RFC error ends the process, for whoever waits on the sensor. Both logs are appended to line
// by line, each line in one write, so that sensors side by side sharing the file never cut each
// other's lines.
struct ProgramLog {
    AppendFile *steps = nullptr;
    AppendFile *abort_log = nullptr;
    std::string eoxput_path;
};

// "<handle> <text> <detail>\n" to the program log, when it is open (the
// option ",SYSLOG"); flushed at once.
// The handle is shown as the signed 32-bit number it is on every build.
void write_log_line(const ProgramLog &log, RFC_HANDLE handle, const std::string &text,
                    const std::string &detail);

// indent blanks, then the label padded to width, " : ", the text and "\n".
void print_labelled_line(std::FILE *out, const char *label, int indent, int width,
                         const char *text);

// The last error text of the RFC library's trace file at path (the run
// folder's own Dev_Rfc.Trc): the text of the last "ERROR " or "======> "
// line that no later "**** ERROR " line cleared; empty when there is none.
// found tells whether the file could be read at all.
std::string last_library_trace_error(const FileOpener &files, const std::string &path, bool &found);

// The last error text of the library's trace at path, or a hint when there is
// none ("Please Check Trace-File !") or no file ("Look for Trace-File").
std::string library_trace_reason(const FileOpener &files, const std::string &path);

// What the fatal-error handler reaches, since the library calls it without
// any context of ours.
struct FatalErrorContext {
    const RfcApi *api = nullptr;
    ProgramLog *log = nullptr;
    OutputMode mode = OutputMode::EXEXML;
    RunFolder *folder = nullptr;
};
void install_fatal_error_context(FatalErrorContext *context);

// Prints the RFC error block and the abort lines, or in the XML and Json
// modes the error answer "Error 1017: RFC error at ..." (closing an item
// document whose header is out); returns the exit code (1, or 0 in Json).
int report_fatal_rfc_error(const char *operation, std::FILE *out);

// The error handler installed in the RFC library: reports the library's last
// error on standard output and ends the process with exit code 1.
extern "C" [[noreturn]] void SAP_API fatal_rfc_error(char *operation);
