// The message text that error pages show: the code's markup as written, every run-time value
// escaped as it joins, and no way to hand a run-time text in as markup but FromHtml.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>

#include "support/web_exception.h"
#include "support/web_message.h"

// A run-time text is never markup: neither a message nor an exception takes one without saying so.
static_assert(!std::is_convertible_v<std::string, CWebMessage>);
static_assert(!std::is_constructible_v<CWebMessage, std::string>);
static_assert(!std::is_constructible_v<CWebMessage, std::string_view>);
static_assert(!std::is_constructible_v<CWebException, std::string, std::string>);
static_assert(!std::is_constructible_v<CWebException, CWebMessage, std::string>);
static_assert(!std::is_constructible_v<CWebODBCException, std::string, CWebMessage>);

namespace {

const std::string kHostile = "<img src=x onerror=alert('1')>&";
const std::string kShown = "&lt;img src=x onerror=alert(&#39;1&#39;)&gt;&amp;";

TEST(WebMessage, MarkupStaysAndValuesAreEscapedWhereverTheyJoin) {
    const std::string_view view = kHostile;
    struct Case {
        CWebMessage message;
        std::string html;
    } const cases[] = {
        {"<B>fixed</B>", "<B>fixed</B>"},
        {CWebMessage("The name <B>") + kHostile + "</B> is bad.", "The name <B>" + kShown + "</B> is bad."},
        {kHostile + CWebMessage("<P>"), kShown + "<P>"},
        {CWebMessage("a") + view, "a" + kShown},
        {CWebMessage::Value(kHostile), kShown},
        {CWebMessage::FromHtml("<PRE>kept</PRE>") + kHostile, "<PRE>kept</PRE>" + kShown},
        {CWebMessage("x") + CWebMessage::FromHtml("<I>y</I>") + "z", "x<I>y</I>z"},
        {CWebMessage(), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.message.Html(), c.html);
    CWebMessage built = "start ";
    built += kHostile;
    built += " <BR>";
    EXPECT_EQ(built.Html(), "start " + kShown + " <BR>");
    EXPECT_TRUE(CWebMessage().Empty());
    EXPECT_TRUE(CWebMessage("").Empty());
    EXPECT_FALSE(CWebMessage::Value("a").Empty());
}

TEST(WebMessage, CopiesAndMovesKeepTheirText) {
    CWebMessage original = CWebMessage("a<B>") + kHostile;
    CWebMessage copy = original;
    CWebMessage moved = std::move(copy);
    EXPECT_EQ(moved.Html(), original.Html());
    copy = moved;
    copy += "!";
    EXPECT_EQ(copy.Html(), original.Html() + "!");
    EXPECT_EQ(moved.Html(), original.Html());
    copy = copy;
    EXPECT_EQ(copy.Html(), original.Html() + "!");
}

TEST(WebMessage, FillPutsEachValueInItsPlaceEscaped) {
    EXPECT_EQ(CWebMessage::Fill("'CLIENT.%s' (ID '%s').", kHostile, std::string("7")).Html(),
              "'CLIENT." + kShown + "' (ID '7').");
    // Fewer values than places: the rest stays as written.
    EXPECT_EQ(CWebMessage::Fill("<I>%s</I> %s", std::string("a")).Html(), "<I>a</I> %s");
    EXPECT_EQ(CWebMessage::Fill("none").Html(), "none");
}

TEST(WebMessage, TheExceptionShowsTheMessageAsBuilt) {
    CWebException e(CWebMessage("Duplicate <B>") + kHostile + "</B>", CWebMessage("(") + kHostile + ")");
    EXPECT_EQ(e.GetMessage(), "Duplicate <B>" + kShown + "</B><P>");
    EXPECT_EQ(e.GetDetail(), "(" + kShown + ")<P>");
    e.AppendDetail(CWebMessage("SQL = \"") + kHostile + "\"");
    e.PrependDetail(CWebMessage::FromHtml("<PRE>at</PRE>"));
    EXPECT_EQ(e.GetDetail(), "<PRE>at</PRE>(" + kShown + ")<P>SQL = \"" + kShown + "\"<P>");
}

}  // namespace
