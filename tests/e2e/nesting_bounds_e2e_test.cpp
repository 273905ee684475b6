// What a template nests (output sections, included files) is bounded: past the bound the
// page is an error page and the engine goes on serving, through the whole road
// (lighttpd -> ksml -> tsengine).

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

constexpr const char* kDsn = "e2e_nesting";

class NestingBoundsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/nesting.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }

    // depth sections inside each other over a query of two groups; the innermost shows the group.
    static std::string NestedSections(int depth) {
        std::string page = "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                           "\">SELECT 'a' AS g UNION ALL SELECT 'b'</TSQUERY><TSOUTPUT QUERY=\"q\" GROUP=\"g\">";
        for (int i = 2; i < depth; ++i) page += "<TSOUTPUT GROUP=\"g\">";
        page += "<TSOUTPUT>[#g#]";
        for (int i = 0; i < depth; ++i) page += "</TSOUTPUT>";
        return page + "done";
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(NestingBoundsThroughWebServer, OutputSectionsDeeperThanTheBoundAreAnErrorPage) {
    auto bounded = Page("bounded.tsm", NestedSections(1000));
    ASSERT_EQ(bounded.status, 200) << bounded.error << bounded.body.substr(0, 500);
    EXPECT_EQ(bounded.body, "[a][b]done");

    const pid_t engine = site.EnginePid();
    for (int depth : {1001, 15000}) {
        auto deeper = Page("deeper.tsm", NestedSections(depth));
        ASSERT_EQ(deeper.status, 500) << depth << deeper.error;
        EXPECT_THAT(deeper.body, HasSubstr("An error occurred while attempting to process a TSOUTPUT tag."))
            << deeper.body.substr(0, 500);
        EXPECT_THAT(deeper.body, HasSubstr("would be nested inside 1000 other sections")) << deeper.body.substr(0, 500);
        EXPECT_THAT(deeper.body, Not(HasSubstr("[a]")));
    }
    // The same engine answers the next request.
    EXPECT_EQ(site.Get("/bounded.tsm").body, "[a][b]done");
    EXPECT_EQ(site.EnginePid(), engine);
}

TEST_F(NestingBoundsThroughWebServer, IncludesDeeperThanTheBoundAreAnErrorPage) {
    for (int i = 0; i < 100; ++i)
        site.WriteDocument("inc" + std::to_string(i) + ".tsm",
                           "<TSINCLUDE TEMPLATE=\"inc" + std::to_string(i + 1) + ".tsm\">");
    site.WriteDocument("inc100.tsm", "leaf");
    auto bounded = site.Get("/inc1.tsm");
    ASSERT_EQ(bounded.status, 200) << bounded.error << bounded.body.substr(0, 500);
    EXPECT_EQ(bounded.body, "leaf");
    auto deeper = site.Get("/inc0.tsm");
    ASSERT_EQ(deeper.status, 500) << deeper.error;
    EXPECT_THAT(deeper.body, HasSubstr("Template file includes nested too deeply.")) << deeper.body.substr(0, 500);
    EXPECT_EQ(site.Get("/inc1.tsm").body, "leaf");
}

}  // namespace
