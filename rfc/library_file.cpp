#include "rfc/library_file.h"

#include <climits>
#include <cstdio>
#include <memory>

namespace {

// Little- or big-endian fields of a header that was read whole.
struct Fields {
    const std::string &bytes;
    bool big_endian = false;

    bool has(std::size_t at, std::size_t size) const {
        return at <= bytes.size() && size <= bytes.size() - at;
    }
    std::uint64_t get(std::size_t at, std::size_t size) const {
        if (!has(at, size)) return 0;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            auto byte = static_cast<unsigned char>(bytes[big_endian ? at + i : at + size - 1 - i]);
            value = value << 8 | byte;
        }
        return value;
    }
};

// Exactly size bytes at offset, or false.
bool read_exactly(const ReadAt &read_at, std::uint64_t offset, std::size_t size, std::string &out) {
    return read_at(offset, size, out) && out.size() == size;
}

// A NUL-ended name at offset, at most limit bytes before the NUL; false when
// it has no end within that or lies outside the file.
bool read_name(const ReadAt &read_at, std::uint64_t offset, std::size_t limit, std::string &name) {
    std::string chunk;
    if (!read_at(offset, limit + 1, chunk)) return false;
    std::size_t end = chunk.find('\0');
    if (end == std::string::npos || end == 0) return false;
    name = chunk.substr(0, end);
    return true;
}

void add_needed(LibraryFile &file, const std::string &name) {
    for (const std::string &known : file.needed)
        if (known == name) return;
    file.needed.push_back(name);
}

struct Section {
    std::uint64_t address, size, offset, raw_size;
};

// The file offset of a relative virtual address, through the sections.
bool pe_offset(const std::vector<Section> &sections, std::uint64_t rva, std::uint64_t &offset) {
    for (const Section &s : sections) {
        std::uint64_t span = s.size > s.raw_size ? s.size : s.raw_size;
        if (rva >= s.address && rva - s.address < span && rva - s.address < s.raw_size) {
            offset = s.offset + (rva - s.address);
            return true;
        }
    }
    return false;
}

void read_pe(const ReadAt &read_at, const std::string &head, LibraryFile &file) {
    Fields dos{head};
    std::uint64_t pe_at = dos.get(0x3c, 4);
    std::string pe;
    if (!read_exactly(read_at, pe_at, 24, pe) || pe.compare(0, 4, std::string("PE\0\0", 4)) != 0)
        return;
    Fields coff{pe};
    std::size_t sections_count = coff.get(6, 2), optional_size = coff.get(20, 2);
    std::string optional;
    if (optional_size < 2 || !read_exactly(read_at, pe_at + 24, optional_size, optional)) return;
    Fields opt{optional};
    std::uint64_t magic = opt.get(0, 2);
    std::size_t directories_at;
    if (magic == 0x10b) {
        file.bits = 32;
        directories_at = 96;
    } else if (magic == 0x20b) {
        file.bits = 64;
        directories_at = 112;
    } else {
        return;
    }
    file.format = LibraryFile::Format::PE;
    // The import directory is the second data directory.
    std::uint64_t directories = opt.get(directories_at - 4, 4);
    if (directories < 2 || !opt.has(directories_at + 8, 8)) return;
    std::uint64_t imports_rva = opt.get(directories_at + 8, 4);
    if (imports_rva == 0) return; // imports nothing

    std::vector<Section> sections;
    std::string table;
    if (sections_count > 96 ||
        !read_exactly(read_at, pe_at + 24 + optional_size, sections_count * 40, table)) {
        file.damaged = true;
        return;
    }
    Fields entries{table};
    for (std::size_t i = 0; i < sections_count; ++i) {
        std::size_t at = i * 40;
        sections.push_back({entries.get(at + 12, 4), entries.get(at + 8, 4),
                            entries.get(at + 20, 4), entries.get(at + 16, 4)});
    }
    std::uint64_t offset;
    if (!pe_offset(sections, imports_rva, offset)) {
        file.damaged = true;
        return;
    }
    // Import descriptors of 20 bytes, ended by one of zeros; the name's
    // address is the fourth field.
    for (std::size_t i = 0; i < max_needed_files; ++i) {
        std::string descriptor;
        if (!read_exactly(read_at, offset + i * 20, 20, descriptor)) {
            file.damaged = true;
            return;
        }
        if (descriptor == std::string(20, '\0')) return;
        std::uint64_t name_rva = Fields{descriptor}.get(12, 4), name_at;
        std::string name;
        if (!pe_offset(sections, name_rva, name_at) ||
            !read_name(read_at, name_at, max_needed_name, name)) {
            file.damaged = true;
            return;
        }
        add_needed(file, name);
    }
}

void read_elf(const ReadAt &read_at, const std::string &head, LibraryFile &file) {
    bool wide = head[4] == 2;
    if ((head[4] != 1 && !wide) || (head[5] != 1 && head[5] != 2)) return;
    file.format = LibraryFile::Format::ELF;
    file.bits = wide ? 64 : 32;
    Fields elf{head, head[5] == 2};
    std::uint64_t table_at = wide ? elf.get(32, 8) : elf.get(28, 4);
    std::size_t entry_size = wide ? elf.get(54, 2) : elf.get(42, 2);
    std::size_t entries = wide ? elf.get(56, 2) : elf.get(44, 2);
    std::size_t least = wide ? 56 : 32;
    if (entries == 0) return; // no program headers: nothing to load
    std::string table;
    if (entry_size < least || entries > 256 ||
        !read_exactly(read_at, table_at, entry_size * entries, table)) {
        file.damaged = true;
        return;
    }
    Fields headers{table, elf.big_endian};
    struct Segment {
        std::uint64_t type, offset, address, size;
    };
    std::vector<Segment> segments;
    for (std::size_t i = 0; i < entries; ++i) {
        std::size_t at = i * entry_size;
        if (wide)
            segments.push_back({headers.get(at, 4), headers.get(at + 8, 8), headers.get(at + 16, 8),
                                headers.get(at + 32, 8)});
        else
            segments.push_back({headers.get(at, 4), headers.get(at + 4, 4), headers.get(at + 8, 4),
                                headers.get(at + 16, 4)});
    }
    constexpr std::uint64_t load = 1, dynamic = 2;
    const Segment *dynamic_segment = nullptr;
    for (const Segment &s : segments)
        if (s.type == dynamic) dynamic_segment = &s;
    if (!dynamic_segment) return; // linked statically: needs nothing

    std::size_t pair = wide ? 16 : 8;
    std::size_t count = dynamic_segment->size / pair;
    if (count > 4096) count = 4096;
    std::string section;
    if (!read_exactly(read_at, dynamic_segment->offset, count * pair, section)) {
        file.damaged = true;
        return;
    }
    Fields tags{section, elf.big_endian};
    constexpr std::uint64_t needed_tag = 1, strings_tag = 5, strings_size_tag = 10;
    std::vector<std::uint64_t> needed;
    std::uint64_t strings = 0, strings_size = 0;
    bool have_strings = false;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t tag = tags.get(i * pair, pair / 2),
                      value = tags.get(i * pair + pair / 2, pair / 2);
        if (tag == 0) break;
        if (tag == needed_tag && needed.size() < max_needed_files) needed.push_back(value);
        if (tag == strings_tag) {
            strings = value;
            have_strings = true;
        }
        if (tag == strings_size_tag) strings_size = value;
    }
    if (needed.empty()) return;
    // The string table is named by its address once loaded: its file offset
    // comes from the loadable segment that holds it.
    std::uint64_t strings_at = 0;
    bool found = false;
    for (const Segment &s : segments)
        if (have_strings && s.type == load && strings >= s.address &&
            strings - s.address < s.size) {
            strings_at = s.offset + (strings - s.address);
            found = true;
        }
    if (!found) {
        file.damaged = true;
        return;
    }
    for (std::uint64_t at : needed) {
        std::string name;
        if ((strings_size && at >= strings_size) ||
            !read_name(read_at, strings_at + at, max_needed_name, name)) {
            file.damaged = true;
            continue;
        }
        add_needed(file, name);
    }
}

} // namespace

LibraryFile read_library_file(const ReadAt &read_at) {
    LibraryFile file;
    std::string head;
    if (!read_exactly(read_at, 0, 64, head)) return file;
    if (head.compare(0, 4,
                     "\x7f"
                     "ELF") == 0)
        read_elf(read_at, head, file);
    else if (head.compare(0, 2, "MZ") == 0)
        read_pe(read_at, head, file);
    return file;
}

LibraryFile read_library_file(const std::string &path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(path.c_str(), "rb"),
                                                        &std::fclose);
    if (!in) return {};
    return read_library_file([&](std::uint64_t offset, std::size_t size, std::string &out) {
        out.clear();
        if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
            std::fseek(in.get(), static_cast<long>(offset), SEEK_SET) != 0)
            return false;
        out.resize(size);
        out.resize(std::fread(&out[0], 1, size, in.get()));
        return !out.empty();
    });
}
