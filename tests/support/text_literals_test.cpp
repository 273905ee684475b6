// The small texts that have one home in support/: the engine's time stamp literal, HTML
// escaping and the detail of a query used before it ran.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "support/html_escape.h"
#include "support/query_not_executed.h"
#include "support/timestamp_literal.h"

TEST(TimestampLiteral, WritesEveryFieldZeroPadded) {
    EXPECT_EQ(FormatTimestampLiteral(2024, 1, 31, 9, 5, 7), "{ts '2024-01-31 09:05:07'}");
    std::tm time{};
    time.tm_year = 101;
    time.tm_mon = 8;
    time.tm_mday = 9;
    time.tm_hour = 1;
    time.tm_min = 46;
    time.tm_sec = 40;
    EXPECT_EQ(FormatTimestampLiteral(time), "{ts '2001-09-09 01:46:40'}");
    EXPECT_TRUE(IsTimestampLiteral(LocalTimestampLiteral(std::time(nullptr))));
}

TEST(TimestampLiteral, RecognisesOnlyTheEnginesOwnShape) {
    EXPECT_TRUE(IsTimestampLiteral("{ts '2020-01-01 10:00:00'}"));
    for (const char* other : {"", "{ts '2020-01-01 10:00'}", "{TS '2020-01-01 10:00:00'}", "{ts '2020-01-01 10:00:00.5'}",
                              "{ts '2020-0a-01 10:00:00'}", "{d '2020-01-01'}", " {ts '2020-01-01 10:00:00'}"})
        EXPECT_FALSE(IsTimestampLiteral(other)) << other;
}

TEST(HtmlEscape, ReferencesMarkupAndQuotesOptionallyKeepingApostrophes) {
    EXPECT_EQ(HtmlEscape("<a href=\"x\">Tom & Jerry's</a>"),
              "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry&#39;s&lt;/a&gt;");
    EXPECT_EQ(HtmlEscape("<a href=\"x\">Tom & Jerry's</a>", HtmlApostrophe::Keep),
              "&lt;a href=&quot;x&quot;&gt;Tom &amp; Jerry's&lt;/a&gt;");
}

TEST(QueryNotYetExecutedText, NamesTheQueryEscaped) {
    EXPECT_EQ(QueryNotYetExecutedText("ORDERS").Html(),
              "The query named 'ORDERS' has not yet executed. Please define this query in your template file above "
              "the places where you use it");
    EXPECT_EQ(QueryNotYetExecutedText("<script>").Html().rfind("The query named '&lt;script&gt;' has not", 0), 0u);
}
