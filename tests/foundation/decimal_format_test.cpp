#include "foundation/decimal_format.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string fmt(const RWDecimalFormat& f, const char* value) {
    return std::string(f(RWDecimalPortable(value)).data());
}

TEST(RWDecimalFormat, AcceptancePictureWithSeparatorsAndCurrency) {
    const RWDecimalFormat f("$__,___.__");
    EXPECT_EQ(fmt(f, "1234.5"), "$ 1,234.50");
    EXPECT_EQ(fmt(f, "-1234.5"), "$-1,234.50");
    EXPECT_EQ(fmt(f, "5"), "$     5.00");
    EXPECT_EQ(f.width(), 10);
    EXPECT_STREQ(f.farLeftText().data(), "$");
    EXPECT_STREQ(f.leftDigitSeperator().data(), ",");
    EXPECT_EQ(f.decimalPlaces(), 2);
    EXPECT_STREQ(f.nearLeftText(RWDecimalFormat::negative).data(), "-");
    EXPECT_STREQ(f.nearLeftText(RWDecimalFormat::positive).data(), " ");
    EXPECT_THROW(f.nearLeftText(RWDecimalFormat::both), RWInternalErr);
    try {
        f.nearLeftText();
    } catch (const RWInternalErr& e) {
        EXPECT_STREQ(e.why(), "[FORMATSDIFF]: positive and negative RWDecimalFormat attributes differ");
    }
}

TEST(RWDecimalFormat, DefaultFormat) {
    const RWDecimalFormat f;
    EXPECT_EQ(fmt(f, "1234.5"), "1234.5");
    EXPECT_EQ(fmt(f, "-1234.5"), "-1234.5");
    EXPECT_EQ(fmt(f, "0"), "0");
    EXPECT_EQ(fmt(f, "-0"), "0");
    EXPECT_EQ(fmt(f, ".25"), "0.25");
    EXPECT_EQ(std::string(f("12.50").data()), "12.50");
    EXPECT_EQ(std::string(f("junk").data()), "0");
    EXPECT_EQ(std::string(f("12 ").data()), "0");
    EXPECT_EQ(std::string(f(static_cast<const char*>(nullptr)).data()), "0");
}

TEST(RWDecimalFormat, Grouping) {
    RWDecimalFormat f;
    f.setLeftDigitSeperator(",");
    EXPECT_EQ(fmt(f, "1234567"), "1,234,567");
    EXPECT_EQ(fmt(f, "123"), "123");
    EXPECT_EQ(fmt(f, "123456"), "123,456");
    EXPECT_EQ(fmt(f, "-1234.5"), "-1,234.5");
    f.setLeftGroupSize(2);
    EXPECT_EQ(fmt(f, "1234567"), "1,23,45,67");
    f.setLeftGroupSize(-1);  // nonsense sizes do not group
    EXPECT_EQ(fmt(f, "1234567"), "1234567");
    RWDecimalFormat r;
    r.setRightDigitSeperator(" ");
    EXPECT_EQ(fmt(r, "0.1234567"), "0.123 456 7");
    r.setRightDigitSeperator("ab");
    EXPECT_EQ(fmt(r, "0.1234"), "0.123ba4");  // multi-character separators come out reversed
}

TEST(RWDecimalFormat, FixedWidthAndJustification) {
    RWDecimalFormat f;
    f.setFixedWidth(true);
    f.setWidth(8);
    EXPECT_EQ(fmt(f, "12.5"), "    12.5");
    f.setJustification(RWDecimalFormat::CENTER);
    EXPECT_EQ(fmt(f, "12.5"), "  12.5  ");
    EXPECT_EQ(fmt(f, "1.5"), "  1.5   ");
    f.setJustification(RWDecimalFormat::LEFT);
    EXPECT_EQ(fmt(f, "12.5"), "12.5    ");
    f.setRightFillChar('.');
    EXPECT_EQ(fmt(f, "12.5"), "12.5....");
    f.setWidth(3);
    EXPECT_EQ(fmt(f, "12.5"), "***");
    f.setFarLeftText("[");
    f.setFarRightText("]");
    EXPECT_EQ(fmt(f, "12.5"), "[*]");
    f.setWidth(1);
    EXPECT_EQ(fmt(f, "12.5"), "*");
    f.setWidth(-5);  // never a negative count of characters
    EXPECT_EQ(fmt(f, "12.5"), "");
}

TEST(RWDecimalFormat, LeadingZeroDroppedToFit) {
    RWDecimalFormat f;
    f.setFixedWidth(true);
    f.setWidth(3);
    f.setAllDecimals(false);
    f.setDecimalPlaces(2);
    EXPECT_EQ(fmt(f, "0.50"), ".50");
    EXPECT_EQ(fmt(f, "0.5"), ".50");
    EXPECT_EQ(fmt(f, "1.5"), "***");
}

TEST(RWDecimalFormat, RoundingAndPlaces) {
    struct {
        const char* value;
        int method;
        int places;
        const char* expected;
    } cases[] = {
        {"2.5", RWDecimalFormat::BANKERS, 0, "2"},      {"3.5", RWDecimalFormat::BANKERS, 0, "4"},
        {"2.51", RWDecimalFormat::BANKERS, 0, "3"},     {"2.5", RWDecimalFormat::PLAIN, 0, "3"},
        {"2.5", RWDecimalFormat::DOWN, 0, "2"},         {"2.01", RWDecimalFormat::UP, 0, "3"},
        {"-2.5", RWDecimalFormat::PLAIN, 0, "-3"},      {"9.995", RWDecimalFormat::PLAIN, 2, "10.00"},
        {"0.004", RWDecimalFormat::PLAIN, 2, "0.00"},   {"0.5", RWDecimalFormat::PLAIN, 0, "1"},
        {"1.2", RWDecimalFormat::UP, 3, "1.200"},       {"1250", RWDecimalFormat::BANKERS, -2, "1200"},
        {"1350", RWDecimalFormat::BANKERS, -2, "1400"}, {"1200", RWDecimalFormat::UP, -2, "1200"},
        {"1201", RWDecimalFormat::UP, -2, "1300"},      {"1234.5", RWDecimalFormat::PLAIN, -5, "0"},
        {"56789", RWDecimalFormat::PLAIN, -3, "57000"}, {"99.5", RWDecimalFormat::PLAIN, 0, "100"},
        {"0.05", RWDecimalFormat::BANKERS, 1, "0.0"},
    };
    for (const auto& c : cases) {
        RWDecimalFormat f;
        f.setDoRounding(true);
        f.setRoundMethod(c.method);
        f.setRoundPlaces(c.places);
        EXPECT_EQ(fmt(f, c.value), c.expected) << c.value << " method " << c.method << " places " << c.places;
    }
}

TEST(RWDecimalFormat, DecimalPlaces) {
    RWDecimalFormat f;
    f.setAllDecimals(false);
    f.setDecimalPlaces(-3);
    EXPECT_EQ(fmt(f, "1234567"), "1235");
    EXPECT_EQ(fmt(f, "12"), "0");  // more digits dropped than there are
    EXPECT_EQ(fmt(f, "499"), "0");
    f.setDecimalPlaces(-30);
    EXPECT_EQ(fmt(f, "1234567"), "0");
    f.setDecimalPlaces(3);
    EXPECT_EQ(fmt(f, "1.5"), "1.500");
    EXPECT_EQ(fmt(f, "1.23456"), "1.235");
    f.setDecimalPlaces(0);
    EXPECT_EQ(fmt(f, "1.5"), "2");
    f.setShowDecimalPoint(true);
    EXPECT_EQ(fmt(f, "1.5"), "2.");
}

TEST(RWDecimalFormat, Pictures) {
    struct {
        const char* picture;
        const char* value;
        const char* expected;
    } cases[] = {
        {"__.__", "-3.5", "-3.50"},
        {"__.__", "3.5", " 3.50"},
        {"(__.__)", "-3.5", "( 3.50)"},
        {"(__.__)", "3.5", "  3.50 "},
        {"__.__-", "-3.5", " 3.50-"},
        {"+__.__", "3.5", "+ 3.50"},
        {"0__.__", "3.5", "003.50"},
        {"L___", "12", " 12 "},
        {"C____", "12", "  12 "},
        {"__.__0", "3.5", " 3.500"},
        {"Total: __.__ EUR", "3.5", "Total:  3.50 EUR"},
        {"x@__.__", "3.5", "x  3.50"},
        {"__#__", "3.5", "  3.5"},
        {"___", "12345", "***"},
        {"__,___.__", "1234.567", " 1,234.57"},
        {"$__,___.__", "0.5", "$     0.50"},
        {"___,", "12", "  12"},
        {"$__,___.__", "-0.5", "$    -0.50"},
        {"__.__", "-0", " 0.00"},
    };
    for (const auto& c : cases) {
        const RWDecimalFormat f(c.picture);
        EXPECT_EQ(fmt(f, c.value), c.expected) << c.picture << " with " << c.value;
    }
}

TEST(RWDecimalFormat, PictureAttributes) {
    const RWDecimalFormat f("(__.__)");
    EXPECT_STREQ(f.farLeftText(RWDecimalFormat::negative).data(), "(");
    EXPECT_STREQ(f.farLeftText(RWDecimalFormat::positive).data(), " ");
    EXPECT_STREQ(f.nearLeftText(RWDecimalFormat::negative).data(), "");
    EXPECT_STREQ(f.farRightText(RWDecimalFormat::negative).data(), ")");
    EXPECT_STREQ(f.farRightText(RWDecimalFormat::positive).data(), " ");
    EXPECT_EQ(f.width(), 7);
    EXPECT_EQ(f.decimalPlaces(), 2);
    const RWDecimalFormat lit("__.__ EUR");
    EXPECT_STREQ(lit.farRightText().data(), " EUR");
    EXPECT_EQ(lit.decimalPlaces(), 2);
    EXPECT_EQ(lit.width(), 9);
    const RWDecimalFormat sep("__.___,___");
    EXPECT_STREQ(sep.rightDigitSeperator().data(), ",");
    EXPECT_EQ(sep.decimalPlaces(), 6);
    EXPECT_TRUE(RWDecimalFormat("___").allDecimals());
    EXPECT_FALSE(RWDecimalFormat("___").showDecimalPoint());
}

TEST(RWDecimalFormat, AccessorsBySign) {
    RWDecimalFormat f;
    f.setWidth(5, RWDecimalFormat::negative);
    EXPECT_EQ(f.width(RWDecimalFormat::positive), 0);
    EXPECT_EQ(f.width(RWDecimalFormat::negative), 5);
    EXPECT_THROW(f.width(7), RWxmsg);
    f.setWidth(9, 7);  // unknown selector changes nothing
    EXPECT_EQ(f.width(RWDecimalFormat::negative), 5);
    f.appendFarLeftText("<", RWDecimalFormat::both);
    f.appendFarLeftText("<", RWDecimalFormat::positive);
    EXPECT_STREQ(f.farLeftText(RWDecimalFormat::positive).data(), "<<");
    EXPECT_STREQ(f.farLeftText(RWDecimalFormat::negative).data(), "<");
    const RWDecimalFormat copy = f;
    EXPECT_EQ(copy.width(RWDecimalFormat::negative), 5);
    RWCString out;
    copy.apply(out, RWDecimalPortable("-1"));
    EXPECT_STREQ(out.data(), "<-1");
}

TEST(RWDecimalFormat, NonNormalValues) {
    const RWDecimalFormat f;
    EXPECT_EQ(fmt(f, "(null)"), "(null)");
    EXPECT_EQ(std::string(f(toPortable(RWDecimal64::NaNValue())).data()), "(NaN)");
}

TEST(RWDecimalFormat, Dump) {
    const RWDecimalFormat f("$__,___.__");
    std::ostringstream out;
    f.dump(out);
    const std::string d = out.str();
    EXPECT_EQ(d.rfind("attribute           = +ve\t-ve\n------------------------------\nfixedWidth_         = yes\tyes\n"
                      "width_              = 10  \t10\njustification_      = RIGHT\tRIGHT\n"
                      "doRounding_         = '0'\t'0'\nroundMethod_        = 'PLAIN'\t'PLAIN'\n",
                      0),
              0u)
        << d;
    EXPECT_NE(d.find("\nnearLeftText_       = ' '\t'-'"), std::string::npos);
    EXPECT_NE(d.find("\nallDecimals_        = 'no'\t'no'"), std::string::npos);
    EXPECT_NE(d.find("\nfarRightText_       = ''\t''\n"), std::string::npos);
    EXPECT_EQ(d.back(), '\n');
}

TEST(RWDecimalFormat, AbsurdPlaceCountsAreBounded) {
    RWDecimalFormat f;
    f.setAllDecimals(false);
    f.setDecimalPlaces(-2147483647 - 1);
    EXPECT_EQ(fmt(f, "1234567"), "0");
    f.setDecimalPlaces(2147483647);
    EXPECT_EQ(fmt(f, "1.5").size(), 4096u + 2);
    RWDecimalFormat r;
    r.setDoRounding(true);
    r.setRoundPlaces(-2147483647 - 1);
    EXPECT_EQ(fmt(r, "1234.5"), "0");
}

}  // namespace
