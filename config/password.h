#pragma once
#include <string>

// A scrambled password is 24 characters: a 4-character header (check digit,
// key offset, two-digit length) and a 20-character body holding the clear
// password and filler, both XOR-ed with the password key table.
constexpr std::size_t scrambled_length = 24;
constexpr std::size_t body_length = 20;

enum class PasswordOutcome { Accepted, Invalid, Wrong };

struct UnscrambledPassword {
    PasswordOutcome outcome;
    std::string clear; // only with Accepted
};

UnscrambledPassword unscramble_password(const std::string &scrambled);

// Scrambles a clear password of at most 20 characters with the given key
// offset (0-9) and 20 - length filler characters. Returns the empty text
// when that offset would put a blank or a non-printable character into the
// result; the caller then tries another offset.
std::string scramble_password(const std::string &clear, int key_offset, const std::string &filler);

// True for the characters that scramble_password may use as filler with any
// key offset.
bool is_safe_filler(char c);
