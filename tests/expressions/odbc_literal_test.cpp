#include <gtest/gtest.h>

#include "engine/expressions/odbc_literal.h"

namespace {

TEST(OdbcLiteral, OnlyExactWellFormedLiteralsKeepTheirQuotes) {
    struct Case {
        const char* text;
        bool kept;
    } const cases[] = {
        {"{d '1999-12-31'}", true},
        {"{D '2000-02-29'}", true},
        {"{t '23:59:59'}", true},
        {"{ts '2000-01-01 00:00:00'}", true},
        {"{TS '2000-01-01 00:00:00.123'}", true},
        {"{ts '2000-01-01 00:00:00.123456789'}", true},
        // Look-alikes: quote breakers, wrong shapes, impossible numbers.
        {"{d '--'}", false},
        {"{d ''}", false},
        {"{d ' '}", false},
        {"{d '1999-12-31' }", false},
        {" {d '1999-12-31'}", false},
        {"{ d '1999-12-31'}", false},
        {"{d  '1999-12-31'}", false},
        {"{d '1999-12-31'} OR 'a'='a'", false},
        {"{d '1999-12-31'}'}", false},
        {"{d '1999-13-01'}", false},
        {"{d '1999-02-29'}", false},
        {"{d '1999-00-10'}", false},
        {"{d '1999-1-1'}", false},
        {"{d '1999-12-31 00:00:00'}", false},
        {"{t '24:00:00'}", false},
        {"{t '12:60:00'}", false},
        {"{t '12:00'}", false},
        {"{ts '2000-01-01'}", false},
        {"{ts '2000-01-01 00:00:00.'}", false},
        {"{ts '2000-01-01 00:00:00.1234567890'}", false},
        {"{ts '2000-01-01  0:00:00'}", false},
        {"{x '2000-01-01'}", false},
        {"{fn '2000-01-01'}", false},
        {"{'}", false},
        {"{", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsWholeOdbcDateLiteral(c.text), c.kept) << c.text;
}

}  // namespace
