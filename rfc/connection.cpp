#include "rfc/connection.h"

#include <cstdio>
#include <cstdlib>

#include "output/console.h"

std::string option_value(const std::string &option_string, const std::string &option_text,
                         const char *keyword) {
    std::string::size_type at = option_string.find(keyword);
    if (at == std::string::npos) return "";
    std::string value;
    for (std::size_t i = at + std::char_traits<char>::length(keyword);
         i < option_string.size() && option_string[i] != ',' && option_string[i] != ' '; ++i)
        value += i < option_text.size() ? option_text[i] : option_string[i];
    return value;
}

namespace {

char *text_of(std::string &text) {
    return &text[0];
}
char *text_or_null(std::string &text) {
    return text.empty() ? nullptr : &text[0];
}

std::string padded(const std::string &value, std::size_t width) {
    return value.size() >= width ? value : value + std::string(width - value.size(), ' ');
}

// Copies the destination file byte for byte to a file of this process alone
// in the temporary folder, and returns its path; empty when the copy cannot
// be written, with nothing left behind.
std::string write_private_copy(InputFile &source, TemporaryFile &copy) {
    std::string path =
        temporary_directory() + "ramgauge-" + std::to_string(process_id()) + "-SapRfc.ini";
    std::string content = source.read_rest();
    copy.set(path);
    std::FILE *out = create_new_file(path, true);
    if (!out) {
        copy.remove();
        return "";
    }
    bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    written = std::fclose(out) == 0 && written;
    if (!written) {
        copy.remove();
        return "";
    }
    return path;
}

} // namespace

RFC_HANDLE open_connection(const RfcApi &api, ConnectionRecords &r, const LogonParameters &params,
                           const std::string &option_string, const std::string &option_text,
                           const RfcTrace &trace, const FileOpener &files,
                           TemporaryFile &destination_copy, bool announce_destination_file) {
    r.destination = params.Destination;
    r.client = params.Client;
    r.user = params.User;
    r.password = params.Password;
    r.language = params.Language;
    r.mode = params.Mode;
    r.hostname = params.Hostname;
    r.sysnr = params.Sysnr;
    r.gwhost = params.Gwhost;
    r.gwservice = params.Gwservice;
    r.trace_setting = "off";

    std::string host_override = option_value(option_string, option_text, ",HOST=");
    if (!host_override.empty()) r.hostname = host_override;
    std::string sysnr_override = option_value(option_string, option_text, ",NO=");
    if (!sysnr_override.empty()) r.sysnr = sysnr_override;

    r.user = padded(r.user, 12);
    r.password = padded(r.password, 10);

    r.options.destination = text_of(r.destination);
    r.options.client = text_of(r.client);
    r.options.user = text_of(r.user);
    r.options.password = text_of(r.password);
    r.options.language = text_of(r.language);
    if (r.mode == "R/2") {
        r.options.mode = RFC_MODE_CPIC;
        r.cpic.gateway_host = text_or_null(r.gwhost);
        r.cpic.gateway_service = text_or_null(r.gwservice);
        r.options.connopt = &r.cpic;
    } else {
        r.options.mode = RFC_MODE_R3ONLY;
        r.r3.hostname = text_or_null(r.hostname);
        if (!r.sysnr.empty()) r.r3.sysnr = std::atoi(r.sysnr.c_str());
        r.r3.gateway_host = text_or_null(r.gwhost);
        r.r3.gateway_service = text_or_null(r.gwservice);
        r.options.connopt = &r.r3;
    }
    r.options.trace = (r.trace_setting == "on" || r.trace_setting == "ON") ? 3 : 0;

    auto destination_file = files.open_read("SapRfc." + params.Destination);
    if (!destination_file) {
        RFC_HANDLE handle = api.RfcOpen(&r.options);
        write_trace_line(trace, option_string, handle, "RfcOpen called", "");
        return handle;
    }
    if (announce_destination_file)
        console_write("* SapRfc.Ini.......: " + params.Destination + "<\n");
    std::string ini = write_private_copy(*destination_file, destination_copy);
    destination_file.reset();
    if (ini.empty()) return 0;
    r.connect_string = "CLIENT=" + params.Client + " USER=" + params.User +
                       " PASSWD=" + params.Password + " LANG=D DEST=" + params.Destination;
    // The library takes its saprfc.ini from RFC_INI, so that sensors side by
    // side never read each other's entries. The copy is gone once the open
    // returns; whatever RFC_INI held before is set again.
    const char *before = std::getenv("RFC_INI");
    std::string previous = before ? before : "";
    set_environment("RFC_INI", ini);
    RFC_HANDLE handle = api.RfcOpenEx(r.connect_string.c_str(), &r.open_error);
    set_environment("RFC_INI", previous);
    destination_copy.remove();
    write_trace_line(trace, option_string, handle, "RfcOpenEx called", "");
    return handle;
}
