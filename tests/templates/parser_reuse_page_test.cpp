// Pages run one after another on the same thread reuse its template and expression
// parsers: a page that failed anywhere (lexer, parser, a tag's action, an expression, an
// included template) must leave nothing that changes the next page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/templates/template_page.h"
#include "sqlite_page_site.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;

class ParserReusePage : public CoreTagsPage {
protected:
    // A loop over a query with a condition per row, an include per row that nests three
    // evaluations, and a second level of include.
    void WriteGoodPage() {
        Write("row.tsm", "<TSOUTPUT>(#IIf(id IS 1, DE(name), 'Evaluate(''name & id'')')#)</TSOUTPUT>");
        Write("outer.tsm", "{<TSINCLUDE TEMPLATE=\"inner.tsm\">}");
        Write("inner.tsm", "<TSSET depth = depth + 1><TSOUTPUT>#depth#</TSOUTPUT>");
        Write("page.tsm", Query("q", "SELECT id, name FROM people ORDER BY id") +
                              "<TSSET n = 2><TSSET depth = 0><TSLOOP QUERY=\"q\"><TSIF id GT n>"
                              "<TSOUTPUT>#name#:#id * 2#</TSOUTPUT><TSELSE><TSINCLUDE TEMPLATE=\"row.tsm\">"
                              "</TSIF>;</TSLOOP><TSINCLUDE TEMPLATE=\"outer.tsm\"><TSINCLUDE TEMPLATE=\"outer.tsm\">");
    }
    static constexpr const char* kGoodBody = "(Ann);(Bob2);Cy:6;{1}{2}";

    void ExpectGoodPage() {
        WriteGoodPage();
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        ASSERT_FALSE(out.failed) << out.title << out.detail;
        EXPECT_EQ(out.body, kGoodBody);
    }
};

TEST_F(ParserReusePage, AFailedPageLeavesTheNextPageOnTheSameThreadRight) {
    struct Case {
        const char* what;
        const char* page;
        const char* included;  // written as "bad.tsm" when not null
        const char* message;   // part of the failed page's title or detail
    };
    const Case cases[] = {
        {"syntax error", "text\n<TSIF x", nullptr, "TSIF or TSELSEIF tag"},
        {"pound sign not closed", "<TSSET a=1><TSOUTPUT>#a</TSOUTPUT>", nullptr, "unmatched"},
        {"expression with an unknown token", "<TSOUTPUT>#1 ? 2#</TSOUTPUT>", nullptr, "expression"},
        {"lookup that fails in a condition", "a<TSIF nothing GT 1>b</TSIF>", nullptr, "nothing"},
        {"nested evaluation that fails", "<TSOUTPUT>#IIf(TRUE, '1 / / 2', 0)#</TSOUTPUT>", nullptr, "expression"},
        {"open TSIF", "a<TSIF TRUE>b", nullptr, "properly matched"},
        {"syntax error in an include", "a<TSINCLUDE TEMPLATE=\"bad.tsm\">b", "x\n<TSINCLUDE TEMPLATE=", "TSINCLUDE"},
        {"failing expression in an include inside a loop",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSINCLUDE TEMPLATE=\"bad.tsm\"></TSLOOP>",
         "<TSIF i IS 2><TSOUTPUT>#i / / 2#</TSOUTPUT></TSIF>", "expression"},
        {"abort in an include", "a<TSINCLUDE TEMPLATE=\"bad.tsm\">b", "c<TSABORT>d", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.included != nullptr) Write("bad.tsm", c.included);
        Write("page.tsm", c.page);
        PageOutcome bad = RunPage<CQueryPage>(Script("/page.tsm"));
        if (c.message != nullptr) {
            EXPECT_TRUE(bad.failed);
            EXPECT_THAT(bad.title + bad.detail, HasSubstr(c.message));
        } else {
            EXPECT_FALSE(bad.failed) << bad.title;
            EXPECT_EQ(bad.body, "ac");
        }
        ExpectGoodPage();
    }
}

TEST_F(ParserReusePage, AnIncludeChangedOnDiskIsReadOnTheNextPage) {
    ExpectGoodPage();
    Write("inner.tsm", "<TSOUTPUT>[#depth#]</TSOUTPUT>");
    Write("page.tsm", "<TSSET depth = 7><TSINCLUDE TEMPLATE=\"outer.tsm\">");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "{[7]}");
    ExpectGoodPage();
}

TEST_F(ParserReusePage, PagesOnAnotherThreadGiveTheSamePage) {
    ExpectGoodPage();
    PageOutcome other;
    std::thread([&] {
        for (int i = 0; i < 3; ++i) other = RunPage<CQueryPage>(Script("/page.tsm"));
    }).join();
    ASSERT_FALSE(other.failed) << other.title << other.detail;
    EXPECT_EQ(other.body, kGoodBody);
    ExpectGoodPage();
}

}  // namespace
