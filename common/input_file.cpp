#include "common/input_file.h"

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "common/numbered_error.h"
#include "common/path.h"

std::unique_ptr<InputFile> InputFile::from_text(std::string text) {
    std::unique_ptr<InputFile> in(new InputFile);
    in->text_ = std::move(text);
    return in;
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

int InputFile::get() {
    if (file_) return std::getc(file_);
    return at_ < text_.size() ? static_cast<unsigned char>(text_[at_++]) : EOF;
}

int InputFile::peek() {
    if (!file_) return at_ < text_.size() ? static_cast<unsigned char>(text_[at_]) : EOF;
    int c = std::getc(file_);
    if (c != EOF) std::ungetc(c, file_);
    return c;
}

long long InputFile::size() {
    if (!file_) return static_cast<long long>(text_.size());
        // In 64 bits on every build: a 32-bit ftell cannot tell a file of 2 GB
        // or more.
#ifdef _WIN32
    struct _stati64 info;
    return _fstati64(_fileno(file_), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#else
    struct stat info;
    return ::fstat(fileno(file_), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
#endif
}

void InputFile::seek(long long offset) {
    if (file_)
        std::fseek(file_, static_cast<long>(offset), SEEK_SET);
    else
        at_ = offset < 0 ? 0 : std::min(static_cast<std::size_t>(offset), text_.size());
}

std::string InputFile::read_rest() {
    if (!file_) {
        std::string rest = text_.substr(at_);
        at_ = text_.size();
        return rest;
    }
    std::string rest;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
        rest.append(buffer, n);
    return rest;
}

std::unique_ptr<InputFile> FileOpener::open_read(const std::string &path,
                                                 long long max_size) const {
    std::FILE *file = std::fopen(native_path(path).c_str(), "rb");
    if (!file) return nullptr;
    auto in = std::make_unique<InputFile>(file);
#ifndef _WIN32
    // A directory is a file that cannot be opened, as on Windows.
    struct stat info;
    bool known = ::fstat(fileno(file), &info) == 0;
    if (known && S_ISDIR(info.st_mode)) return nullptr;
    long long size = known ? static_cast<long long>(info.st_size) : -1;
#else
    long long size = in->size();
#endif
    if (max_size != unbounded_size && size > max_size)
        throw NumberedError("Error 1023: File " + path + " is larger than " +
                            std::to_string(max_size) + " bytes !");
    return in;
}

bool FileOpener::present(const std::string &path) const {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat info;
    return ::stat(native_path(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
#endif
}

namespace {

// One read of at most limit-1 characters, as fgets takes it; true when it
// ended at a line end or at the end of the file.
bool read_piece(InputFile &in, std::size_t limit, std::string &line) {
    line.clear();
    while (line.size() < limit - 1) {
        int c = in.get();
        if (c == EOF) return true;
        if (c == '\r' && in.peek() == '\n') continue;
        line.push_back(static_cast<char>(c));
        if (c == '\n') return true;
    }
    return false;
}

// The piece is a C string: it ends at its first NUL byte.
void cut_at_nul(std::string &line) {
    std::string::size_type nul = line.find('\0');
    if (nul != std::string::npos) line.erase(nul);
}

} // namespace

bool LineReader::next(std::string &line) {
    if (limit_ < 2) return false;
    read_piece(in_, limit_, line);
    if (line.empty()) return false;
    cut_at_nul(line);
    return true;
}

bool LineReader::next_line(std::string &line, bool &too_long) {
    too_long = false;
    if (limit_ < 2) return false;
    bool whole = read_piece(in_, limit_, line);
    if (line.empty()) return false;
    if (!whole) {
        // A full read is the whole line when only its line end follows.
        int c = in_.get();
        if (c == '\r' && in_.peek() == '\n') c = in_.get();
        if (c != EOF && c != '\n') {
            too_long = true;
            while ((c = in_.get()) != EOF && c != '\n') {
            }
        }
    }
    cut_at_nul(line);
    return true;
}

void strip_line_end(std::string &line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.back() == '\n') line.pop_back();
}
