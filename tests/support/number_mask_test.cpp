#include <gtest/gtest.h>

#include "support/number_mask.h"

namespace {

std::string Format(double value, const char* mask, int width) {
    std::string out;
    return FormatNumberMask(value, mask, width, out) ? out : std::string("<fail>");
}

}  // namespace

TEST(NumberMaskTest, DigitsAreLaidIntoThePattern) {
    struct Case {
        double value;
        const char* mask;
        int width;
        const char* expected;
    } cases[] = {
        {1234.5, "#,##0.00", 10, "  1,234.50"},
        {5, "#,##0.00", 10, "      5.00"},
        {0.25, "0.00", 6, "  0.25"},
        {0.25, "#.##", 6, "   .25"},
        {42, "000", 5, "  042"},
        {-3, "#0;(#0)", 5, " ( 3)"},  // literals keep their places
        {-3, "#0", 5, "   -3"},
        {0, "#0;(#0);zero", 6, "  zero"},
        {1234567, "#,##0", 12, "   1,234,567"},
        {7, "$###0", 6, " $   7"},
        {2.675, "0.0", 5, "  2.7"},
    };
    for (const Case& c : cases) EXPECT_EQ(Format(c.value, c.mask, c.width), c.expected) << c.mask << " " << c.value;
}

TEST(NumberMaskTest, TooWideOrUnusableInputFails) {
    EXPECT_EQ(Format(123456789.0, "#,##0.00", 8), "<fail>");
    EXPECT_EQ(Format(1e300, "0.00", 50), "<fail>");
    EXPECT_EQ(Format(1, "0", 0), "<fail>");
    EXPECT_EQ(Format(1, "0", 100000), "<fail>");
    EXPECT_EQ(Format(0.0 / 0.0, "0", 10), "<fail>");
    std::string out = "old";
    EXPECT_FALSE(FormatNumberMask(1e20, "0", 5, out));
    EXPECT_TRUE(out.empty());
}
