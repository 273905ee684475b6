// The value type: conversions in their fixed order, caching, and the conversion errors.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_value.h"
#include "engine/expressions/numeric_text.h"
#include "tests/expressions/expression_test_support.h"

namespace {

using exprtest::Catch;
using exprtest::LogCapture;
using namespace expr_type;

const char kManual[] =
    ".<P>Please, check the Tessaro manual for the allowed conversions between data types (see docs/templates.md, "
    "section \"Operators\")";

TEST(ExpressionValue, StringForms) {
    ExprYaccStackElement b, i, r, third, d;
    b.SetBoolean(true);
    i.SetInteger(-15);
    r.SetReal(0.1);
    third.SetReal(1.0 / 3.0);
    d.SetDate(35000.75);
    EXPECT_STREQ(b.AsString(), "YES");
    EXPECT_STREQ(i.AsString(), "-15");
    EXPECT_STREQ(r.AsString(), "0.1");
    EXPECT_STREQ(third.AsString(), "0.333333333333");
    EXPECT_STREQ(d.AsString(), "{ts '1995-10-28 18:00:00'}");
    EXPECT_EQ(d.outType, kDate | kString);
    ExprYaccStackElement no;
    no.SetBoolean(false);
    EXPECT_STREQ(no.AsString(), "NO");
}

struct BoolCase {
    const char* text;
    int expected;  // -1: conversion error
};

TEST(ExpressionValue, TextToBoolean) {
    const BoolCase cases[] = {{"yes", 1}, {"True", 1}, {"NO", 0},  {"false", 0}, {" 1", 1},
                              {"0.0", 0}, {"-2", 1},   {"1 ", -1}, {"", -1},     {"maybe", -1}};
    for (const BoolCase& c : cases) {
        ExprYaccStackElement e;
        e.SetText(c.text);
        std::int16_t value = 0;
        const auto f = Catch([&] { value = e.AsBool(); });
        if (c.expected < 0) {
            EXPECT_TRUE(f.thrown) << c.text;
            EXPECT_EQ(f.code, 0x4002u) << c.text;
            EXPECT_EQ(f.text, std::string("Cannot convert ") + c.text + " to boolean" + kManual);
        } else {
            EXPECT_FALSE(f.thrown) << c.text;
            EXPECT_EQ(value, c.expected) << c.text;
            EXPECT_TRUE(e.outType & kBoolean);
        }
    }
}

TEST(ExpressionValue, ToInteger) {
    struct Case {
        const char* text;
        std::int32_t expected;
    };
    const Case cases[] = {{"2.9", 2}, {"-2.9", -2}, {"TRUE", 1}, {"no", 0}, {"{d '1999-12-31'}", 36525}};
    for (const Case& c : cases) {
        ExprYaccStackElement e;
        e.SetText(c.text);
        EXPECT_EQ(e.AsInt(), c.expected) << c.text;
        EXPECT_STREQ(e.AsString(), c.text) << "the text stays as it was";
    }
    ExprYaccStackElement big, huge, nan;
    big.SetReal(3000000000.0);
    huge.SetReal(1e20);
    nan.SetReal(std::nan(""));
    EXPECT_EQ(big.AsInt(), -1294967296);
    EXPECT_EQ(huge.AsInt(), 0);
    EXPECT_EQ(nan.AsInt(), 0);
    ExprYaccStackElement bad;
    bad.SetText("abc");
    const auto f = Catch([&] { bad.AsInt(); });
    EXPECT_EQ(f.code, 0x4001u);
    EXPECT_EQ(f.text, std::string("Cannot convert abc to integer") + kManual);
}

TEST(ExpressionValue, ToRealRefusesEmptyOverflowingAndNonDecimalTexts) {
    for (const char* text : {"", "1e999", "inf", "nan", "0x10", "1d2", "1 "}) {
        ExprYaccStackElement e;
        e.SetText(text);
        const auto f = Catch([&] { e.AsReal(); });
        EXPECT_EQ(f.code, 0x4003u) << text;
        EXPECT_EQ(f.text, std::string("Cannot convert ") + text + " to real" + kManual);
    }
    struct Case {
        const char* text;
        double expected;
    };
    const Case good[] = {{" -1.5e2", -150.0}, {".5", 0.5},  {"5.", 5.0},
                         {"+3", 3.0},         {"yes", 1.0}, {"{d '1999-12-31'}", 36525.0}};
    for (const Case& c : good) {
        ExprYaccStackElement e;
        e.SetText(c.text);
        EXPECT_DOUBLE_EQ(e.AsReal(), c.expected) << c.text;
    }
}

TEST(ExpressionValue, ToDate) {
    ExprYaccStackElement literal, word, truth;
    literal.SetText("{d '1999-12-31'}");
    EXPECT_DOUBLE_EQ(literal.AsDate(), 36525.0);
    EXPECT_EQ(literal.outType & (kDate | kReal), kDate | kReal);
    word.SetText("abc");
    auto f = Catch([&] { word.AsDate(); });
    EXPECT_EQ(f.code, 0x4011u);
    EXPECT_EQ(f.text, std::string("Cannot convert abc to date") + kManual);
    truth.SetBoolean(true);
    f = Catch([&] { truth.AsDate(); });
    EXPECT_EQ(f.code, 0x4011u);
    EXPECT_EQ(f.text, std::string("Cannot convert boolean to date") + kManual);
    ExprYaccStackElement days;
    days.SetText("2.5");
    EXPECT_DOUBLE_EQ(days.AsDate(), 2.5);
}

TEST(ExpressionValue, DateToBooleanFailsUntilTheRealFormIsCached) {
    ExprYaccStackElement d;
    d.SetDate(36525.0);
    const auto f = Catch([&] { d.AsBool(); });
    EXPECT_EQ(f.code, 0x4002u);
    EXPECT_EQ(f.text, "Cannot convert a date to a boolean");
    EXPECT_DOUBLE_EQ(d.AsReal(), 36525.0);
    EXPECT_EQ(d.AsBool(), 1);
}

TEST(ExpressionValue, ElementWithoutTypeFailsEveryConversion) {
    LogCapture log;
    ExprYaccStackElement e;
    for (int which = 0; which < 5; ++which) {
        const auto f = Catch([&] {
            switch (which) {
                case 0:
                    e.AsString();
                    break;
                case 1:
                    e.AsInt();
                    break;
                case 2:
                    e.AsBool();
                    break;
                case 3:
                    e.AsReal();
                    break;
                default:
                    e.AsDate();
                    break;
            }
        });
        EXPECT_EQ(f.code, 0x8001u);
        EXPECT_EQ(f.text, "Stack element has no in type");
    }
    ASSERT_FALSE(LogCapture::Lines().empty());
    EXPECT_EQ(LogCapture::Lines()[0].first, "ExprYaccStackElement::CheckTypes");
    EXPECT_EQ(LogCapture::Lines()[0].second, "no inType in stack element");
}

TEST(ExpressionValue, UnusableOutTypeIsAnInternalError) {
    LogCapture log;
    ExprYaccStackElement e;
    e.inType = kString;
    e.outType = 64;
    const auto f = Catch([&] { e.AsReal(); });
    EXPECT_EQ(f.code, 0x8002u);
    EXPECT_EQ(f.text, "Invalid out type");
    ASSERT_EQ(LogCapture::Lines().size(), 1u);
    EXPECT_EQ(LogCapture::Lines()[0].first, "ExprYaccStackElement::AsReal");
    EXPECT_EQ(LogCapture::Lines()[0].second, "Invalid outType detected: 64");
}

TEST(ExpressionValue, CopyValueCarriesEveryHeldForm) {
    ExprYaccStackElement source, target;
    source.SetText("2.5");
    source.AsReal();
    source.AsInt();
    CopyValue(source, target);
    EXPECT_EQ(target.inType, source.inType);
    EXPECT_EQ(target.outType, source.outType);
    EXPECT_STREQ(target.AsString(), "2.5");
    EXPECT_DOUBLE_EQ(target.real, 2.5);
    EXPECT_EQ(target.integer, 2);
    ExprYaccStackElement date, copy;
    date.SetDate(35000.75);
    CopyValue(date, copy);
    EXPECT_EQ(copy.inType, kDate);
    EXPECT_STREQ(copy.AsString(), "{ts '1995-10-28 18:00:00'}");
}

TEST(ExpressionValue, TakeStringGivesTheTextFormAndEmptiesTheElement) {
    LogCapture log;
    ExprYaccStackElement text, real;
    text.SetText("abc");
    real.SetReal(0.25);
    EXPECT_EQ(text.TakeString(), "abc");
    EXPECT_EQ(real.TakeString(), "0.25");
    // Nothing stale may be read afterwards: the element is as if new.
    EXPECT_EQ(Catch([&] { text.AsString(); }).code, 0x8001u);
    EXPECT_EQ(Catch([&] { real.AsReal(); }).code, 0x8001u);
}

TEST(NumericText, FormatsAndTruncation) {
    EXPECT_EQ(FormatReal(2.0), "2");
    EXPECT_EQ(FormatReal(1e20), "1E+20");
    EXPECT_EQ(FormatReal(-0.5), "-0.5");
    EXPECT_EQ(FormatInteger(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(TruncateToInt32(-2.9), -2);
    EXPECT_EQ(TruncateToInt32(9.3e18), 0);
    EXPECT_EQ(TruncateToInt32(4294967297.0), 1);
}

}  // namespace
