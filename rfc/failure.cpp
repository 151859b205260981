#include "rfc/failure.h"

#include <cstdlib>
#include <cstring>

#include "output/console.h"

void write_log_line(const ProgramLog &log, RFC_HANDLE handle, const std::string &text,
                    const std::string &detail) {
    if (!log.steps) return;
    log.steps->append_line(std::to_string(static_cast<std::int32_t>(handle)) + " " + text + " " +
                           detail);
}

void print_labelled_line(std::FILE *out, const char *label, int indent, int width,
                         const char *text) {
    std::fprintf(out, "%*.0s", indent, label);
    std::fprintf(out, "%-*s : %s\n", width, label, text);
}

std::string last_library_trace_error(const FileOpener &files, const std::string &path,
                                     bool &found) {
    auto in = files.open_read(path, unbounded_size);
    found = in != nullptr;
    if (!in) return "";
    // Only the end of an overlong trace can hold the last error.
    long long size = in->size();
    if (size > max_input_size) in->seek(size - max_input_size);
    std::string kept, line;
    LineReader reader(*in, 100);
    while (reader.next(line)) {
        if (line.compare(0, 11, "**** ERROR ") == 0) kept.clear();
        if (line.compare(0, 6, "ERROR ") == 0) kept = line.size() > 12 ? line.substr(12) : "";
        if (line.size() >= 15 && line.compare(7, 8, "======> ") == 0) kept = line.substr(15);
        if (!kept.empty()) {
            if (kept.back() == '\r') kept.pop_back();
            if (!kept.empty() && kept.back() == '\n') kept.pop_back();
        }
    }
    return kept;
}

std::string library_trace_reason(const FileOpener &files, const std::string &path) {
    bool found = false;
    std::string kept = last_library_trace_error(files, path, found);
    if (!found) return "Look for Trace-File";
    return kept.empty() ? "Please Check Trace-File !" : kept;
}

namespace {

FatalErrorContext *fatal_context = nullptr;

} // namespace

void install_fatal_error_context(FatalErrorContext *context) {
    fatal_context = context;
}

int report_fatal_rfc_error(const char *operation, std::FILE *out) {
    RFC_ERROR_INFO info;
    std::memset(&info, 0, sizeof info);
    const RfcApi *api = fatal_context ? fatal_context->api : nullptr;
    if (api && api->RfcLastError) api->RfcLastError(&info);
    // The library's texts are fixed fields; never read past them.
    auto field = [](const char *text, std::size_t width) {
        return std::string(text, strnlen(text, width));
    };
    std::string op = operation ? operation : "";
    std::string key = field(info.key, sizeof info.key);
    std::string message = field(info.message, sizeof info.message);

    // PRTG reads nothing but its document: the same facts go into an error
    // answer, which closes the item document whose header is already out.
    bool as_document = fatal_context && answers_with_document(fatal_context->mode);
    if (as_document) {
        OutputDocument doc;
        doc.mode = fatal_context->mode;
        write_closing_error_document(doc, "Error 1017: RFC error at " + op + ": " + key + " - " +
                                              message);
        std::fputs(doc.text.c_str(), out);
    } else {
        std::fprintf(out, "%*.0s", 0, "RFC error");
        std::fprintf(out, "RFC error\n");
        print_labelled_line(out, "operation/code", 0, 15, op.c_str());
        print_labelled_line(out, "key", 0, 15, key.c_str());
        print_labelled_line(out, "status", 0, 15, field(info.status, sizeof info.status).c_str());
        print_labelled_line(out, "message", 0, 15, message.c_str());
        print_labelled_line(out, "internal status", 0, 15,
                            field(info.intstat, sizeof info.intstat).c_str());
        std::fprintf(out, "\n");
    }
    std::fflush(out);
    if (api && api->RfcClose) api->RfcClose(0);

    if (!as_document) std::fprintf(out, "* Programm aborted...\n");
    ProgramLog *log = fatal_context ? fatal_context->log : nullptr;
    if (log && log->abort_log) log->abort_log->append_line("* Pgrm aborted...");
    // The marker is created empty, or left as it is: never truncated, and
    // never anything but a plain file of its own.
    AppendFile eoxput;
    if (!log || log->eoxput_path.empty() || !eoxput.open(log->eoxput_path)) {
        if (!as_document) std::fprintf(out, "* Error at EoXput-File...\n");
        if (eoxput.refused() && log->abort_log)
            log->abort_log->append_line("* " + log->eoxput_path +
                                        " is no plain file of its own: left alone");
    }
    std::fflush(out);
    return fatal_context ? answer_exit_code(fatal_context->mode, 1) : 1;
}

extern "C" void SAP_API fatal_rfc_error(char *operation) {
    // The deadline watchdog may be answering at this moment; then it ends
    // the process with its own code, and this thread's exit code must still
    // be the mode's (always 0 in Json, whose answer carries its state).
    int code = fatal_context ? answer_exit_code(fatal_context->mode, 1) : 1;
    // The sensor's own files (the abort log, the EoXput file) lie in the
    // folder the run started in, not in the session's.
    if (fatal_context && fatal_context->folder) end_session(*fatal_context->folder);
    if (console_seize()) code = report_fatal_rfc_error(operation, stdout);
    std::fflush(nullptr);
    if (fatal_context && fatal_context->folder)
        remove_run_folder_briefly(*fatal_context->folder, true);
    std::_Exit(code);
}
