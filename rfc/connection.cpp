#include "rfc/connection.h"

#include <cstdio>
#include <cstdlib>

#include "common/numbered_error.h"
#include "common/text.h"
#include "config/destination_file.h"
#include "output/console.h"
#include "rfc/reach.h"

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

bool partner_address(const LogonParameters &params, const LogonOverrides &overrides,
                     const std::string *destination_entry, std::string &host, int &port) {
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
        ashost = overrides.host.empty() ? params.Hostname : overrides.host;
        sysnr = overrides.sysnr.empty() ? params.Sysnr : overrides.sysnr;
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

void start_reach_check(const ConnectionContext &context, const ConnectionRequest &request) {
    const LogonParameters &params = request.logon;
    if (request.connect_seconds == 0) return;
    std::string entry, host;
    int port = 0;
    try {
        auto destination_file = context.files.open_read(
            start_folder_file(context.folder, "SapRfc.") + params.Destination);
        if (destination_file) entry = destination_file->read_rest();
        if (!partner_address(params, request.overrides, destination_file ? &entry : nullptr, host,
                             port))
            return;
    } catch (const NumberedError &) {
        return; // open_connection meets the fault in its turn
    }
    context.records.probe.start(host, port, request.connect_seconds);
}

RFC_HANDLE open_connection(const ConnectionContext &context, const ConnectionRequest &request,
                           std::string *reason) {
    const LogonParameters &params = request.logon;
    ConnectionRecords &r = context.records;
    RunFolder &folder = context.folder;
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

    if (!request.overrides.host.empty()) r.hostname = request.overrides.host;
    if (!request.overrides.sysnr.empty()) r.sysnr = request.overrides.sysnr;

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
        context.files.open_read(start_folder_file(folder, "SapRfc.") + params.Destination);
    bool via_destination_file = destination_file != nullptr;
    std::string entry;
    if (via_destination_file) {
        r.connect_string = connect_string(params, request.profile);
        entry = destination_file->read_rest();
        destination_file.reset();
        if (request.announce_destination_file)
            console_write("* SapRfc.Ini.......: " + params.Destination + "<\n");
    }
    // A dead host fails in seconds, not after the library's own long wait.
    std::string host;
    int port = 0;
    if (request.connect_seconds > 0 &&
        partner_address(params, request.overrides, via_destination_file ? &entry : nullptr, host,
                        port)) {
        std::string why;
        if (!r.probe.started()) r.probe.start(host, port, request.connect_seconds);
        if (!r.probe.finish(why)) {
            if (reason)
                *reason = host + ":" + std::to_string(port) + " not reachable (" + why + ")";
            return 0;
        }
    }
    if (!via_destination_file) {
        begin_session(folder, request.profile);
        RFC_HANDLE handle = context.api.RfcOpen(&r.options);
        write_log_line(context.log, handle, "RfcOpen called", "");
        return handle;
    }
    if (!write_destination_copy(entry, folder)) return 0;
    begin_session(folder, request.profile);
    // The library takes the entry from SapRfc.ini in the run folder, which
    // RFC_INI has named since before it was loaded.
    RFC_HANDLE handle = context.api.RfcOpenEx(r.connect_string.c_str(), &r.open_error);
    write_log_line(context.log, handle, "RfcOpenEx called", "");
    return handle;
}
