#pragma once
#include <string>

// Paths are handled in their Windows form everywhere ("C:\dir\name").
// native_path() is the one place that maps such a path to the file system
// of the build: unchanged on Windows; elsewhere backslashes become slashes
// and a leading drive letter with its colon is dropped.
std::string native_path(const std::string &windows_path);

// The system's folder for temporary files, ending in a separator.
std::string temporary_directory();

// The directory of the running program, in the system's own form, with its
// trailing separator; empty when it cannot be told.
std::string program_directory();
// The full path of the running program.
std::string running_program();
