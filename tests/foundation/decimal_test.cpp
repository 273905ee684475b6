#include "foundation/decimal.h"

#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "foundation/decimal_portable.h"
#include "tests/foundation/decimal_reports.h"

namespace {

using D = RWDecimal64;

D dec(std::int64_t mantissa, int exponent) {
    return D(int64::fromRaw(mantissa), exponent);
}
D text(const char* s) {
    return D(s);
}
std::string str(const D& d) {
    return toStdString(d);
}

using Reports = CollectedReports<int64>;
using DecimalTest = CollectingDecimalTest<int64>;

void expectParts(const D& d, std::int64_t mantissa, int exponent) {
    EXPECT_EQ(d.state(), D::normal);
    EXPECT_EQ(d.mantissa().raw(), mantissa);
    EXPECT_EQ(d.exponent(), exponent);
}

TEST(DecimalAcceptance, TenthPlusTwoTenthsIsExactlyThreeTenths) {
    EXPECT_NE(0.1 + 0.2, 0.3);
    const D sum = D(0.1) + D(0.2);
    EXPECT_EQ(sum, D("0.3"));
    expectParts(sum, 3, 1);
}

TEST(DecimalAcceptance, RoundingHalvesByEachMethod) {
    struct {
        const char* value;
        int method;
        const char* expected;
    } cases[] = {
        {"2.5", D::PLAIN, "3"},    {"3.5", D::PLAIN, "4"},   {"-2.5", D::PLAIN, "-3"}, {"2.5", D::UP, "3"},
        {"3.5", D::UP, "4"},       {"-2.5", D::UP, "-3"},    {"2.5", D::DOWN, "2"},    {"3.5", D::DOWN, "3"},
        {"-2.5", D::DOWN, "-2"},   {"2.5", D::BANKERS, "2"}, {"3.5", D::BANKERS, "4"}, {"-2.5", D::BANKERS, "-2"},
        {"2.51", D::BANKERS, "3"}, {"2.49", D::PLAIN, "2"},  {"2.01", D::UP, "3"},     {"-2.99", D::DOWN, "-2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(round(text(c.value), 0, c.method)), c.expected) << c.value << " method " << c.method;
}

TEST_F(DecimalTest, FromDouble) {
    expectParts(D(0.1), 1, 1);
    expectParts(D(1.5), 15, 1);
    expectParts(D(3.0), 3, 0);
    expectParts(D(1.0 / 3.0), 3333333333333333, 16);
    expectParts(D(1e-20), 0, 18);
    expectParts(D(-2.25), -225, 2);
    EXPECT_TRUE(Reports::overflow.empty());
}

TEST_F(DecimalTest, FromDoubleOverflowAndNotANumber) {
    for (double x : {1e19, -1e19, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(D(x).state(), D::NaNstate) << x;
    }
    ASSERT_EQ(Reports::overflow.size(), 4u);
    EXPECT_EQ(Reports::overflow[0], "[FROMDBLOVER] RWDecimal64: overflow converting from double (1e+19)");
    EXPECT_EQ(Reports::overflow[3], "[FROMDBLOVER] RWDecimal64: overflow converting from double (nan)");
}

TEST(DecimalDefaults, OverflowThrowsExternalError) {
    try {
        D x(1e19);
        FAIL() << "no exception";
    } catch (const RWExternalErr& e) {
        EXPECT_STREQ(e.why(), "[FROMDBLOVER] RWDecimal64: overflow converting from double (1e+19)");
    }
    EXPECT_THROW(D(std::nan("")), RWxmsg);
    EXPECT_THROW(D::pow10(19), RWExternalErr);
}

TEST(DecimalDefaults, InexactGoesToStandardErrorExceptDivision) {
    testing::internal::CaptureStderr();
    const D q = D(1) / D(3);
    const D p = dec(3333333333333333, 0) * dec(3333333333333333, 16);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(str(q), "0.333333333333333333");
    EXPECT_EQ(p.state(), D::normal);
    EXPECT_EQ(err, "[MULINEXACT] RWDecimal64: inexact result in multiplication\n");
}

TEST_F(DecimalTest, Addition) {
    const D sum = D("1.05") + D("2.1");
    expectParts(sum, 315, 2);
    EXPECT_TRUE(Reports::inexact.empty());
    expectParts(D("5") - D("7.25"), -225, 2);
    expectParts(dec(999999999999999999, 18) + dec(1, 18), 1000000000000000000, 18);
}

TEST_F(DecimalTest, AdditionAtTheEdgeOfPrecision) {
    const std::int64_t big = 6000000000000000000;
    // Equal exponents above zero: one place is given up.
    expectParts(dec(big, 2) + dec(big, 2), 1200000000000000000, 1);
    ASSERT_EQ(Reports::inexact.size(), 1u);
    EXPECT_EQ(Reports::inexact[0], "[ADDINEXACT] RWDecimal64: inexact result in addition");
    // At exponent 0 there is no place to give up.
    EXPECT_EQ((dec(big, 0) + dec(big, 0)).state(), D::NaNstate);
    ASSERT_EQ(Reports::overflow.size(), 1u);
    EXPECT_EQ(Reports::overflow[0], "[ADDOVER] RWDecimal64: overflow in addition");
    EXPECT_EQ((dec(-big, 0) - dec(big, 0)).state(), D::NaNstate);
    EXPECT_EQ(Reports::overflow.back(), "[SUBOVER] RWDecimal64: overflow in subtraction");
    // Differing exponents: the operand with more places loses them.
    const D mixed = dec(90000000000000000, 0) + dec(1234, 4);
    EXPECT_EQ(str(mixed), "90000000000000000.1");
    // No free digit at all: every place of the other operand goes.
    EXPECT_EQ(str(dec(900000000000000000, 0) + dec(1234, 4)), "900000000000000000");
    EXPECT_EQ(Reports::inexact.back(), "[ADDINEXACT] RWDecimal64: inexact result in addition");
}

TEST_F(DecimalTest, StatesInArithmetic) {
    const D five(5), null = D::nullValue(), nan = D::NaNValue(), missing = D::missingValue();
    EXPECT_EQ(null + five, five);
    EXPECT_EQ(five + null, five);
    EXPECT_EQ(null * five, five);
    EXPECT_EQ((missing + nan).state(), D::missingstate);
    EXPECT_EQ((nan * null).state(), D::NaNstate);
    EXPECT_EQ((null / five).state(), D::NaNstate);
    EXPECT_EQ(five / null, five);
    EXPECT_EQ((D(D::ctorError) + five).state(), D::ctorError);
    EXPECT_EQ((missing / five).state(), D::missingstate);
}

TEST_F(DecimalTest, Multiplication) {
    expectParts(D("1.5") * D("-2.25"), -3375, 3);
    expectParts(D("0.000000001") * D("0.000000001"), 1, 18);
}

TEST_F(DecimalTest, MultiplicationDropsDigits) {
    // 10^-10 x 10^-10: the exponent would be 20, so digits are dropped to 0.
    const D tiny = D("0.0000000001") * D("0.0000000001");
    EXPECT_EQ(tiny.state(), D::NaNstate);
    EXPECT_EQ(Reports::overflow.back(), "[MULOVER] RWDecimal64: overflow in multiplication");
    expectParts(dec(3000000000, 0) * dec(3000000000, 0), 9000000000000000000, 0);
    EXPECT_EQ((dec(3000000000, 0) * dec(4000000000, 0)).state(), D::NaNstate);
    EXPECT_EQ((dec(4000000000000, 0) * dec(4000000000000, 0)).state(), D::NaNstate);
    const D inexact = dec(123456789012, 6) * dec(123456789012, 6);
    EXPECT_EQ(inexact.state(), D::normal);
    EXPECT_EQ(Reports::inexact.back(), "[MULINEXACT] RWDecimal64: inexact result in multiplication");
    // Truncated factors: close, not exact.
    EXPECT_NEAR(inexact.toDouble() / (123456.789012 * 123456.789012), 1.0, 1e-9);
}

TEST_F(DecimalTest, Division) {
    EXPECT_EQ(str(D(1) / D(3)), "0.333333333333333333");
    ASSERT_EQ(Reports::inexact.size(), 1u);
    EXPECT_EQ(Reports::inexact[0], "[DIVINEXACT] RWDecimal64: inexact result in division");
    expectParts(D(1) / D(4), 25, 2);
    EXPECT_EQ(Reports::inexact.size(), 1u);
    EXPECT_EQ((D(10) / D(0)).state(), D::NaNstate);
    EXPECT_TRUE(Reports::overflow.empty());
    expectParts(D("-7.5") / D("2.5"), -3, 0);
    expectParts(D(-1) / D(-8), 125, 3);
    EXPECT_EQ(str(D(2) / D(3)), "0.666666666666666666");
    EXPECT_EQ(str(dec(1000000000000000000, 0) / D("0.5")), "2000000000000000000");
    EXPECT_EQ(str(dec(5000000000000000000, 0) / D("0.5")), "(NaN)");
    EXPECT_EQ(Reports::overflow.back(), "[DIVOVER] RWDecimal64: overflow in division");
    EXPECT_EQ(str(D("123456789012345678") / D("1")), "123456789012345678");
    // No room for the half: truncated, reported inexact.
    EXPECT_EQ(str(dec(INT64_MAX, 0) / D(2)), "4611686018427387903");
    EXPECT_EQ(str(dec(1, 18) / dec(3, 0)), "0.000000000000000000");  // places as stored
}

TEST_F(DecimalTest, Power) {
    expectParts(pow(D(2), 0), 1, 0);
    expectParts(pow(D(2), 10), 1024, 0);
    expectParts(pow(D(2), -2), 25, 2);
    expectParts(pow(D("1.5"), 3), 3375, 3);
    expectParts(pow(D(-3), 3), -27, 0);
    EXPECT_EQ(pow(D(10), 19).state(), D::NaNstate);
    EXPECT_EQ(Reports::overflow.back(), "[MULOVER] RWDecimal64: overflow in multiplication");
}

TEST_F(DecimalTest, PowerWithMostNegativeExponent) {
    expectParts(pow(D(1), INT_MIN), 1, 0);
    EXPECT_EQ(pow(D(-1), INT_MIN), D(1));
    EXPECT_EQ(pow(D(2), INT_MIN).state(), D::NaNstate);
}

TEST_F(DecimalTest, Rounding) {
    expectParts(round(D("1.21"), 1, D::UP), 13, 1);
    expectParts(round(D(1234), -2, D::PLAIN), 1200, 0);
    expectParts(round(D(1250), -2, D::BANKERS), 1200, 0);
    expectParts(round(D(1350), -2, D::BANKERS), 1400, 0);
    expectParts(round(D("-1.25"), 1, D::BANKERS), -12, 1);
    expectParts(round(D("0.999"), 2, D::PLAIN), 100, 2);
    // Already at or below the places: unchanged.
    expectParts(round(D("1.2"), 3, D::UP), 12, 1);
    expectParts(round(D("1.2"), 1, D::UP), 12, 1);
    // Far more negative places than digits.
    expectParts(round(dec(5, 18), -40, D::DOWN), 0, 0);
    expectParts(round(dec(5, 18), -40, D::PLAIN), 0, 0);
    EXPECT_EQ(round(dec(5, 18), -40, D::UP).state(), D::NaNstate);  // 10^40 does not fit
    expectParts(round(dec(999999999999999999, 18), 0, D::PLAIN), 1, 0);
}

TEST_F(DecimalTest, RoundingToNegativePlacesCannotOverflowSilently) {
    const D r = round(dec(INT64_MAX, 0), -1, D::PLAIN);
    EXPECT_EQ(r.state(), D::NaNstate);
    ASSERT_EQ(Reports::overflow.size(), 1u);
    EXPECT_EQ(round(dec(INT64_MAX, 0), -19, D::PLAIN).state(), D::NaNstate);
    EXPECT_EQ(Reports::overflow.size(), 2u);
    expectParts(round(dec(INT64_MAX, 0), -20, D::PLAIN), 0, 0);
}

TEST_F(DecimalTest, Comparison) {
    EXPECT_EQ(dec(10, 1), D(1));
    EXPECT_NE(D::nullValue(), D::NaNValue());
    EXPECT_EQ(D::nullValue(), D::nullValue());
    const D one(1), null = D::nullValue();
    EXPECT_FALSE(null < one);
    EXPECT_FALSE(one < null);
    EXPECT_FALSE(null > one);
    EXPECT_TRUE(null <= one);
    EXPECT_TRUE(null >= one);
    EXPECT_LT(D("1.05"), D("1.1"));
    EXPECT_GT(D("-1.05"), D("-1.1"));
    // Scaling overflows: the sign of the scaled operand decides.
    EXPECT_LT(dec(-900000000000000000, 0), dec(1, 18));
    EXPECT_GT(dec(900000000000000000, 0), dec(1, 18));
    EXPECT_LT(dec(1, 18), dec(900000000000000000, 0));
    EXPECT_NE(dec(900000000000000000, 0), dec(1, 18));
}

TEST_F(DecimalTest, TextConstruction) {
    expectParts(D("12.5"), 125, 1);
    EXPECT_EQ(D("12.5x").state(), D::NaNstate);
    EXPECT_EQ(D("12.5 ").state(), D::NaNstate);
    EXPECT_EQ(D("12+").state(), D::NaNstate);
    EXPECT_EQ(D("").state(), D::nullstate);
    EXPECT_EQ(D(static_cast<const char*>(nullptr)).state(), D::nullstate);
    expectParts(D("$1,234.50"), 123450, 2);
    expectParts(D("(12)"), -12, 0);
    EXPECT_EQ(D("(null)").state(), D::nullstate);
    EXPECT_EQ(D("nan").state(), D::NaNstate);
    EXPECT_EQ(D("1234567890123456789").state(), D::NaNstate);
    EXPECT_EQ(Reports::overflow.back(), "[FROMPORTOVER] RWDecimal64: overflow converting from portable decimal");
}

TEST_F(DecimalTest, ConstantsAndHelpers) {
    EXPECT_EQ(D::maxDigits(), 18);
    EXPECT_EQ(D::pow10(18).raw(), 1000000000000000000);
    EXPECT_TRUE(D::pow10(-1).isMarker());
    EXPECT_EQ(Reports::overflow.back(), "[POWRANGE] RWDecimal64: power out of range (-1>18)");
    EXPECT_TRUE(D::pow10(19).isMarker());
    EXPECT_EQ(Reports::overflow.back(), "[POWRANGE] RWDecimal64: power out of range (19>18)");
    EXPECT_EQ(D(25).scale(2).raw(), 2500);
    EXPECT_TRUE(D(25).scale(18).isMarker());
    EXPECT_EQ(D(1).freeDigits(), 18);
    EXPECT_EQ(D(5).freeDigits(), 17);
    EXPECT_EQ(D(12345).freeDigits(), 13);
    expectParts(D::oneWithPlaces(3), 1000, 3);
    expectParts(D::oneWithPlaces(40), 1000000000000000000, 18);
    expectParts(D::oneWithPlaces(), 1000000000000000000, 18);
    EXPECT_EQ(abs(D("-3.5")), D("3.5"));
    EXPECT_EQ(abs(D::nullValue()).state(), D::normal);
    EXPECT_EQ((-D("3.5")).mantissa().raw(), -35);
    EXPECT_DOUBLE_EQ(D("-12.25").toDouble(), -12.25);
}

TEST_F(DecimalTest, ToIntegerIsExact) {
    EXPECT_EQ(dec(999999999999999999, 0).toInteger(), 999999999999999999);
    EXPECT_EQ(D("2.5").toInteger(D::BANKERS), 2);
    EXPECT_EQ(D("-2.5").toInteger(D::PLAIN), -3);
    EXPECT_EQ(D("7.9").toInteger(D::DOWN), 7);
    EXPECT_EQ(D::nullValue().toInteger(), 0);
}

TEST_F(DecimalTest, ErrorObjectsCarryOperationAndOperands) {
    D::OverflowHandler previous = D::setOverflowHandler([](const RWDecimal64OverflowErr& e) {
        EXPECT_EQ(e.opCode(), rwdOpMul);
        EXPECT_STREQ(e.opString(), "*");
        EXPECT_EQ(e.leftOperand(), dec(4000000000000, 0));
        EXPECT_EQ(e.rightOperand(), dec(4000000000000, 0));
        EXPECT_STREQ(e.msg(), "[MULOVER] RWDecimal64: overflow in multiplication");
    });
    EXPECT_EQ(previous, &Reports::onOverflow);
    (void)(dec(4000000000000, 0) * dec(4000000000000, 0));
    D::setOverflowHandler(previous);
    EXPECT_STREQ(rwDecimalOpName(7), "conversion");
    EXPECT_STREQ(rwDecimalOpName(9), "");
}

TEST_F(DecimalTest, MarkerMantissaNeverLoops) {
    const D marked(int64::marker(), 0);
    EXPECT_EQ(str(marked), "(NaN)");
    EXPECT_EQ(str(abs(marked)), "(NaN)");
    EXPECT_EQ((marked + D(1)).state(), D::NaNstate);
    EXPECT_EQ((marked * D(2)).state(), D::NaNstate);
    EXPECT_EQ((marked / D(2)).state(), D::NaNstate);
    EXPECT_EQ(round(D(int64::marker(), 2), 0).state(), D::NaNstate);
}

TEST_F(DecimalTest, HandBuiltExtremeExponentsStayBounded) {
    const D hugePlaces(int64(5), INT_MAX), negativePlaces(int64(5), INT_MIN);
    EXPECT_EQ((hugePlaces * hugePlaces).state(), D::NaNstate);
    EXPECT_EQ((negativePlaces + D(1)).state(), D::NaNstate);
    EXPECT_EQ((hugePlaces + D(1)).state(), D::normal);
    EXPECT_FALSE(hugePlaces == D(0));
    EXPECT_TRUE(hugePlaces < D(1));
    EXPECT_TRUE(D(1) < negativePlaces);
    EXPECT_EQ(str(negativePlaces), "(NaN)");
    EXPECT_EQ(str(hugePlaces), "(NaN)");
    EXPECT_EQ(str(D(int64(5), -3)), "5000");
    EXPECT_EQ(round(hugePlaces, INT_MIN, D::PLAIN).state(), D::normal);
}

}  // namespace

namespace {

TEST_F(DecimalTest, IntegersConvertOnEitherSide) {
    const D price("19.99");
    EXPECT_EQ(price * 3, D("59.97"));
    EXPECT_EQ(1 + price, D("20.99"));
    EXPECT_TRUE(price > 19);
    EXPECT_TRUE(20 > price);
    EXPECT_EQ(D(7) / 2, D("3.5"));
}

}  // namespace
