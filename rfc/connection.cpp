#include "rfc/connection.h"

#include <cstdio>
#include <cstdlib>

#include "common/numbered_error.h"
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

// Copies the destination file byte for byte to SapRfc.ini in the run folder;
// false when it cannot be written.
bool write_destination_copy(InputFile &source, RunFolder &folder) {
    std::string path = run_folder_file(folder, "SapRfc.ini");
    std::string content = source.read_rest();
    std::FILE *out = path == "SapRfc.ini" ? nullptr : create_new_file(path, true);
    if (!out) return false;
    bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    return std::fclose(out) == 0 && written;
}

std::string connect_value(const char *field, const std::string &value, const std::string &profile) {
    if (value.find('"') != std::string::npos)
        throw NumberedError(std::string("Error 1022: ") + field + " of " + profile +
                            " holds a double quote, which the RFC library cannot take !");
    if (value.find_first_of(" \t") == std::string::npos) return value;
    return '"' + value + '"';
}

} // namespace

std::string connect_string(const LogonParameters &params, const std::string &profile) {
    return "CLIENT=" + connect_value("Client", params.Client, profile) +
           " USER=" + connect_value("User", params.User, profile) +
           " PASSWD=" + connect_value("Password", params.Password, profile) +
           " LANG=D DEST=" + connect_value("Destination", params.Destination, profile);
}

RFC_HANDLE open_connection(const RfcApi &api, ConnectionRecords &r, const LogonParameters &params,
                           const std::string &option_string, const std::string &option_text,
                           const RfcTrace &trace, const FileOpener &files, RunFolder &folder,
                           const std::string &profile, bool announce_destination_file) {
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

    auto destination_file =
        files.open_read(start_folder_file(folder, "SapRfc.") + params.Destination);
    if (!destination_file) {
        begin_session(folder, profile);
        RFC_HANDLE handle = api.RfcOpen(&r.options);
        write_trace_line(trace, option_string, handle, "RfcOpen called", "");
        return handle;
    }
    r.connect_string = connect_string(params, profile);
    if (announce_destination_file)
        console_write("* SapRfc.Ini.......: " + params.Destination + "<\n");
    bool copied = write_destination_copy(*destination_file, folder);
    destination_file.reset();
    if (!copied) return 0;
    begin_session(folder, profile);
    // The library takes the entry from SapRfc.ini in the run folder, which
    // RFC_INI has named since before it was loaded.
    RFC_HANDLE handle = api.RfcOpenEx(r.connect_string.c_str(), &r.open_error);
    write_trace_line(trace, option_string, handle, "RfcOpenEx called", "");
    return handle;
}
