#include "rfc/connection.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

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

// Copies the destination file to "SapRfc.ini" byte for byte. The copy goes
// to a temporary file first and is renamed over the old one, so a sensor that
// starts at the same moment never reads half a file.
bool replace_saprfc_ini(std::istream &source) {
#ifdef _WIN32
    std::string temporary = "SapRfc.ini." + std::to_string(_getpid()) + ".tmp";
#else
    std::string temporary = "SapRfc.ini." + std::to_string(getpid()) + ".tmp";
#endif
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << source.rdbuf();
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
#ifdef _WIN32
    bool renamed = MoveFileExA(temporary.c_str(), "SapRfc.ini", MOVEFILE_REPLACE_EXISTING) != 0;
#else
    bool renamed = std::rename(temporary.c_str(), "SapRfc.ini") == 0;
#endif
    if (!renamed) std::remove(temporary.c_str());
    return renamed;
}

} // namespace

RFC_HANDLE open_connection(const RfcApi &api, ConnectionRecords &r, const LogonParameters &params,
                           const std::string &option_string, const std::string &option_text,
                           const RfcTrace &trace, const FileOpener &files) {
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
    std::printf("* SapRfc.Ini.......: %s<\n", params.Destination.c_str());
    std::fflush(stdout);
    bool copied = replace_saprfc_ini(*destination_file);
    destination_file.reset();
    if (!copied) return 0;
    r.connect_string = "CLIENT=" + params.Client + " USER=" + params.User +
                       " PASSWD=" + params.Password + " LANG=D DEST=" + params.Destination;
    RFC_HANDLE handle = api.RfcOpenEx(r.connect_string.c_str(), &r.open_error);
    write_trace_line(trace, option_string, handle, "RfcOpenEx called", "");
    return handle;
}
