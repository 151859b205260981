#include "rfc/connection.h"

#include <cstdio>
#include <cstdlib>

#include "common/numbered_error.h"
#include "common/text.h"
#include "config/destination_file.h"
#include "output/console.h"
#include "rfc/reach.h"

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
bool write_destination_copy(const std::string &content, RunFolder &folder) {
    std::string path = run_folder_file(folder, "SapRfc.ini");
    std::FILE *out = path == "SapRfc.ini" ? nullptr : create_new_file(path, true);
    if (!out) return false;
    bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    return std::fclose(out) == 0 && written;
}

std::string connect_value(const char *field, const std::string &value, const std::string &profile) {
    if (value.find('"') != std::string::npos)
        throw NumberedError(std::string("Error 1022: ") + field + " of " + profile +
                            " holds a double quote, which the RFC library cannot take !");
    // Any white space would end the value for the library's reader.
    if (value.find_first_of(" \t\n\v\f\r") == std::string::npos) return value;
    return '"' + value + '"';
}

// "sapgwNN" is port 33NN, a number of up to five digits the port itself;
// 0 for anything else (a service name the check cannot resolve for sure).
int service_port(const std::string &service) {
    auto digits = [](const std::string &text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    };
    if (service.size() == 7 && service.compare(0, 5, "sapgw") == 0 && digits(service.substr(5)))
        return 3300 + std::atoi(service.c_str() + 5);
    if (digits(service) && service.size() <= 5) {
        int port = std::atoi(service.c_str());
        return port > 0 && port <= 65535 ? port : 0;
    }
    return 0;
}

bool routed(const std::string &host) {
    return upper_ascii(host.substr(0, 3)) == "/H/";
}

} // namespace

unsigned read_number_option(const std::string &option_string, const std::string &option_text,
                            const char *keyword, unsigned low, unsigned high, unsigned fallback,
                            const char *error) {
    if (option_string.find(keyword) == std::string::npos) return fallback;
    std::string value = option_value(option_string, option_text, keyword);
    // The value stops counting once it is out of range, so that no length
    // of digits can overflow.
    unsigned number = 0;
    bool valid = !value.empty();
    for (char c : value) {
        if (c < '0' || c > '9')
            valid = false;
        else if (number <= high)
            number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (!valid || number < low || number > high) throw NumberedError(error);
    return number;
}

bool partner_address(const LogonParameters &params, const std::string &option_string,
                     const std::string &option_text, const std::string *destination_entry,
                     std::string &host, int &port) {
    std::string ashost, sysnr, gwhost, gwservice;
    if (destination_entry) {
        DestinationSettings entry;
        if (!read_destination_entry(*destination_entry, params.Destination, entry)) return false;
        std::string type = setting_value(entry, "TYPE");
        if (!setting_value(entry, "MSHOST").empty() || (!type.empty() && type != "A")) return false;
        ashost = setting_value(entry, "ASHOST");
        sysnr = setting_value(entry, "SYSNR");
        gwhost = setting_value(entry, "GWHOST");
        gwservice = setting_value(entry, "GWSERV");
    } else {
        std::string host_override = option_value(option_string, option_text, ",HOST=");
        std::string sysnr_override = option_value(option_string, option_text, ",NO=");
        ashost = host_override.empty() ? params.Hostname : host_override;
        sysnr = sysnr_override.empty() ? params.Sysnr : sysnr_override;
        gwhost = params.Gwhost;
        gwservice = params.Gwservice;
        if (params.Mode == "R/2") ashost.clear(); // a CPI-C partner is its gateway alone
    }
    host = gwhost.empty() ? ashost : gwhost;
    if (host.empty() || routed(host) || routed(ashost)) return false;
    if (!gwservice.empty()) {
        port = service_port(gwservice);
    } else {
        if (sysnr.empty() || sysnr.size() > 2 ||
            sysnr.find_first_not_of("0123456789") != std::string::npos)
            return false;
        port = 3300 + std::atoi(sysnr.c_str());
    }
    return port > 0;
}

std::string connect_string(const LogonParameters &params, const std::string &profile) {
    return "CLIENT=" + connect_value("Client", params.Client, profile) +
           " USER=" + connect_value("User", params.User, profile) +
           " PASSWD=" + connect_value("Password", params.Password, profile) +
           " LANG=D DEST=" + connect_value("Destination", params.Destination, profile);
}

void start_reach_check(ConnectionRecords &records, const LogonParameters &params,
                       const std::string &option_string, const std::string &option_text,
                       const FileOpener &files, RunFolder &folder, unsigned connect_seconds) {
    if (connect_seconds == 0) return;
    std::string entry, host;
    int port = 0;
    try {
        auto destination_file =
            files.open_read(start_folder_file(folder, "SapRfc.") + params.Destination);
        if (destination_file) entry = destination_file->read_rest();
        if (!partner_address(params, option_string, option_text,
                             destination_file ? &entry : nullptr, host, port))
            return;
    } catch (const NumberedError &) {
        return; // open_connection meets the fault in its turn
    }
    records.probe.start(host, port, connect_seconds);
}

RFC_HANDLE open_connection(const RfcApi &api, ConnectionRecords &r, const LogonParameters &params,
                           const std::string &option_string, const std::string &option_text,
                           const RfcTrace &trace, const FileOpener &files, RunFolder &folder,
                           const std::string &profile, bool announce_destination_file,
                           unsigned connect_seconds, std::string *reason) {
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
    bool via_destination_file = destination_file != nullptr;
    std::string entry;
    if (via_destination_file) {
        r.connect_string = connect_string(params, profile);
        entry = destination_file->read_rest();
        destination_file.reset();
        if (announce_destination_file)
            console_write("* SapRfc.Ini.......: " + params.Destination + "<\n");
    }
    // A dead host fails in seconds, not after the library's own long wait.
    std::string host;
    int port = 0;
    if (connect_seconds > 0 &&
        partner_address(params, option_string, option_text, via_destination_file ? &entry : nullptr,
                        host, port)) {
        std::string why;
        if (!r.probe.started()) r.probe.start(host, port, connect_seconds);
        if (!r.probe.finish(why)) {
            if (reason)
                *reason = host + ":" + std::to_string(port) + " not reachable (" + why + ")";
            return 0;
        }
    }
    if (!via_destination_file) {
        begin_session(folder, profile);
        RFC_HANDLE handle = api.RfcOpen(&r.options);
        write_trace_line(trace, option_string, handle, "RfcOpen called", "");
        return handle;
    }
    if (!write_destination_copy(entry, folder)) return 0;
    begin_session(folder, profile);
    // The library takes the entry from SapRfc.ini in the run folder, which
    // RFC_INI has named since before it was loaded.
    RFC_HANDLE handle = api.RfcOpenEx(r.connect_string.c_str(), &r.open_error);
    write_trace_line(trace, option_string, handle, "RfcOpenEx called", "");
    return handle;
}
