#include <gtest/gtest.h>

#include <climits>

#include "support/number_parse.h"

TEST(NumberParseTest, OneNumberAndNothingElse) {
    struct Case {
        const char* text;
        bool ok;
        long value;
    } cases[] = {
        {"  12 ", true, 12}, {"12ab", false, 0},  {"-3.9", true, -3},  {"", false, 0},    {"   ", false, 0},
        {"1e3", true, 1000}, {"12 13", false, 0}, {"1e300", false, 0}, {"nan", false, 0}, {"+7", true, 7},
    };
    for (const Case& c : cases) {
        long value = -99;
        EXPECT_EQ(ParseNumber(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -99) << c.text;
    }
    double real = 0;
    EXPECT_TRUE(ParseReal(" 2.5 ", real));
    EXPECT_DOUBLE_EQ(real, 2.5);
    EXPECT_FALSE(ParseReal("2.5x", real));
    EXPECT_DOUBLE_EQ(real, 2.5);
}

TEST(NumberParseTest, Booleans) {
    for (const char* t : {"TRUE", "yes", "-1", " on ", "1"}) EXPECT_EQ(ParseBoolean(t), BOOLEAN_TRUE) << t;
    for (const char* t : {"false", "No", "OFF", "0"}) EXPECT_EQ(ParseBoolean(t), BOOLEAN_FALSE) << t;
    for (const char* t : {"maybe", "", "2", "y"}) EXPECT_EQ(ParseBoolean(t), BOOLEAN_INVALID) << t;
}

TEST(NumberParseTest, HexPairsClampEachDigit) {
    EXPECT_EQ(HexPairToByte("ZZ"), 0xFF);
    EXPECT_EQ(HexPairToByte("4a"), 0x4A);
    EXPECT_EQ(HexPairToByte("0F"), 0x0F);
    EXPECT_EQ(HexPairToByte("!!"), 0x00);
    EXPECT_EQ(HexPairToByte("20"), 0x20);
}

TEST(NumberParseTest, AsciiToLongSaturates) {
    EXPECT_EQ(AsciiToLong("  42abc"), 42);
    EXPECT_EQ(AsciiToLong("abc"), 0);
    EXPECT_EQ(AsciiToLong("-0012"), -12);
    EXPECT_EQ(AsciiToLong("- 5"), 0);
    EXPECT_EQ(AsciiToLong("-99999999999999999999999"), -2147483647L - 1);
    EXPECT_EQ(AsciiToLong("2147483648"), 2147483647L);
    EXPECT_EQ(AsciiToLong("-2147483648"), -2147483647L - 1);
}
