#include "rfc/library_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void put(std::string &file, std::size_t at, std::uint64_t value, std::size_t size,
         bool big_endian = false) {
    if (file.size() < at + size) file.resize(at + size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        file[big_endian ? at + size - 1 - i : at + i] =
            static_cast<char>(i < 8 ? value >> (8 * i) & 0xff : 0);
}

// A PE file of one section at file offset 0x200 (address 0x1000) holding the
// import descriptors and then the names. names_at_end: the last name has no
// NUL before the end of the file.
std::string pe_file(bool wide, const std::vector<std::string> &imports, bool names_at_end = false,
                    std::uint64_t import_rva = 0x1000) {
    std::string file = "MZ";
    put(file, 0x3c, 64, 4);
    file.replace(64, 4, std::string("PE\0\0", 4));
    std::size_t optional_size = wide ? 240 : 224, directories = wide ? 112 : 96;
    put(file, 64 + 4, wide ? 0x8664 : 0x14c, 2);
    put(file, 64 + 6, 1, 2);
    put(file, 64 + 20, optional_size, 2);
    std::size_t optional = 64 + 24;
    put(file, optional, wide ? 0x20b : 0x10b, 2);
    put(file, optional + directories - 4, 16, 4);
    if (!imports.empty()) put(file, optional + directories + 8, import_rva, 4);
    std::size_t section = optional + optional_size;
    std::size_t names = 0x200 + (imports.size() + 1) * 20;
    std::string data;
    std::vector<std::size_t> name_at;
    for (const std::string &name : imports) {
        name_at.push_back(names + data.size());
        data += name + '\0';
    }
    if (names_at_end && !data.empty()) data.pop_back();
    std::size_t raw = (imports.size() + 1) * 20 + data.size();
    put(file, section + 8, raw, 4);     // size once loaded
    put(file, section + 12, 0x1000, 4); // address
    put(file, section + 16, raw, 4);    // size in the file
    put(file, section + 20, 0x200, 4);  // where in the file
    for (std::size_t i = 0; i < imports.size(); ++i)
        put(file, 0x200 + i * 20 + 12, 0x1000 + (name_at[i] - 0x200), 4);
    put(file, 0x200 + imports.size() * 20, 0, 20);
    file.resize(names);
    return file + data;
}

// An ELF file with a loadable segment over the whole file and a dynamic
// segment naming the needed files in a string table. strings_loaded: false
// puts the string table's address outside every loadable segment.
std::string elf_file(bool wide, bool big_endian, const std::vector<std::string> &needed,
                     bool strings_loaded = true) {
    std::string file = "\x7f"
                       "ELF";
    file += static_cast<char>(wide ? 2 : 1);
    file += static_cast<char>(big_endian ? 2 : 1);
    file.resize(64, '\0');
    std::size_t header = wide ? 64 : 52, entry = wide ? 56 : 32, pair = wide ? 16 : 8;
    auto field = [&](std::size_t at, std::uint64_t value, std::size_t size) {
        put(file, at, value, size, big_endian);
    };
    field(wide ? 32 : 28, header, wide ? 8 : 4); // program headers
    field(wide ? 54 : 42, entry, 2);
    field(wide ? 56 : 44, 2, 2);
    std::size_t dynamic = header + 2 * entry;
    std::size_t strings = dynamic + (needed.size() + 3) * pair;
    std::string table(1, '\0');
    std::vector<std::size_t> offsets;
    for (const std::string &name : needed) {
        offsets.push_back(table.size());
        table += name + '\0';
    }
    const std::uint64_t base = 0x400000;
    std::size_t total = strings + table.size();
    auto segment = [&](std::size_t at, std::uint64_t type, std::uint64_t offset,
                       std::uint64_t address, std::uint64_t size) {
        field(at, type, 4);
        field(at + (wide ? 8 : 4), offset, wide ? 8 : 4);
        field(at + (wide ? 16 : 8), address, wide ? 8 : 4);
        field(at + (wide ? 32 : 16), size, wide ? 8 : 4);
    };
    segment(header, 1, 0, base, strings_loaded ? total : dynamic);
    segment(header + entry, 2, dynamic, base + dynamic, (needed.size() + 3) * pair);
    std::size_t at = dynamic;
    auto tag = [&](std::uint64_t name, std::uint64_t value) {
        field(at, name, pair / 2);
        field(at + pair / 2, value, pair / 2);
        at += pair;
    };
    for (std::size_t offset : offsets)
        tag(1, offset);
    tag(5, base + strings);
    tag(10, table.size());
    tag(0, 0);
    file.resize(strings, '\0');
    return file + table;
}

LibraryFile read(const std::string &bytes) {
    return read_library_file([&](std::uint64_t offset, std::size_t size, std::string &out) {
        out.clear();
        if (offset >= bytes.size()) return false;
        out = bytes.substr(offset, size);
        return true;
    });
}

struct Case {
    const char *what;
    std::string file;
    LibraryFile::Format format;
    int bits;
    std::vector<std::string> needed;
    bool damaged;
};

std::vector<std::string> many_names(std::size_t count) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i)
        names.push_back("lib" + std::to_string(i) + ".dll");
    return names;
}

TEST(LibraryFile, ReadsWhatTheLoaderMustFind) {
    using F = LibraryFile::Format;
    std::vector<std::string> nw = {"sapnwrfc.dll", "icuuc50.dll", "KERNEL32.dll"};
    std::vector<std::string> elf = {"libsapucum.so", "libc.so.6"};
    std::vector<std::string> capped = many_names(max_needed_files);
    std::string long_name(max_needed_name + 1, 'x');
    const Case cases[] = {
        {"PE32+ with three imports", pe_file(true, nw), F::PE, 64, nw, false},
        {"PE32 with one import", pe_file(false, {"WS2_32.dll"}), F::PE, 32, {"WS2_32.dll"}, false},
        {"PE that imports nothing", pe_file(true, {}), F::PE, 64, {}, false},
        {"PE imports named twice count once",
         pe_file(false, {"a.dll", "a.dll", "b.dll"}),
         F::PE,
         32,
         {"a.dll", "b.dll"},
         false},
        {"PE import table outside every section",
         pe_file(true, nw, false, 0x9000),
         F::PE,
         64,
         {},
         true},
        {"PE name without its end",
         pe_file(true, {"a.dll", "icuuc50.dll"}, true),
         F::PE,
         64,
         {"a.dll"},
         true},
        {"PE name longer than a path", pe_file(true, {long_name}), F::PE, 64, {}, true},
        {"PE with more imports than are kept", pe_file(false, many_names(max_needed_files + 40)),
         F::PE, 32, capped, false},
        {"PE cut off after its header", pe_file(true, nw).substr(0, 0x210), F::PE, 64, {}, true},
        {"ELF64 little-endian", elf_file(true, false, elf), F::ELF, 64, elf, false},
        {"ELF32 little-endian", elf_file(false, false, elf), F::ELF, 32, elf, false},
        {"ELF64 big-endian", elf_file(true, true, elf), F::ELF, 64, elf, false},
        {"ELF that needs nothing", elf_file(true, false, {}), F::ELF, 64, {}, false},
        {"ELF string table outside every loadable segment",
         elf_file(true, false, elf, false),
         F::ELF,
         64,
         {},
         true},
        {"MZ without a PE header",
         std::string("MZ") + std::string(100, '\0'),
         F::Unknown,
         0,
         {},
         false},
        {"a text file", std::string(100, 'a'), F::Unknown, 0, {}, false},
        {"shorter than any header",
         "\x7f"
         "ELF\x02\x01",
         F::Unknown,
         0,
         {},
         false},
        {"empty", "", F::Unknown, 0, {}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LibraryFile file = read(c.file);
        EXPECT_EQ(file.format, c.format);
        EXPECT_EQ(file.bits, c.bits);
        EXPECT_EQ(file.needed, c.needed);
        EXPECT_EQ(file.damaged, c.damaged);
    }
}

// Every prefix of a real file may be read without a fault or a read past the
// bytes: a library copied in part is a case administrators meet.
TEST(LibraryFile, EveryPrefixIsSafe) {
    for (const std::string &whole : {pe_file(true, {"a.dll", "b.dll"}),
                                     elf_file(true, false, {"x"}), elf_file(false, true, {"x"})}) {
        for (std::size_t size = 0; size <= whole.size(); ++size) {
            LibraryFile file = read(whole.substr(0, size));
            EXPECT_LE(file.needed.size(), 2u);
        }
    }
}

} // namespace
