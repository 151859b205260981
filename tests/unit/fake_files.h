#pragma once
#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/files.h"

// Files by their Windows-form path, held in memory, so that tests of rooted
// paths never touch the machine's directories.
class FakeFiles : public FileOpener {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> unreadable; // present, but open_read fails
    std::unique_ptr<InputFile> open_read(const std::string &path,
                                         long long = max_input_size) const override {
        auto it = files.find(path);
        if (it == files.end()) return nullptr;
        return InputFile::from_text(it->second);
    }
    bool present(const std::string &path) const override {
        return files.count(path) != 0 || unreadable.count(path) != 0;
    }
};
