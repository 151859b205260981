#pragma once
#include <cstdio>
#include <string>
#include <vector>

// What the sensor asks of the operating system: its process, its
// environment, files of its own and folders. One file per platform
// (system-posix.cpp, system-win32.cpp).

// The id of this process.
unsigned long process_id();

// Sets (or, with an empty value, removes) a variable in this process's
// environment, where the C runtime and the operating system look it up.
void set_environment(const char *name, const std::string &value);

// Removes a file; false when it could not be removed.
bool remove_file(const std::string &path);

// Creates a file of this process's own by its native path, replacing what a
// killed earlier run of the same process id left there; opened for binary
// writing, nullptr when that fails. With owner_only it is readable by its
// owner alone on POSIX (mode 0600); on Windows it gets the access list of the
// folder, which for the temporary folder is the user's own.
std::FILE *create_new_file(const std::string &native_path, bool owner_only);

// Writes content to a temporary file beside path and renames it over path,
// so that path holds either its old content or the whole new one. False,
// with nothing left behind and path untouched, when any step fails. With
// owner_only it is readable by its owner alone: mode 0600 on POSIX; on
// Windows a protected access list of SYSTEM, the Administrators group and
// the writing user (OwnerOnlyDescriptor), nothing inherited. Defined in
// protected_file.cpp.
bool replace_file(const std::string &path, const std::string &content, bool owner_only = false);

// Renames a file over another (replacing it); false on failure. Both by
// their Windows-form paths.
bool rename_file(const std::string &from, const std::string &to);

// Folders by their native paths. make_private_folder creates a new folder
// that only its owner may read (POSIX), and fails when the name exists.
bool make_private_folder(const std::string &native_path);
bool remove_folder(const std::string &native_path);
// The names of the entries of a folder (without "." and "..").
std::vector<std::string> folder_entries(const std::string &native_path);
// The current directory with a trailing separator; changing it.
std::string current_directory();
bool change_directory(const std::string &native_path);

// Whether a process with this id is still running.
bool process_running(unsigned long id);
