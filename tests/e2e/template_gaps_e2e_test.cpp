// Through the whole road (lighttpd -> ksml -> tsengine): the open TSQUERY block,
// client variables over several requests, and the application's own error pages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using e2e::CookieValue;

class TemplatePagesThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
};

TEST_F(TemplatePagesThroughWebServer, ClientIsCountedOnEveryVisitAndItsCookiesResent) {
    site.WriteDocument("visit.tsm",
                       "<TSAPPLICATION NAME=\"shop\" CLIENTMANAGEMENT=\"YES\">"
                       "<TSOUTPUT>#CLIENT.HITCOUNT#;#CLIENT.LASTVISIT#;#CLIENT.URLTOKEN#</TSOUTPUT>");
    auto first = site.Get("/visit.tsm");
    ASSERT_EQ(first.status, 200) << first.error << site.WebServerLog();
    std::string token = CookieValue(first, "TSTOKEN");
    ASSERT_FALSE(token.empty()) << first.headers;
    EXPECT_EQ(first.body.substr(0, 8), "1;{ts '2") << first.body;
    EXPECT_THAT(first.body, HasSubstr("'};TSID=1&TSTOKEN=" + token));

    // By cookie, then by URL parameters: the same client, one more hit each time,
    // and the identifying cookies come back with each reply.
    auto byCookie = e2e::HttpRequest(site.port(), "GET", "/visit.tsm", {"Cookie: TSID=1; TSTOKEN=" + token});
    EXPECT_EQ(byCookie.body.substr(0, 2), "2;") << byCookie.body;
    EXPECT_EQ(CookieValue(byCookie, "TSID"), "1") << byCookie.headers;
    EXPECT_EQ(CookieValue(byCookie, "TSTOKEN"), token);
    auto byUrl = site.Get("/visit.tsm?TSID=1&TSTOKEN=" + token);
    EXPECT_EQ(byUrl.body.substr(0, 2), "3;") << byUrl.body;
    EXPECT_EQ(CookieValue(byUrl, "TSID"), "1") << byUrl.headers;

    // Without the tag the client is neither opened nor told its id.
    auto plain = Page("plain.tsm", "no client", "TSID=1&TSTOKEN=" + token);
    EXPECT_EQ(plain.body, "no client");
    EXPECT_TRUE(plain.Headers("Set-Cookie").empty()) << plain.headers;
}

TEST_F(TemplatePagesThroughWebServer, ApplicationErrorPagesReplaceTheEnginesPages) {
    site.WriteDocument("shop/Application.tsm",
                       "<TSERROR TYPE=\"Validation\" TEMPLATE=\"invalid.htm\">"
                       "<TSERROR TYPE=\"Request\" TEMPLATE=\"oops.htm\" MAILTO=\"web@example.com\">");
    site.WriteDocument("shop/invalid.htm", "<H1>Please correct</H1>#ERROR.INVALIDFIELDS#");
    site.WriteDocument("shop/oops.htm", "Oops [#ERROR.DIAGNOSTICS#] mail #ERROR.MAILTO# query [#ERROR.QUERYSTRING#]");
    site.WriteDocument("shop/order.tsm", "ordered<TSPARAM NAME=\"item\">");

    const std::string bad = "QTY=many&QTY_INTEGER=";
    auto invalid = e2e::HttpRequest(site.port(), "POST", "/shop/order.tsm",
                                    {"Content-Type: application/x-www-form-urlencoded"}, bad);
    ASSERT_EQ(invalid.status, 200) << invalid.error << site.WebServerLog();
    EXPECT_EQ(invalid.body.rfind("<H1>Please correct</H1><UL><LI>", 0), 0u) << invalid.body;
    EXPECT_THAT(invalid.body, HasSubstr("(you entered 'many')"));
    EXPECT_THAT(invalid.body, Not(HasSubstr("ordered")));

    auto failed = site.Get("/shop/order.tsm?x=%3Ci%3E");
    // The application's own error page still reports the failure.
    ASSERT_EQ(failed.status, 500) << failed.error;
    EXPECT_EQ(failed.body.rfind("Oops [Required parameter <B>item</B> not found", 0), 0u) << failed.body;
    EXPECT_THAT(failed.body, HasSubstr("mail web@example.com query [x=%3Ci%3E]"));
    EXPECT_THAT(failed.body, Not(HasSubstr("Date/Time")));
    EXPECT_THAT(e2e::WithoutQuotedLines(failed.body), Not(HasSubstr("ordered")));

    auto good = site.Get("/shop/order.tsm?item=pen");
    EXPECT_EQ(good.body, "ordered");
}

constexpr const char* kDsn = "e2e_gaps";

class QueryBlockThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/gaps.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        site.WriteDocument("setup.tsm", Open("", "") + "CREATE TABLE people (id INTEGER, name VARCHAR(20))</TSQUERY>" +
                                            Open("", "") +
                                            "INSERT INTO people VALUES (1, 'Ann'), (2, 'Bob'), (3, 'Cy')"
                                            "</TSQUERY>ready");
        auto setup = site.Get("/setup.tsm");
        ASSERT_EQ(setup.body, "ready") << setup.error << setup.body << site.WebServerLog();
    }

    static std::string Open(const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"" + kDsn + "\"" +
               (sql.empty() ? std::string() : " SQL=\"" + sql + "\"") + ">";
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(QueryBlockThroughWebServer, ConditionsInsideTheBlockShapeTheStatement) {
    auto page = Page("pick.tsm", "<TSPARAM NAME=\"id\" DEFAULT=\"0\">" + Open("q", "") +
                                     "SELECT name FROM people <TSIF id GT 0>WHERE id = #id# </TSIF>"
                                     "ORDER BY id</TSQUERY><TSOUTPUT QUERY=\"q\">#name#,</TSOUTPUT>");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "Ann,Bob,Cy,");
    EXPECT_EQ(site.Get("/pick.tsm?id=2").body, "Bob,");
}

TEST_F(QueryBlockThroughWebServer, ReferenceToTheOpenQueryRunsIt) {
    auto page = Page("count.tsm", Open("people", "SELECT name FROM people") +
                                      "<TSIF people.RECORDCOUNT GT 2>several<TSELSE>few</TSIF>");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "several");

    // Closed by another tag: its text is written as it stands.
    auto closed = Page("closed.tsm", Open("q", "SELECT name FROM people WHERE id = 1") +
                                         "<B>raw</B><TSOUTPUT QUERY=\"q\">#name#</TSOUTPUT>");
    EXPECT_EQ(closed.body, "<B>raw</B>Ann");
}

}  // namespace
