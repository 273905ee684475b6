// Results of the decimal classes checked against tables computed by Python's decimal module.
#include "foundation/decimal.h"

#include <string>

#include <gtest/gtest.h>

#include "foundation/decimal_portable.h"

namespace {

struct ArithmeticCase {
    const char* a;
    char op;
    const char* b;
    const char* result;
};
struct TruncatedDivisionCase {
    const char* a;
    const char* b;
    const char* quotient;  // to 30 places, truncated
    int maxPlaces;         // the most places a 63-bit mantissa allows
};
struct RoundingCase {
    const char* value;
    int places;
    int method;
    const char* result;
};
struct ComparisonCase {
    const char* a;
    const char* b;
    bool less;
    bool equal;
};

#include "tests/foundation/reference/decimal_reference_cases.inc"

using D = RWDecimal64;

class DecimalReference : public ::testing::Test {
protected:
    // Lost precision is expected in the truncated divisions; keep stderr quiet.
    void SetUp() override {
        old_ = D::setInexactHandler([](const RWDecimal64InexactErr&) {});
    }
    void TearDown() override { D::setInexactHandler(old_); }
    D::InexactHandler old_ = nullptr;
};

TEST_F(DecimalReference, Arithmetic) {
    for (const auto& c : kArithmetic) {
        const D a(c.a), b(c.b);
        ASSERT_TRUE(a.isNormal() && b.isNormal()) << c.a << " " << c.b;
        D r;
        switch (c.op) {
            case '+':
                r = a + b;
                break;
            case '-':
                r = a - b;
                break;
            case '*':
                r = a * b;
                break;
            default:
                r = a / b;
                break;
        }
        EXPECT_EQ(toStdString(r), c.result) << c.a << " " << c.op << " " << c.b;
    }
}

// The decimal size of the operands is estimated, so a quotient may carry one place fewer
// than would fit; whatever places it has must be the true quotient truncated there.
TEST_F(DecimalReference, TruncatedDivision) {
    for (const auto& c : kTruncatedDivision) {
        const std::string ours = toStdString(D(c.a) / D(c.b));
        const std::size_t point = ours.find('.');
        const int places = point == std::string::npos ? 0 : static_cast<int>(ours.size() - point - 1);
        EXPECT_GE(places, c.maxPlaces - 1) << c.a << " / " << c.b << " = " << ours;
        EXPECT_LE(places, c.maxPlaces) << c.a << " / " << c.b << " = " << ours;
        const std::string reference = c.quotient;
        std::string expected = reference.substr(0, reference.find('.') + (places > 0 ? places + 1 : 0));
        if (expected.find_first_not_of("-0.") == std::string::npos && expected[0] == '-') expected.erase(0, 1);
        EXPECT_EQ(ours, expected) << c.a << " / " << c.b;
    }
}

TEST_F(DecimalReference, Rounding) {
    for (const auto& c : kRounding)
        EXPECT_EQ(toStdString(round(D(c.value), c.places, c.method)), c.result)
            << c.value << " to " << c.places << " method " << c.method;
}

TEST_F(DecimalReference, Comparison) {
    for (const auto& c : kComparison) {
        const D a(c.a), b(c.b);
        EXPECT_EQ(a < b, c.less) << c.a << " < " << c.b;
        EXPECT_EQ(a == b, c.equal) << c.a << " == " << c.b;
        EXPECT_EQ(RWDecimalPortable(c.a) < RWDecimalPortable(c.b), c.less) << c.a << " < " << c.b;
        EXPECT_EQ(RWDecimalPortable(c.a) == RWDecimalPortable(c.b), c.equal) << c.a << " == " << c.b;
    }
}

TEST_F(DecimalReference, TextRoundTrip) {
    for (const auto& c : kArithmetic) {
        EXPECT_EQ(toStdString(D(c.a)), c.a);
        EXPECT_EQ(toStdString(RWDecimal96(c.result)), c.result);
    }
}

}  // namespace
