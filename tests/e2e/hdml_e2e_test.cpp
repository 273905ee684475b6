// Replies of type application/x-hdmlc through the whole road: the engine compiles the page
// into a deck with the generator library beside it, or answers with the error page.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "site_test.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class HdmlThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
};

TEST_F(HdmlThroughWebServer, AValidPageAnswersWithTheCompiledDeck) {
    auto response = Page("deck.tsm",
                         "<TSCONTENT TYPE=\"application/x-hdmlc\"><HDML VERSION=3.0>\n"
                         "<DISPLAY NAME=main>Hello <TSOUTPUT>#URL.who#</TSOUTPUT>\n</DISPLAY></HDML>\n",
                         "who=Ann");
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_EQ(response.Header("Content-type"), "application/x-hdmlc") << response.headers;
    ASSERT_GE(response.body.size(), 6u);
    EXPECT_EQ(response.body.substr(0, 6), std::string("\x89HDC\x01\x00", 6));
    EXPECT_THAT(response.body, HasSubstr(std::string("\x00\x09Hello Ann", 11)));
    EXPECT_THAT(site.ReadHomeFile("log/SERVER.LOG"), Not(HasSubstr("could not be located")));
}

TEST_F(HdmlThroughWebServer, ABadPageAnswersWithTheEscapedErrorPage) {
    auto response = Page("bad.tsm",
                         "<TSCONTENT TYPE=\"application/x-hdmlc\"><HDML><DISPLAY><TSOUTPUT>#URL.x#</TSOUTPUT>"
                         "</DISPLAY></HDML>",
                         "x=%3C/PRE%3E%3Cscript%3E");
    ASSERT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.Header("Content-type"), "text/html; charset=utf-8") << response.headers;
    EXPECT_EQ(response.body.rfind("<HTML><BODY>\n\n<H3>HDML Syntax Error(s) Occurred:</H3><UL>\n", 0), 0u)
        << response.body;
    EXPECT_THAT(response.body, HasSubstr("<LI>Line 1, column 1: Missing required attribute VERSION in &lt;HDML&gt;\n"));
    EXPECT_THAT(response.body, HasSubstr("&lt;/PRE&gt;&lt;script&gt;"));
    EXPECT_THAT(response.body, Not(HasSubstr("<script>")));
    EXPECT_THAT(response.body, HasSubstr("</PRE></BODY></HTML>"));
}

TEST_F(HdmlThroughWebServer, APostedTextWithMillionsOfErrorsAnswersABoundedPageAndTheEngineLives) {
    site.WriteDocument("form.tsm",
                       "<TSCONTENT TYPE=\"application/x-hdmlc\"><HDML VERSION=3.0><DISPLAY><TSOUTPUT>#FORM.x#"
                       "</TSOUTPUT></DISPLAY></HDML>");
    const std::size_t ampersands = 1500000;
    std::string body = "x=";
    body.reserve(2 + 3 * ampersands);
    for (std::size_t k = 0; k < ampersands; ++k) body += "%26";
    auto response =
        e2e::HttpRequest(site.port(), "POST", "/form.tsm", {"Content-Type: application/x-www-form-urlencoded"}, body);
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    EXPECT_EQ(response.Header("Content-type"), "text/html; charset=utf-8") << response.headers;
    std::size_t items = 0;
    for (std::size_t at = response.body.find("<LI>"); at != std::string::npos; at = response.body.find("<LI>", at + 1))
        ++items;
    EXPECT_EQ(items, 101u);
    EXPECT_THAT(response.body, HasSubstr("<LI>Line 1, column 42: A '&amp;' must begin a character entity"));
    // One error per '&', and one for the length of the text.
    EXPECT_THAT(response.body, HasSubstr("<LI>1499901 more errors not listed\n</UL>"));
    // The page is the list and the escaped text, not a line per error.
    EXPECT_LT(response.body.size(), 5 * ampersands + 20000);

    // The same engine answers the next request.
    pid_t engine = site.EnginePid();
    auto next = Page("after.tsm", "still <TSOUTPUT>#1 + 1#</TSOUTPUT>");
    EXPECT_EQ(next.status, 200) << next.error;
    EXPECT_EQ(next.body, "still 2");
    EXPECT_EQ(site.EnginePid(), engine);
}

}  // namespace
