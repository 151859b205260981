#include <gtest/gtest.h>

#include "config/password.h"

namespace {

const std::string filler20 = "abcdefghijKLMNOPQRST";

TEST(Password, RoundTripsEveryLengthAndOffset) {
    const std::string clear_all = "Secret0123456789AbCd";
    for (std::size_t n = 0; n <= body_length; ++n) {
        for (int offset = 0; offset <= 9; ++offset) {
            std::string clear = clear_all.substr(0, n);
            std::string scrambled = scramble_password(clear, offset, filler20.substr(n));
            ASSERT_EQ(scrambled.size(), scrambled_length) << n << " " << offset;
            for (char c : scrambled)
                ASSERT_TRUE(c > ' ' && c < 0x7F) << scrambled;
            UnscrambledPassword result = unscramble_password(scrambled);
            ASSERT_EQ(result.outcome, PasswordOutcome::Accepted) << n << " " << offset;
            EXPECT_EQ(result.clear, clear);
        }
    }
}

TEST(Password, InvalidShapes) {
    std::string good = scramble_password("secret", 3, filler20.substr(6));
    EXPECT_EQ(unscramble_password(good.substr(0, 23)).outcome, PasswordOutcome::Invalid);
    EXPECT_EQ(unscramble_password(good + " ").outcome, PasswordOutcome::Invalid);
    std::string bad_header = good;
    bad_header[2] = 'Z';
    EXPECT_EQ(unscramble_password(bad_header).outcome, PasswordOutcome::Invalid);
}

TEST(Password, CheckDigitCoversFillerToo) {
    // Letters 'a' -> 'b' in the filler change the sum by 1: wrong.
    std::string clear = "secret";
    std::string a = scramble_password(clear, 0, "aaaaaaaaaaaaaa");
    std::string b = a;
    b[scrambled_length - 1] = static_cast<char>(b[scrambled_length - 1] ^ ('a' ^ 'b'));
    EXPECT_EQ(unscramble_password(b).outcome, PasswordOutcome::Wrong);
    // 'a' -> 'k' changes it by 10: still accepted.
    std::string k = a;
    k[scrambled_length - 1] = static_cast<char>(k[scrambled_length - 1] ^ ('a' ^ 'k'));
    EXPECT_EQ(unscramble_password(k).outcome, PasswordOutcome::Accepted);
}

// Builds scrambled values by hand: the key entries are recovered from what
// scramble_password makes of a known password, so tests can set header and
// body (in stored order) freely.
class Crafted {
  public:
    Crafted() {
        for (int offset : {0, 9}) {
            std::string s = scramble_password("", offset, filler20);
            std::string stored(body_length, ' ');
            for (std::size_t j = 0; j < body_length / 2; ++j) {
                stored[j] = filler20[2 * j];
                stored[body_length - 1 - j] = filler20[2 * j + 1];
            }
            for (std::size_t i = 0; i < body_length; ++i)
                key_[offset + i] = static_cast<unsigned char>(s[4 + i] ^ stored[i]);
            unsigned sum = 0;
            for (char c : filler20)
                sum += static_cast<unsigned char>(c);
            const char header[4] = {static_cast<char>('0' + sum % 10),
                                    static_cast<char>('0' + offset), '0', '0'};
            for (int i = 0; i < 4; ++i)
                header_key_[i] = static_cast<unsigned char>(s[i] ^ header[i]);
        }
    }
    std::string make(const std::string &header, const std::string &stored, int offset) const {
        std::string out;
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(header[i] ^ header_key_[i]);
        for (std::size_t i = 0; i < body_length; ++i)
            out += static_cast<char>(stored[i] ^ key_[offset + i]);
        return out;
    }

  private:
    unsigned char key_[29] = {};
    unsigned char header_key_[4] = {};
};

TEST(Password, HeaderLengthsAndDroppedZero) {
    Crafted crafted;
    // Stored order B0 B1 ... B19 is restored as B0 B19 B1 B18 ...
    const std::string stored = "ACEGIKMOQSTRPNLJHFDB";
    const std::string restored = "ABCDEFGHIJKLMNOPQRST";
    unsigned sum = 0;
    for (char c : restored)
        sum += static_cast<unsigned char>(c);
    const char check = static_cast<char>('0' + sum % 10);
    struct Case {
        std::string length;
        int offset;
        std::string clear;
    } cases[] = {{"00", 0, ""}, {"05", 9, "ABCDE"}, {"20", 0, restored}, {"99", 9, restored}};
    for (const Case &c : cases) {
        std::string header = std::string(1, check) + std::to_string(c.offset) + c.length;
        UnscrambledPassword r = unscramble_password(crafted.make(header, stored, c.offset));
        ASSERT_EQ(r.outcome, PasswordOutcome::Accepted) << c.length;
        EXPECT_EQ(r.clear, c.clear) << c.length;
    }
    // A body character that unscrambles to zero is dropped; the rest close up.
    std::string with_zero = stored;
    with_zero[1] = '\0'; // restored position 2, the "C"
    unsigned sum_without_c = sum - 'C';
    std::string header = std::string(1, static_cast<char>('0' + sum_without_c % 10)) + "099";
    UnscrambledPassword r = unscramble_password(crafted.make(header, with_zero, 0));
    ASSERT_EQ(r.outcome, PasswordOutcome::Accepted);
    EXPECT_EQ(r.clear, "ABDEFGHIJKLMNOPQRST");
    // Characters outside the check alphabet add nothing to the check digit.
    std::string punct = stored;
    punct[0] = '!';
    header = std::string(1, static_cast<char>('0' + (sum - 'A') % 10)) + "003";
    r = unscramble_password(crafted.make(header, punct, 0));
    ASSERT_EQ(r.outcome, PasswordOutcome::Accepted);
    EXPECT_EQ(r.clear, "!BC");
}

} // namespace
