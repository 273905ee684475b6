// Expressions and variable scopes through the whole road: lighttpd -> ksml -> tsengine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "e2e_site.h"

namespace {

using ::testing::HasSubstr;

class ExpressionsThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        for (const char* name : {"variables", "cgi", "url", "yes", "no"})
            site.WriteDocument(std::string(name) + ".tsm", name);
    }

    std::string Body(const std::string& target) {
        auto page = site.Get(target);
        EXPECT_EQ(page.status, e2e::StatusOfPage(page.body)) << page.error << site.WebServerLog();
        return page.body;
    }

    e2e::Site site;
};

TEST_F(ExpressionsThroughWebServer, ScopesResolveInOrder) {
    site.WriteDocument("set.tsm", "<TSSET Color=\"variables\"><TSINCLUDE TEMPLATE=\"#Color#.tsm\">");
    EXPECT_EQ(Body("/set.tsm?Color=url"), "variables");
    site.WriteDocument("plain.tsm", "<TSINCLUDE TEMPLATE=\"#Color#.tsm\">");
    EXPECT_EQ(Body("/plain.tsm?Color=url"), "url");
    // A CGI variable comes before a URL parameter of the same name.
    site.WriteDocument("method.tsm", "<TSIF REQUEST_METHOD IS 'GET'><TSINCLUDE TEMPLATE=\"cgi.tsm\"></TSIF>");
    EXPECT_EQ(Body("/method.tsm?REQUEST_METHOD=url"), "cgi");
}

TEST_F(ExpressionsThroughWebServer, ConditionsAndErrors) {
    site.WriteDocument("if.tsm",
                       "<TSIF 5 GREATER THAN 3 AND NOT 0 AND 2^10 IS 1024 AND \"abc\" IS \"ABC\">"
                       "<TSINCLUDE TEMPLATE=\"yes.tsm\"><TSELSE><TSINCLUDE TEMPLATE=\"no.tsm\"></TSIF>");
    EXPECT_EQ(Body("/if.tsm"), "yes");
    site.WriteDocument("div.tsm", "<TSIF 1 / 0>x</TSIF>");
    const std::string failed = Body("/div.tsm");
    EXPECT_THAT(failed, HasSubstr("An error has occurred while processing the expression:"));
    EXPECT_THAT(failed, HasSubstr("Division by zero is not allowed"));
    site.WriteDocument("missing.tsm", "<TSIF URL.nothing>x</TSIF>");
    const std::string missing = Body("/missing.tsm");
    EXPECT_THAT(missing, HasSubstr("The URL parameter NOTHING was not found."));
}

}  // namespace
