#pragma once
#include "common/files.h"
#include <string>

constexpr const char *item_profile_name = "Quadrant.Prf";
constexpr const char *global_sensor_file_name = "SAP Quadrant.Gbl";
constexpr std::size_t max_system_list = 2047;
constexpr std::size_t max_sensor_text = 127;

// What the item profile or the global sensor file says about one sensor.
struct GlobalSensor {
    std::string system_list;          // "A.P00#B.P00#..."
    std::string label_selector = "1"; // 1 profile, 2 profile less 4 chars, 3 host, 4 destination
    std::string item_name;
    bool options_replaced = false;
    std::string options; // the sensor's own options, when replaced
};

// Reads "Quadrant.Prf" (profile_file_name equal to it) or "SAP Quadrant.Gbl".
// in is null when the file could not be opened. upper_options is the
// upper-cased command-line options, argument2 the second argument as typed,
// item_name the "ITEM=" value of the command line. Throws NumberedError
// (1024, 10x1, 1025, 1026, 1029, 1030, 1016).
GlobalSensor read_global_sensor_file(InputFile *in, const std::string &profile_file_name,
                                     const std::string &upper_options, const std::string &argument2,
                                     const std::string &item_name);

// An "Item=" value: up to a blank or comma (as stop_text has them at the same
// positions), at most 90 characters, ":" standing for a blank.
std::string read_item_value(const std::string &text, const std::string &stop_text, std::size_t pos);
