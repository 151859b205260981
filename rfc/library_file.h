#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a shared library's file says of itself, read without loading it: its
// format and bitness and the names of the files the loader must find for it
// (a PE file's import directory, an ELF file's DT_NEEDED entries). The
// sensor reads this only after a library failed to load, to name what is
// missing.
struct LibraryFile {
    enum class Format { Unknown, PE, ELF };
    Format format = Format::Unknown;
    int bits = 0; // 32 or 64; 0 when the file says neither
    // Files it imports, in the file's order, each once as written there.
    std::vector<std::string> needed;
    // Set when the file could be identified but its import list was cut
    // short (a table outside the file, a name without its end).
    bool damaged = false;
};

// Reads up to size bytes at offset into out (fewer at the end of the file);
// false when there is nothing there.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t size, std::string &out)>;

// At most this many names are kept, and each at most this long: a file may
// claim anything.
constexpr std::size_t max_needed_files = 256;
constexpr std::size_t max_needed_name = 260;

LibraryFile read_library_file(const ReadAt &read_at);

// The file at path (a native path); Format::Unknown when it cannot be read.
LibraryFile read_library_file(const std::string &path);
