// Database-driven templates through the whole road: browser -> lighttpd -> ksml -> tsengine,
// with a SQLite data source registered for the engine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"

namespace {

using e2e::CookieValue;

using ::testing::HasSubstr;

constexpr const char* kDsn = "e2e_people";

class CoreTagsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/people.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();

        site.WriteDocument("setup.tsm",
                           Query("", "CREATE TABLE people (id INTEGER, name VARCHAR(20), region VARCHAR(5))") +
                               Query("", "INSERT INTO people VALUES (1, 'Ann', 'A')") +
                               Query("", "INSERT INTO people VALUES (2, 'Bob', 'A')") +
                               Query("", "INSERT INTO people VALUES (3, 'Cy', 'B')") + "ready");
        auto setup = site.Get("/setup.tsm");
        ASSERT_EQ(setup.status, 200) << setup.error << site.WebServerLog();
        ASSERT_EQ(setup.body, "ready") << setup.body;
    }

    static std::string Query(const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"" + kDsn +
               "\">" + sql + "</TSQUERY>";
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(CoreTagsThroughWebServer, QueryRowsGroupsLoopsAndConditions) {
    auto list = Page("list.tsm",
                     Query("q", "SELECT name FROM people ORDER BY id") + "<TSOUTPUT QUERY=\"q\">#name#,</TSOUTPUT>");
    ASSERT_EQ(list.status, 200) << list.error;
    EXPECT_EQ(list.body, "Ann,Bob,Cy,");

    auto grouped = Page("group.tsm",
                        Query("q", "SELECT name, region FROM people ORDER BY region, id") +
                            "<TSOUTPUT QUERY=\"q\" GROUP=\"region\">#region#(<TSOUTPUT>#name# </TSOUTPUT>)</TSOUTPUT>");
    EXPECT_EQ(grouped.body, "A(Ann Bob )B(Cy )");

    auto loops =
        Page("loops.tsm", Query("q", "SELECT id, name FROM people ORDER BY id") +
                              "<TSLOOP QUERY=\"q\"><TSIF #id# GT 2>big<TSELSEIF #name# IS \"Bob\">bob"
                              "<TSELSE>other</TSIF>,</TSLOOP>|"
                              "<TSLOOP LIST=\"x;y\" DELIMITERS=\";\" INDEX=\"v\"><TSOUTPUT>#v#</TSOUTPUT></TSLOOP>|"
                              "<TSSET n = 0><TSLOOP CONDITION=\"n LT 2\"><TSSET n = n + 1>c</TSLOOP>|"
                              "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSOUTPUT>#i#</TSOUTPUT></TSLOOP>");
    EXPECT_EQ(loops.body, "other,bob,big,|xy|cc|123");
}

TEST_F(CoreTagsThroughWebServer, LoopEndingTheTemplateRunsEveryIteration) {
    auto response = Page("end.tsm", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\">x</TSLOOP>");
    ASSERT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.body, "xxx");
}

TEST_F(CoreTagsThroughWebServer, VariableSetAndUsedInAQuery) {
    auto response = Page("set.tsm",
                         "<TSSET who = URL.who>" + Query("q", "SELECT id FROM people WHERE name = '#who#'") +
                             "<TSOUTPUT QUERY=\"q\">#id#</TSOUTPUT>",
                         "who=Cy");
    EXPECT_EQ(response.body, "3");
    // A quote in the value stays inside the literal.
    auto quoted = site.Get("/set.tsm?who=O%27Neil");
    EXPECT_EQ(quoted.status, 200);
    EXPECT_EQ(quoted.body, "");
}

TEST_F(CoreTagsThroughWebServer, ClientVariablesAreKeptByCookieAndForgedTokensRefused) {
    site.WriteDocument(
        "client.tsm",
        "<TSAPPLICATION NAME=\"shop\" CLIENTMANAGEMENT=\"yes\"><TSPARAM NAME=\"Client.visits\" DEFAULT=\"0\">"
        "<TSSET Client.visits = Client.visits + 1><TSOUTPUT>#Client.visits#/#Client.TSID#</TSOUTPUT>");
    auto first = site.Get("/client.tsm");
    ASSERT_EQ(first.status, 200) << first.error;
    EXPECT_EQ(first.body, "1/1");
    std::string id = CookieValue(first, "TSID"), token = CookieValue(first, "TSTOKEN");
    ASSERT_EQ(id, "1") << first.headers;
    ASSERT_FALSE(token.empty()) << first.headers;

    auto second = e2e::HttpRequest(site.port(), "GET", "/client.tsm", {"Cookie: TSID=1; TSTOKEN=" + token});
    EXPECT_EQ(second.body, "2/1");

    auto forged = e2e::HttpRequest(site.port(), "GET", "/client.tsm", {"Cookie: TSID=1; TSTOKEN=" + token + "0"});
    EXPECT_EQ(forged.body, "1/2");
    EXPECT_EQ(CookieValue(forged, "TSID"), "2");
}

TEST_F(CoreTagsThroughWebServer, RedirectKeepsCookiesAndAbortStops) {
    auto redirect = Page("go.tsm", "<TSCOOKIE NAME=\"flavour\" VALUE=\"mint\">x<TSLOCATION URL=\"/done.html\">y");
    EXPECT_EQ(redirect.status, 302) << redirect.headers << redirect.body;
    EXPECT_EQ(redirect.Header("Location"), "/done.html");
    EXPECT_EQ(CookieValue(redirect, "FLAVOUR"), "mint") << redirect.headers;

    auto aborted = Page("abort.tsm", "<TSHEADER NAME=\"X-Test\" VALUE=\"one\">before<TSABORT>after");
    EXPECT_EQ(aborted.body, "before");
    EXPECT_EQ(aborted.Header("X-Test"), "one");
}

TEST_F(CoreTagsThroughWebServer, ParamDefaultsMissingParamsAndCustomErrorPage) {
    auto param = Page("param.tsm", "<TSPARAM NAME=\"x\" DEFAULT=\"dflt\"><TSOUTPUT>#x#</TSOUTPUT>");
    EXPECT_EQ(param.body, "dflt");
    EXPECT_EQ(site.Get("/param.tsm?x=given").body, "given");

    auto missing = Page("missing.tsm", "<TSPARAM NAME=\"needed\">");
    EXPECT_THAT(missing.body, HasSubstr("Required parameter <B>needed</B> not found"));

    site.WriteDocument("oops.htm", "Custom: [#ERROR.QUERYSTRING#]");
    auto custom =
        Page("custom.tsm", "<TSERROR TYPE=\"Request\" TEMPLATE=\"oops.htm\"><TSPARAM NAME=\"needed\">", "a=%3Cb%3E");
    EXPECT_EQ(custom.body, "Custom: [a=%3Cb%3E]");
}

}  // namespace

namespace {

TEST_F(CoreTagsThroughWebServer, NullsAndVeryLongTextComeBackWhole) {
    auto response = Page("long.tsm", Query("q",
                                           "SELECT NULL AS empty, replace(hex(zeroblob(100000)), '00', 'ab') AS big, "
                                           "'a<b>&\"' AS odd") +
                                         "<TSOUTPUT QUERY=\"q\">[#empty#][#big#][#odd#]</TSOUTPUT>");
    ASSERT_EQ(response.status, 200) << response.error;
    std::string big;
    for (int i = 0; i < 100000; ++i) big += "ab";
    EXPECT_EQ(response.body, "[][" + big + "][a<b>&\"]") << response.body.substr(0, 300);
}

TEST_F(CoreTagsThroughWebServer, SelfIncludeUnderAnotherPathIsRefusedAndTheEngineStaysUp) {
    auto self = Page("self.tsm", "x<TSINCLUDE TEMPLATE=\"./self.tsm\">");
    ASSERT_EQ(self.status, 500) << self.error;
    EXPECT_THAT(self.body, HasSubstr("Recursive template file includes not permitted.")) << self.body.substr(0, 300);
    auto after = Page("after.tsm", "fine");
    EXPECT_EQ(after.body, "fine");
}

}  // namespace
