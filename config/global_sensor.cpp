#include "config/global_sensor.h"

#include "common/files.h"
#include "common/numbered_error.h"
#include "common/text.h"

namespace {

constexpr std::size_t max_item_name = 90;
// fgets with a 200-byte buffer: each read takes at most 199 bytes. A line
// longer than that is never split: one the reader would use is refused
// (1016), any other is skipped whole.
constexpr std::size_t line_limit = 200;

void append_servers(std::string &list, const std::string &data) {
    list += data;
    if (list.size() > max_system_list)
        throw NumberedError("Error 1016: Global Server Listing is longer than " +
                            std::to_string(max_system_list) + " characters...");
}

// A line the reader would use that does not fit one read: cutting it would
// drop a system or invent one, so it is refused.
NumberedError line_too_long(const std::string &file_name) {
    return NumberedError("Error 1016: A line in " + file_name + " is longer than " +
                         std::to_string(line_limit - 1) + " characters...");
}

void read_item_profile(InputFile &in, const std::string &file_name, GlobalSensor &sensor) {
    LineReader reader(in, line_limit);
    std::string line;
    bool too_long = false;
    while (reader.next_line(line, too_long)) {
        strip_line_end(line);
        if (line.compare(0, 6, "# Gsng") != 0 || line.compare(6, 2, ": ") != 0) continue;
        if (too_long) throw line_too_long(file_name);
        append_servers(sensor.system_list, line.size() > 20 ? line.substr(20) : "");
    }
}

void read_sensor_file(InputFile &in, const std::string &file_name, const std::string &upper_options,
                      GlobalSensor &sensor, bool &found, std::string &sensor_text) {
    std::string name = upper_options.substr(0, upper_options.find(' '));
    name.resize(10, ' ');
    const std::string server_key = "# GSNG: " + name.substr(0, 10);
    const std::string sensor_key = "# GSNX: " + name.substr(0, 10);

    LineReader reader(in, line_limit);
    std::string line;
    bool too_long = false;
    while (reader.next_line(line, too_long)) {
        strip_line_end(line);
        std::string upper = upper_ascii(line);
        bool server_line = upper.compare(0, server_key.size(), server_key) == 0;
        bool sensor_line = upper.compare(0, sensor_key.size(), sensor_key) == 0;
        if (too_long && (server_line || sensor_line)) throw line_too_long(file_name);
        if (server_line)
            append_servers(sensor.system_list, line.size() > 20 ? line.substr(20) : "");
        if (found || !sensor_line) continue;

        sensor_text = line.size() > 19 ? line.substr(19) : "";
        if (sensor_text.size() > max_sensor_text)
            throw NumberedError("Error 1016: Global Sensor line is longer than " +
                                std::to_string(19 + max_sensor_text) + " characters...");
        if (sensor_text.find("Sensor=\"SAP Ramgauge\"") == std::string::npos)
            throw NumberedError("Error 1029: Invalid Sensor-Allocation...");
        std::string options = sensor_text.substr(0, sensor_text.find(",Sensor="));
        for (char &c : options)
            if (c == ':') c = ' ';
        sensor.options = options;
        sensor.options_replaced = true;
        const char *const flags[] = {",Profile", ",Alias", ",Host", ",Sid"};
        for (int i = 0; i < 4; ++i)
            if (line.find(flags[i]) != std::string::npos)
                sensor.label_selector = std::to_string(i + 1);
        found = true;
    }
}

} // namespace

std::string read_item_value(const std::string &text, const std::string &stop_text,
                            std::size_t pos) {
    std::string value;
    for (std::size_t i = pos; i < text.size() && value.size() < max_item_name; ++i) {
        char stop = i < stop_text.size() ? stop_text[i] : text[i];
        if (stop == ' ' || stop == ',') break;
        value += text[i] == ':' ? ' ' : text[i];
    }
    return value;
}

GlobalSensor read_global_sensor_file(InputFile *in, const std::string &profile_file_name,
                                     const std::string &upper_options, const std::string &argument2,
                                     const std::string &item_name) {
    GlobalSensor sensor;
    if (profile_file_name == item_profile_name) {
        if (!in) throw NumberedError("Error 1024: ProFile " + profile_file_name + " is missing...");
        read_item_profile(*in, profile_file_name, sensor);
        sensor.item_name = item_name;
    } else {
        if (!in) throw NumberedError("Error 10x1: ProFile " + profile_file_name + " is missing...");
        bool found = false;
        std::string sensor_text;
        read_sensor_file(*in, profile_file_name, upper_options, sensor, found, sensor_text);
        std::string::size_type item = sensor_text.find("Item=");
        if (item != std::string::npos)
            sensor.item_name = read_item_value(sensor_text, sensor_text, item + 5);
        if (!found) throw NumberedError("Error 1030: Global Sensor " + argument2 + " not found...");
    }
    if (sensor.system_list.empty())
        throw NumberedError("Error 1025: Global Server Listing missing...");
    if (sensor.item_name.empty())
        throw NumberedError("Error 1026: Global Item Idenification missing...");
    return sensor;
}
