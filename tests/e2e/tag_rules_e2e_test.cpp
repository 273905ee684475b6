// Rules of single tags through the whole road (lighttpd -> ksml -> tsengine): conditional
// branches, replies that replace the page, cookie names on every road that sets a cookie,
// and what a failed query shows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "site_test.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class TagRulesThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
};

TEST_F(TagRulesThroughWebServer, EveryElseOfAConditionRunsWhenNoBranchBeforeItDid) {
    struct Case {
        const char* page;
        const char* body;
    } cases[] = {
        {"<TSIF FALSE>a<TSELSE>b<TSELSE>c</TSIF>", "bc"},
        {"<TSIF TRUE>a<TSELSE>b<TSELSE>c</TSIF>", "a"},
        {"<TSIF FALSE>a<TSELSEIF TRUE>b<TSELSE>c<TSELSE>d</TSIF>", "b"},
        {"<TSIF FALSE><TSIF FALSE>a<TSELSE>b<TSELSE>c</TSIF><TSELSE>d</TSIF>", "d"},
    };
    for (const Case& c : cases) {
        auto response = Page("else.tsm", c.page);
        EXPECT_EQ(response.status, 200) << c.page << response.error;
        EXPECT_EQ(response.body, c.body) << c.page;
    }
    // Without an open TSIF an else still does not match anything.
    for (const char* page : {"a<TSELSE>b", "<TSIF TRUE>a</TSIF><TSELSE>b"}) {
        auto lone = Page("lone.tsm", page);
        EXPECT_EQ(lone.status, 500) << page;
        EXPECT_THAT(lone.body, HasSubstr("tags in this template are not properly matched")) << page;
    }
}

TEST_F(TagRulesThroughWebServer, RedirectsAndFileRepliesCarryNoDebugFooters) {
    // The footers are on for this client: a plain page shows them.
    auto plain = Page("plain.tsm", "plain", "MODE=DEBUG");
    ASSERT_THAT(plain.body, HasSubstr("<B>Execution Time</B>"));
    ASSERT_THAT(plain.body, HasSubstr("<B>Parameters</B>"));

    auto moved = Page("moved.tsm", "<TSLOCATION URL=\"/plain.tsm\">", "MODE=DEBUG");
    EXPECT_EQ(moved.Header("Location").rfind("/plain.tsm", 0), 0u) << moved.headers;
    EXPECT_THAT(moved.body, Not(HasSubstr("Execution Time")));
    EXPECT_THAT(moved.body, Not(HasSubstr("Parameters")));

    site.WriteDocument("data/file.txt", "just the file\n");
    auto file = Page("file.tsm",
                     "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + site.document_root() + "/data/file.txt\">after",
                     "MODE=DEBUG");
    EXPECT_EQ(file.status, 200) << file.error;
    EXPECT_EQ(file.body, "just the file\n");
}

TEST_F(TagRulesThroughWebServer, CookieNamesAreCheckedOnEveryRoad) {
    auto good = Page("good.tsm", "<TSSET Cookie.flavour = \"mint\"><TSPARAM NAME=\"Cookie.size\" DEFAULT=\"2\">ok");
    EXPECT_EQ(good.body, "ok") << good.body;
    EXPECT_EQ(e2e::CookieValue(good, "FLAVOUR"), "mint") << good.headers;
    EXPECT_EQ(e2e::CookieValue(good, "SIZE"), "2") << good.headers;

    for (const char* name : {"a;b", "a,b", "a=b"}) {
        auto bad = Page("bad.tsm", std::string("<TSPARAM NAME=\"Cookie.") + name + "\" DEFAULT=\"x\">ok");
        EXPECT_EQ(bad.status, 500) << name;
        EXPECT_THAT(bad.body, HasSubstr("contains a character that is not allowed there")) << name;
        EXPECT_TRUE(bad.Headers("Set-Cookie").empty()) << name << bad.headers;
    }
}

TEST_F(TagRulesThroughWebServer, AQueryThatCannotConnectShowsItsSql) {
    auto response = Page("nodsn.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"e2e_no_such_source\">SELECT 1 AS one</TSQUERY>");
    EXPECT_EQ(response.status, 500) << response.error;
    EXPECT_THAT(response.body, HasSubstr("SQL = \"SELECT 1 AS one\""));
    EXPECT_THAT(response.body, HasSubstr("Data Source = \"e2e_no_such_source\""));
}

}  // namespace
