#include "foundation/decimal.h"

#include <string>

#include <gtest/gtest.h>

#include "foundation/decimal_portable.h"
#include "tests/foundation/decimal_reports.h"

namespace {

using W = RWDecimal96;

int96 ten(int n) {
    __int128 v = 1;
    for (int i = 0; i < n; ++i) v *= 10;
    return int96::fromRaw(v);
}

using WideReports = CollectedReports<int96>;
using WideDecimalTest = CollectingDecimalTest<int96>;

TEST_F(WideDecimalTest, MultiplicationAtTheTopOfTheRange) {
    const W big(ten(27), 0);
    const W exact = big * W(10);
    EXPECT_EQ(exact.mantissa(), ten(28));
    EXPECT_EQ(exact.exponent(), 0);
    EXPECT_TRUE(WideReports::overflow.empty());
    EXPECT_EQ((big * W(100)).state(), W::NaNstate);
    ASSERT_EQ(WideReports::overflow.size(), 1u);
    EXPECT_EQ(WideReports::overflow[0], "[MULOVER] RWDecimal96: overflow in multiplication");
}

TEST_F(WideDecimalTest, CarriesAcrossThe32BitWords) {
    struct {
        const char* a;
        const char* op;
        const char* b;
        const char* result;
    } cases[] = {
        {"4294967295", "+", "1", "4294967296"},
        {"18446744073709551615", "+", "1", "18446744073709551616"},
        {"18446744073709551616", "-", "1", "18446744073709551615"},
        {"4294967296", "*", "4294967296", "18446744073709551616"},
        {"18446744073709551616", "*", "1073741824", "19807040628566084398385987584"},
        {"-18446744073709551616", "*", "2147483647", "-39614081238685424723062423552"},
        {"9999999999999999999999999999", "+", "-9999999999999999999999999998", "1"},
        {"0.0000000000000000000000000001", "+", "0.0000000000000000000000000009", "0.0000000000000000000000000010"},
        {"1", "/", "3", "0.3333333333333333333333333333"},
        {"2", "/", "3", "0.6666666666666666666666666666"},
        {"9999999999999999999999999999", "/", "5", "1999999999999999999999999999.8"},
        {"1", "/", "1024", "0.0009765625"},
    };
    for (const auto& c : cases) {
        const W a(c.a), b(c.b);
        const std::string op = c.op;
        const W r = op == "+" ? a + b : op == "-" ? a - b : op == "*" ? a * b : a / b;
        EXPECT_EQ(toStdString(r), c.result) << c.a << c.op << c.b;
    }
    EXPECT_TRUE(WideReports::overflow.empty());
}

TEST_F(WideDecimalTest, LimitsAndMessages) {
    EXPECT_EQ(W::maxDigits(), 28);
    EXPECT_EQ(W::pow10(28), ten(28));
    EXPECT_TRUE(W::pow10(29).isMarker());
    ASSERT_EQ(WideReports::overflow.size(), 1u);
    EXPECT_EQ(WideReports::overflow[0], "[POWRANGE] RWDecimal96: power out of range (29>28)");
    EXPECT_EQ(W("12345678901234567890123456789").state(), W::NaNstate);
    EXPECT_EQ(WideReports::overflow.back(), "[FROMPORTOVER] RWDecimal96: overflow converting from portable decimal");
    EXPECT_EQ(W(1e30).state(), W::NaNstate);
    EXPECT_EQ(WideReports::overflow.back(), "[FROMDBLOVER] RWDecimal96: overflow converting from double (1e+30)");
    const W one = W::oneWithPlaces(40);
    EXPECT_EQ(one.mantissa(), ten(28));
    EXPECT_EQ(one.exponent(), 28);
}

TEST_F(WideDecimalTest, FromDoubleUsesTheSameScalingLimit) {
    const W third(1.0 / 3.0);
    EXPECT_EQ(third.exponent(), 16);
    EXPECT_EQ(third.mantissa().raw(), static_cast<__int128>(3333333333333333));
    EXPECT_EQ(toStdString(W(1e20)), "100000000000000000000");
    EXPECT_EQ(W(1e-30).exponent(), 28);
}

TEST_F(WideDecimalTest, DivisionIsInexactOnlyWhenItMustBe) {
    (void)(W(1) / W(4));
    EXPECT_TRUE(WideReports::inexact.empty());
    (void)(W(1) / W(7));
    ASSERT_EQ(WideReports::inexact.size(), 1u);
    EXPECT_EQ(WideReports::inexact[0], "[DIVINEXACT] RWDecimal96: inexact result in division");
}

TEST_F(WideDecimalTest, Reciprocal) {
    EXPECT_EQ(toStdString(reciprocal(W(4))), "0.25");
    EXPECT_EQ(toStdString(reciprocal(W("0.5"))), "2");
    EXPECT_EQ(toStdString(reciprocal(W("-8"))), "-0.125");
    EXPECT_EQ(toStdString(reciprocal(W(3))), "0.3333333333333333333333333333");
    EXPECT_EQ(reciprocal(W(0)).state(), W::NaNstate);
    EXPECT_EQ(reciprocal(W::missingValue()).state(), W::missingstate);
}

TEST_F(WideDecimalTest, RoundingAndMarker) {
    EXPECT_EQ(toStdString(round(W("2.5"), 0, W::BANKERS)), "2");
    EXPECT_EQ(toStdString(round(W("-3.5"), 0, W::BANKERS)), "-4");
    EXPECT_EQ(round(W(int96::fromRaw(int96::kMax), 0), -1, W::PLAIN).state(), W::NaNstate);
    const W marked(int96::marker(), 0);
    EXPECT_EQ(toStdString(marked), "(NaN)");
    EXPECT_EQ(toStdString(-marked), "(NaN)");
    EXPECT_EQ(pow(W(2), -2147483647 - 1).state(), W::NaNstate);
}

TEST_F(WideDecimalTest, ConversionBetweenWidths) {
    const RWDecimal64 narrow("-1234.5678");
    const W wide = convertDecimal<int96>(narrow);
    EXPECT_EQ(toStdString(wide), "-1234.5678");
    EXPECT_EQ(convertDecimal<int64>(wide), narrow);
    const W tooWide("1234567890123456789.5");
    const RWDecimal64::OverflowHandler old = RWDecimal64::setOverflowHandler(
        [](const RWDecimal64OverflowErr& e) { WideReports::overflow.push_back(e.why()); });
    EXPECT_EQ(convertDecimal<int64>(tooWide).state(), RWDecimal64::NaNstate);
    RWDecimal64::setOverflowHandler(old);
    EXPECT_EQ(WideReports::overflow.back(), "[FROMPORTOVER] RWDecimal64: overflow converting from portable decimal");
}

TEST_F(WideDecimalTest, HandlersArePerWidth) {
    // The narrow type keeps its throwing default while the wide one collects.
    EXPECT_THROW(RWDecimal64::pow10(19), RWExternalErr);
    EXPECT_NO_THROW(W::pow10(29));
}

TEST(Int96, WordsAndLimits) {
    const int96 v(0, 1u, 0u);
    EXPECT_EQ(v.raw(), static_cast<__int128>(1) << 32);
    EXPECT_EQ(v.middleWord(), 1u);
    const int96 neg(-1, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(neg.raw(), -1);
    EXPECT_TRUE(int96(static_cast<std::int32_t>(0x80000000), 0u, 0u).isMarker());
    EXPECT_TRUE((int96::fromRaw(int96::kMax) + int96(1)).isMarker());
    EXPECT_TRUE(int96::fromRaw(static_cast<__int128>(1) << 94).twice().isMarker());
    EXPECT_EQ(int96(-7).twice().raw(), -14);
    EXPECT_TRUE(int96::fromDouble(4e28).isMarker());
    std::uint32_t d[6];
    int96::fromRaw(static_cast<__int128>(0x0001000200030004LL) << 32).digits16(d);
    EXPECT_EQ(d[0], 1u);
    EXPECT_EQ(d[3], 4u);
    EXPECT_EQ(d[4], 0u);
    EXPECT_EQ(d[5], 0u);
}

}  // namespace
