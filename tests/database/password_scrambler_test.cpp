#include "database/access/password_scrambler.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PasswordScrambler, ScramblesToUpperCaseHexOfTheKeyedBytes) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"abc", "562751"},
        {"secret12", "442051315C407303"},
        // The ninth character is combined with the key's first again.
        {"secret123", "442051315C40730304"},
        // Characters equal to the key give zero bytes, which must survive.
        {"7E2C", "00000000"},
        {std::string("\xff\x00", 2), "C845"},
    };
    PasswordScrambler scrambler;
    for (const auto& [plain, scrambled] : rows) {
        EXPECT_EQ(scrambler.Scramble(plain), scrambled);
        EXPECT_EQ(scrambler.Unscramble(scrambled), plain);
    }
}

TEST(PasswordScrambler, UnscrambleReadsLowerCaseAndDropsAnOddDigit) {
    PasswordScrambler scrambler;
    EXPECT_EQ(scrambler.Unscramble("5627515"), "abc");
    EXPECT_EQ(scrambler.Unscramble("56275"), "ab");
    EXPECT_EQ(scrambler.Unscramble("4420513a"), scrambler.Unscramble("4420513A"));
    EXPECT_EQ(scrambler.Unscramble("5"), "");
}

TEST(PasswordScrambler, NonHexPairsGiveTheValueOfTheirLeadingDigits) {
    EXPECT_EQ(PasswordScrambler::FromHex("4G"), std::string(1, '\x04'));
    EXPECT_EQ(PasswordScrambler::FromHex("G4"), std::string(1, '\0'));
    EXPECT_EQ(PasswordScrambler::FromHex("zz41"), std::string("\0A", 2));
}

TEST(PasswordScrambler, KeyStreamRepeatsTheKey) {
    PasswordScrambler scrambler;
    EXPECT_EQ(scrambler.KeyStream(0), "");
    EXPECT_EQ(scrambler.KeyStream(3), "7E2");
    EXPECT_EQ(scrambler.KeyStream(8), "7E2C94B1");
    EXPECT_EQ(scrambler.KeyStream(19), "7E2C94B17E2C94B17E2");
}

TEST(PasswordScrambler, EveryByteValueRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    PasswordScrambler scrambler;
    std::string scrambled = scrambler.Scramble(all);
    EXPECT_EQ(scrambled.size(), 512u);
    EXPECT_EQ(scrambled.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(scrambler.Unscramble(scrambled), all);
}

}  // namespace
