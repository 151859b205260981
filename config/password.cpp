#include "config/password.h"

#include <cstring>

namespace {

// XOR with these values keeps every letter and digit printable and never
// produces a blank; only a few punctuation characters clash with some
// entries, and the scrambling side then picks another key offset.
constexpr unsigned char password_key_table[33] = {
    0x03, 0x1F, 0x01, 0x04, 0x02, 0x1F, 0x03, 0x01, 0x04, 0x02, 0x1F,
    0x01, 0x03, 0x04, 0x02, 0x1F, 0x04, 0x01, 0x03, 0x02, 0x1F, 0x02,
    0x04, 0x03, 0x01, 0x1F, 0x02, 0x03, 0x04, 0x01, 0x1F, 0x03, 0x00};

// A constant array, not a std::string: scrambling may run during static
// initialisation of other files.
constexpr char check_alphabet[] = "01234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

unsigned check_sum(const std::string &text) {
    unsigned sum = 0;
    for (char c : text)
        if (c != '\0' && std::strchr(check_alphabet, c) != nullptr)
            sum += static_cast<unsigned char>(c);
    return sum;
}

bool printable_non_blank(unsigned char c) {
    return c > 0x20 && c < 0x7F;
}

} // namespace

UnscrambledPassword unscramble_password(const std::string &value) {
    if (value.size() != scrambled_length) return {PasswordOutcome::Invalid, ""};
    char header[4];
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<char>(static_cast<unsigned char>(value[i]) ^ password_key_table[i]);
        if (header[i] < '0' || header[i] > '9') return {PasswordOutcome::Invalid, ""};
    }
    int check = header[0] - '0';
    int offset = header[1] - '0';
    std::size_t length =
        static_cast<std::size_t>(header[2] - '0') * 10 + static_cast<std::size_t>(header[3] - '0');

    std::string body(body_length, '\0');
    for (std::size_t i = 0; i < body_length; ++i)
        body[i] = static_cast<char>(static_cast<unsigned char>(value[4 + i]) ^
                                    password_key_table[offset + i]);
    std::string restored;
    for (std::size_t j = 0; j < body_length / 2; ++j) {
        if (body[j] != '\0') restored += body[j];
        if (body[body_length - 1 - j] != '\0') restored += body[body_length - 1 - j];
    }
    if (static_cast<int>(check_sum(restored) % 10) != check) return {PasswordOutcome::Wrong, ""};
    return {PasswordOutcome::Accepted, restored.substr(0, length)};
}

bool is_safe_filler(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string scramble_password(const std::string &clear, int key_offset, const std::string &filler) {
    if (clear.size() > body_length || key_offset < 0 || key_offset > 9 ||
        clear.size() + filler.size() != body_length)
        return "";
    std::string restored = clear + filler;
    std::string body(body_length, '\0');
    for (std::size_t j = 0; j < body_length / 2; ++j) {
        body[j] = restored[2 * j];
        body[body_length - 1 - j] = restored[2 * j + 1];
    }
    const char header[4] = {
        static_cast<char>('0' + check_sum(restored) % 10), static_cast<char>('0' + key_offset),
        static_cast<char>('0' + clear.size() / 10), static_cast<char>('0' + clear.size() % 10)};
    std::string scrambled;
    for (int i = 0; i < 4; ++i)
        scrambled +=
            static_cast<char>(static_cast<unsigned char>(header[i]) ^ password_key_table[i]);
    for (std::size_t i = 0; i < body_length; ++i) {
        unsigned char c = static_cast<unsigned char>(body[i]);
        if (!printable_non_blank(c) && c != ' ') return "";
        unsigned char s = c ^ password_key_table[key_offset + i];
        if (!printable_non_blank(s)) return "";
        scrambled += static_cast<char>(s);
    }
    return scrambled;
}
