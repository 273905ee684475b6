// The evaluator's messages: the format is the message's own text, each %s a value shown as
// text, numbers as printf writes them; the log's formatting stays plain.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "engine/expressions/expression_exception.h"
#include "support/quoted_excerpt.h"

namespace {

TEST(ExpressionMessage, TextArgumentsAreValuesAndNumbersKeepTheirFormat) {
    const std::string hostile = "<script>'&\"";
    struct Case {
        CWebMessage message;
        const char* html;
    } const cases[] = {
        {FormatExpressionMessage("Parameter %u of function %s which is now \"%s\" must be", 2u, "Mid", hostile.c_str()),
         "Parameter 2 of function Mid which is now \"&lt;script&gt;&#39;&amp;&quot;\" must be"},
        {FormatExpressionMessage("<B>%4li-%2li-%2li</B> %d%% %ld %zu", 7L, 3L, 12L, -5, 9L, std::size_t{11}),
         "<B>   7- 3-12</B> -5% 9 11"},
        {FormatExpressionMessage("[%s][%5s]", "", "a<"), "[][   a&lt;]"},
        {FormatExpressionMessage("no arguments<BR>"), "no arguments<BR>"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.message.Html(), c.html);
    EXPECT_EQ(FormatExpressionText("%s %u", "<x>", 3u), "<x> 3");
}

// No buffer of the format's cuts a value short; one past the quote bound is quoted by its start.
TEST(ExpressionMessage, ALongValueIsKeptWholeUpToTheQuoteBound) {
    const std::string value(kMaxQuotedBytes, '<');
    std::string shown;
    for (std::size_t i = 0; i < value.size(); ++i) shown += "&lt;";
    EXPECT_EQ(FormatExpressionMessage("(%s)", value.c_str()).Html(), "(" + shown + ")");
    const std::string longer = value + std::string(3000, '>');
    EXPECT_EQ(FormatExpressionMessage("(%s)", longer.c_str()).Html(), "(" + shown + "...)");
}

TEST(ExpressionMessage, TheThrownErrorCarriesTheMessage) {
    try {
        ThrowExpressionError(0x400C, CWebMessage("Variable not found<P>") + std::string("<b>"));
    } catch (CExpressionException* e) {
        EXPECT_EQ(e->GetCode(), 0x400Cu);
        EXPECT_EQ(e->GetText(), "Variable not found<P>&lt;b&gt;");
        delete e;
    }
}

}  // namespace
