#include "foundation/decimal_portable.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

using P = RWDecimalPortable;

struct ReadCase {
    const char* input;
    int state;
    bool negative;
    const char* intDigits;
    const char* fracDigits;
    const char* text;
    bool streamBad;
};

TEST(RWDecimalPortable, Reader) {
    const ReadCase cases[] = {
        {"$1,234.50", P::normal, false, "1234", "50", "1234.50", false},
        {"(12)", P::normal, true, "12", "", "-12", false},
        {"( null )", P::nullstate, false, "", "", "(null)", false},
        {"(missing)", P::missingstate, false, "", "", "(missing)", false},
        {"(NaN)", P::NaNstate, false, "", "", "(NaN)", false},
        {"NaN", P::NaNstate, false, "", "", "(NaN)", true},
        {"-NaN", P::NaNstate, false, "", "", "(NaN)", true},
        {"5%", P::normal, false, "0", "05", "0.05", false},
        {"12.%", P::normal, false, "0", "12", "0.12", false},
        {"1234%", P::normal, false, "12", "34", "12.34", false},
        {"1,2,3", P::normal, false, "123", "", "123", false},
        {"1,,2", P::NaNstate, false, "", "", "(NaN)", true},
        {"1,", P::NaNstate, false, "", "", "(NaN)", true},
        {".5", P::normal, false, "", "5", "0.5", false},
        {"-.5", P::normal, true, "", "5", "-0.5", false},
        {"12.", P::normal, false, "12", "", "12", false},
        {"  +7", P::normal, false, "7", "", "7", false},
        {"- 7", P::normal, true, "7", "", "-7", false},
        {"$ -3.25", P::normal, true, "3", "25", "-3.25", false},
        {"$(3)", P::normal, true, "3", "", "-3", false},
        {"007.500", P::normal, false, "007", "500", "007.500", false},
        {"", P::NaNstate, false, "", "", "(NaN)", true},
        {"abc", P::NaNstate, false, "", "", "(NaN)", true},
        {"(12", P::NaNstate, false, "", "", "(NaN)", true},
        {"nul", P::NaNstate, false, "", "", "(NaN)", true},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.input);
        P p;
        in >> p;
        EXPECT_EQ(p.state(), c.state) << c.input;
        EXPECT_EQ(p.isNegative(), c.negative) << c.input;
        EXPECT_EQ(p.integerDigits(), c.intDigits) << c.input;
        EXPECT_EQ(p.fractionDigits(), c.fracDigits) << c.input;
        EXPECT_EQ(p.asString(), c.text) << c.input;
        EXPECT_EQ(in.bad(), c.streamBad) << c.input;
    }
}

TEST(RWDecimalPortable, NumberAtTheEndOfInputIsNotAFailure) {
    std::istringstream in("12.5");
    P p;
    EXPECT_TRUE(static_cast<bool>(in >> p));
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(p.asString(), "12.5");
}

TEST(RWDecimalPortable, ReaderStopsAtTheFirstForeignCharacter) {
    std::istringstream in("12.5x rest");
    P p;
    in >> p;
    EXPECT_EQ(p.asString(), "12.5");
    EXPECT_EQ(in.get(), 'x');
    std::istringstream two("3 4");
    P a, b;
    two >> a >> b;
    EXPECT_EQ(a.asString(), "3");
    EXPECT_EQ(b.asString(), "4");
}

TEST(RWDecimalPortable, TextFormOfStates) {
    struct {
        int state;
        const char* text;
    } cases[] = {{P::nullstate, "(null)"},       {P::NaNstate, "(NaN)"},    {P::ctorError, "(ctorError)"},
                 {P::missingstate, "(missing)"}, {3, "(Impossible value)"}, {16, "(Impossible value)"}};
    for (const auto& c : cases) {
        P p(true, "12", "5");
        p.setState(c.state);
        EXPECT_EQ(p.asString(), c.text);
        EXPECT_FALSE(p.isNegative());
        EXPECT_TRUE(p.integerDigits().empty());
    }
}

TEST(RWDecimalPortable, NegativeZero) {
    const P negZero(true, "", "");
    EXPECT_EQ(negZero.asString(), "0");
    EXPECT_EQ(negZero, P(0));
    EXPECT_EQ(P(true, "0", "00"), P(false, "", ""));
}

TEST(RWDecimalPortable, FromInteger) {
    EXPECT_EQ(P(-42).asString(), "-42");
    EXPECT_EQ(P(0).asString(), "0");
    EXPECT_EQ(P(-2147483647 - 1).asString(), "-2147483648");
}

TEST(RWDecimalPortable, Comparison) {
    EXPECT_EQ(P("1.50"), P("001.5"));
    EXPECT_NE(P("1.5"), P("-1.5"));
    EXPECT_NE(P("(null)"), P("(NaN)"));
    EXPECT_EQ(P("(null)"), P("( null )"));
    EXPECT_LT(P("1.05"), P("1.5"));
    EXPECT_LT(P("-2"), P("1"));
    EXPECT_LT(P("-2"), P("-1.9"));
    EXPECT_GT(P("10"), P("9.99"));
    EXPECT_LE(P("3"), P("3.0"));
    EXPECT_GE(P("-0"), P("0"));
    EXPECT_FALSE(P("3") < P("3.000"));
}

TEST(RWDecimalPortable, DigitArithmetic) {
    struct {
        const char* a;
        const char* op;
        const char* b;
        const char* result;
    } cases[] = {
        {"1.05", "+", "2.1", "3.15"},
        {"999.99", "+", "0.01", "1000"},
        {"-1.5", "+", "-2.5", "-4"},
        {"5", "+", "-7.25", "-2.25"},
        {"-5", "+", "7.25", "2.25"},
        {"1000", "-", "0.001", "999.999"},
        {"2.5", "-", "2.5", "0"},
        {"-2.5", "+", "2.5", "0"},
        {"12.5", "*", "-0.4", "-5"},
        {"99999999999999999999", "*", "99999999999999999999", "9999999999999999999800000000000000000001"},
        {"0.001", "*", "0.001", "0.000001"},
        {"-3", "*", "-4", "12"},
        {"123456789.123456789", "+", "876543210.876543211", "1000000000"},
    };
    for (const auto& c : cases) {
        const P a(c.a), b(c.b);
        const std::string op = c.op;
        const P r = op == "+" ? a + b : op == "-" ? a - b : a * b;
        EXPECT_EQ(r.asString(), c.result) << c.a << c.op << c.b;
    }
}

TEST(RWDecimalPortable, NormalizeAndHash) {
    P p(false, "00120", "3400");
    p.normalize();
    EXPECT_EQ(p.asString(), "120.34");
    EXPECT_EQ(P("1.5").hash(), P("1.5").hash());
    EXPECT_EQ(P("-1.5").hash(), 0u - P("1.5").hash());
    EXPECT_DOUBLE_EQ(P("-12.5").toDouble(), -12.5);
}

TEST(RWDecimalPortable, FromDecimal64) {
    struct {
        std::int64_t mantissa;
        int exponent;
        const char* intDigits;
        const char* fracDigits;
        const char* text;
    } cases[] = {
        {5, 2, "", "05", "0.05"},
        {-1234, 2, "12", "34", "-12.34"},
        {123, 0, "123", "", "123"},
        {0, 0, "0", "", "0"},
        {12345, 5, "", "12345", "0.12345"},
        {-1, 18, "", "000000000000000001", "-0.000000000000000001"},
        {INT64_MAX, 0, "9223372036854775807", "", "9223372036854775807"},
        {-INT64_MAX, 3, "9223372036854775", "807", "-9223372036854775.807"},
    };
    for (const auto& c : cases) {
        const P p = toPortable(RWDecimal64(int64::fromRaw(c.mantissa), c.exponent));
        EXPECT_EQ(p.integerDigits(), c.intDigits) << c.text;
        EXPECT_EQ(p.fractionDigits(), c.fracDigits) << c.text;
        EXPECT_EQ(p.asString(), c.text);
    }
    EXPECT_EQ(toPortable(RWDecimal64::missingValue()).asString(), "(missing)");
    EXPECT_EQ(toPortable(RWDecimal64(RWDecimal64::ctorError)).asString(), "(ctorError)");
}

TEST(RWDecimalPortable, MarkerMantissaBecomesNaN) {
    const RWDecimal64 marked(int64::marker(), 0);
    EXPECT_EQ(toPortable(marked).state(), P::NaNstate);
    EXPECT_EQ(toPortable(-marked).state(), P::NaNstate);
    std::ostringstream out;
    out << int64::marker();
    EXPECT_EQ(out.str(), "(bad value)");
}

TEST(RWDecimalPortable, IntegerOutput) {
    struct {
        std::int64_t value;
        const char* text;
    } cases[] = {{0, "0"},
                 {-1, "-1"},
                 {INT64_MAX, "9223372036854775807"},
                 {-INT64_MAX, "-9223372036854775807"},
                 {1000000, "1000000"}};
    for (const auto& c : cases) {
        std::ostringstream out;
        out << int64::fromRaw(c.value);
        EXPECT_EQ(out.str(), c.text);
    }
    std::ostringstream wide;
    wide << int96(0x7FFFFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(wide.str(), "39614081257132168796771975167");
}

TEST(RWDecimalPortable, DecimalStreamInputLeavesTargetOnFailure) {
    RWDecimal64 target(7);
    std::istringstream bad("x");
    bad >> target;
    EXPECT_EQ(target, RWDecimal64(7));
    std::istringstream good("(3.5)");
    good >> target;
    EXPECT_EQ(toStdString(target), "-3.5");
    std::ostringstream out;
    out << RWDecimal64("1.20") << ' ' << RWDecimal64::nullValue();
    EXPECT_EQ(out.str(), "1.20 (null)");
    EXPECT_STREQ(toString(RWDecimal64("-0.5")).data(), "-0.5");
}

TEST(RWDecimalPortable, Int64Words) {
    const int64 v(-1, 0xFFFFFFFEu);
    EXPECT_EQ(v.raw(), -2);
    EXPECT_EQ(v.highWord(), -1);
    EXPECT_EQ(v.lowWord(), 0xFFFFFFFEu);
    EXPECT_TRUE(int64(static_cast<std::int32_t>(0x80000000), 0u).isMarker());
    EXPECT_EQ(int64(-5).raw(), -5);
    EXPECT_TRUE(int64::fromRaw(INT64_MAX).twice().isMarker());
    EXPECT_EQ(int64(-5).twice().raw(), -10);  // negative values double properly
    EXPECT_TRUE((int64(1) / int64(0)).isMarker());
    EXPECT_TRUE((-int64::marker()).isMarker());
    EXPECT_TRUE(int64::fromDouble(9.3e18).isMarker());
    EXPECT_EQ(int64::fromDouble(-2.9).raw(), -2);
    EXPECT_EQ((int64(6) & int64(3)).raw(), 2);
    std::uint32_t digits[4];
    int64::fromRaw(0x0001000200030004).digits16(digits);
    EXPECT_EQ(digits[0], 1u);
    EXPECT_EQ(digits[3], 4u);
}

}  // namespace
