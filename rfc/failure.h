#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/files.h"
#include "output/document.h"
#include "rfc/rfc_library.h"

// Where the program's own RFC trace goes. Opened only with ",SYSLOG"; the
// abort log is the same file. The EoXput file is created empty when a fatal
// RFC error ends the process, for whoever waits on the sensor.
struct RfcTrace {
    std::FILE *trace_log = nullptr;
    std::FILE *abort_log = nullptr;
    std::string eoxput_path;
};

// "<handle> <text> <detail>\n" to the trace log, when ",SYSLOG" is in the
// option string and the log is open; flushed at once.
// The handle is shown as the signed 32-bit number it is on every build.
void write_trace_line(const RfcTrace &trace, const std::string &option_string, RFC_HANDLE handle,
                      const std::string &text, const std::string &detail);

// indent blanks, then the label padded to width, " : ", the text and "\n".
void print_labelled_line(std::FILE *out, const char *label, int indent, int width,
                         const char *text);

constexpr const char *sap_trace_file = "Dev_Rfc.Trc";

// Appends " - " and the last error text of the RFC library's trace file
// "Dev_Rfc.Trc" to the document, or a hint when there is none. Only what
// was appended past start, the file's size when this run's connection
// attempt began, counts; a file now shorter than that was written anew and
// is read from its beginning.
void scan_trace_file(OutputDocument &doc, const FileOpener &files, long long start);

// Deletes "Dev_Rfc.Trc" after a successful scan, but only when nobody can
// still need it: it has the size it had when the run began (at_start), and
// it was last written at least two seconds before then, so that a failing
// sensor beside this one finds its fresh lines before they go.
void remove_trace_file(const FileStatus &at_start, long long run_started);

// What the fatal-error handler reaches, since the library calls it without
// any context of ours.
struct FatalErrorContext {
    const RfcApi *api = nullptr;
    RfcTrace *trace = nullptr;
    OutputMode mode = OutputMode::EXEXML;
    TemporaryFile *destination_copy = nullptr;
};
void install_fatal_error_context(FatalErrorContext *context);

// Prints the RFC error block and the abort lines, or in the XML modes the
// error answer "Error 1017: RFC error at ..." (closing an item document whose
// header is out); returns the exit code (1).
int report_fatal_rfc_error(const char *operation, std::FILE *out);

// The error handler installed in the RFC library: reports the library's last
// error on standard output and ends the process with exit code 1.
extern "C" [[noreturn]] void SAP_API fatal_rfc_error(char *operation);
