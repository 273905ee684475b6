// Templates served through the whole road: lighttpd -> ksml -> tsengine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e_site.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class TemplatesThroughWebServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }

    e2e::Site site;
};

TEST_F(TemplatesThroughWebServer, TemplatesRunInOnePass) {
    const std::string plain = "<HTML><BODY>\r\n<P>Only HTML & text, CR-LF lines\r\n</BODY></HTML>\r\n";
    site.WriteDocument("plain.tsm", plain);
    auto page = site.Get("/plain.tsm");
    ASSERT_EQ(page.status, 200) << page.error << site.WebServerLog();
    // Read in text mode: the CR of each CR LF is dropped.
    EXPECT_EQ(page.body, "<HTML><BODY>\n<P>Only HTML & text, CR-LF lines\n</BODY></HTML>\n");
    EXPECT_THAT(page.Header("Content-type"), HasSubstr("text/html")) << page.headers;

    site.WriteDocument("main.tsm", "<P>first\n<TSINCLUDE TEMPLATE=\"inc.tsm\">\n<P>last\n");
    site.WriteDocument("inc.tsm", "<P>included");
    auto included = site.Get("/main.tsm");
    ASSERT_EQ(included.status, 200) << included.error;
    EXPECT_EQ(included.body, "<P>first\n<P>included\n<P>last\n");

    site.WriteDocument("app/Application.tsm", "[application]");
    site.WriteDocument("app/sub/page.tsm", "[page]");
    auto application = site.Get("/app/sub/page.tsm");
    ASSERT_EQ(application.status, 200) << application.error;
    EXPECT_EQ(application.body, "[application][page]");

    site.WriteDocument("cookie.tsm", "<TSCOOKIE NAME=\"visit\" VALUE=\"a b\" EXPIRES=\"1/1/2030\">set");
    auto cookie = site.Get("/cookie.tsm");
    ASSERT_EQ(cookie.status, 200) << cookie.error;
    EXPECT_EQ(cookie.body, "set");
    std::string line = cookie.Header("Set-Cookie");
    EXPECT_TRUE(std::regex_search(
        line, std::regex(R"(^VISIT=a\+b; expires=\w{3}, \d\d-\w{3}-\d\d \d\d:\d\d:\d\d GMT; path=/;)")))
        << cookie.headers;
}

TEST_F(TemplatesThroughWebServer, ErrorsAnswerWithTheirPages) {
    site.WriteDocument("bad.tsm", "<P>one\n<P>two\n<TSINCLUDE TEMPLATE=\"x.tsm\"\n");
    auto bad = site.Get("/bad.tsm");
    // A failed request is not a success: the error page answers 500.
    ASSERT_EQ(bad.status, 500) << bad.error;
    EXPECT_THAT(bad.body, HasSubstr("An error occurred while attempting to process a TSINCLUDE tag."));
    EXPECT_THAT(bad.body, HasSubstr("The error occurred on (or near) line "));
    EXPECT_THAT(bad.body, HasSubstr("     3: &lt;TSINCLUDE TEMPLATE=&quot;x.tsm&quot;"));

    // The web server sees the file; the engine's mapping points elsewhere.
    ASSERT_TRUE(e2e::Site::SetSetting("Templates", "/MOVED/", site.home() + "/nowhere"));
    site.WriteDocument("moved/page.tsm", "never served");
    auto missing = site.Get("/moved/page.tsm");
    ASSERT_EQ(missing.status, 404) << missing.error;
    EXPECT_THAT(missing.body, HasSubstr("/nowhere/page.tsm</B> not found."));
    EXPECT_THAT(missing.body, Not(HasSubstr("never served")));

    site.WriteDocument("form.tsm", "stored");
    std::string body = "AGE=x&AGE_INTEGER=&NAME_REQUIRED=";
    auto form =
        e2e::HttpRequest(site.port(), "POST", "/form.tsm", {"Content-Type: application/x-www-form-urlencoded"}, body);
    ASSERT_EQ(form.status, 200) << form.error;
    EXPECT_THAT(form.body, HasSubstr("<H3>Form Entries Incomplete or Invalid</H3>"));
    EXPECT_THAT(form.body, HasSubstr("<LI>A value must be entered for the <B>Name</B> field.<P>"));
    EXPECT_THAT(form.body, HasSubstr("(you entered 'x')"));
    EXPECT_THAT(form.body, Not(HasSubstr("stored")));

    site.WriteDocument("Application.tsm", "");
    auto reserved = site.Get("/Application.tsm");
    EXPECT_THAT(reserved.body, HasSubstr("Invalid Request of <B>APPLICATION.TSM</B> File"));
}

}  // namespace

namespace {

TEST_F(TemplatesThroughWebServer, RangeRuleRefusesAValueNoNumberHolds) {
    site.WriteDocument("price.tsm", "<TSOUTPUT>PRICE=[#FORM.PRICE#]</TSOUTPUT>");
    auto post = [&](const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", "/price.tsm",
                                {"Content-Type: application/x-www-form-urlencoded"}, body);
    };
    auto wide = post("PRICE=1e300&PRICE_RANGE=MIN%3D1");
    ASSERT_EQ(wide.status, 200) << wide.error;
    EXPECT_THAT(wide.body, HasSubstr("<H3>Form Entries Incomplete or Invalid</H3>"));
    EXPECT_THAT(wide.body, HasSubstr("<LI>Data entered in the <B>Price</B> field must be a number (you entered "
                                     "'1e300').<P>"));
    EXPECT_THAT(wide.body, Not(HasSubstr("PRICE=[")));

    auto fits = post("PRICE=%2412.50&PRICE_RANGE=MIN%3D1");
    EXPECT_EQ(fits.body, "PRICE=[12.5]");
}

TEST_F(TemplatesThroughWebServer, HostileRequestValuesEndInPagesAndTheEngineStaysUp) {
    site.WriteDocument("echo.tsm", "<TSOUTPUT>[#FORM.x#]</TSOUTPUT>");
    std::string big;
    for (int i = 0; i < 50000; ++i) big += "a%3C%26";
    auto echo = e2e::HttpRequest(site.port(), "POST", "/echo.tsm", {"Content-Type: application/x-www-form-urlencoded"},
                                 "x=" + big);
    ASSERT_EQ(echo.status, 200) << echo.error;
    std::string expected;
    for (int i = 0; i < 50000; ++i) expected += "a<&";
    EXPECT_EQ(echo.body, "[" + expected + "]") << echo.body.substr(0, 200);

    site.WriteDocument("cookie.tsm", "<TSOUTPUT>[#COOKIE.b#]</TSOUTPUT>");
    auto odd = e2e::HttpRequest(site.port(), "GET", "/cookie.tsm", {"Cookie: a%zz=1; =2; ;; b=%"});
    ASSERT_EQ(odd.status, 200) << odd.error;
    EXPECT_EQ(odd.body, "[%]");

    site.WriteDocument("split.tsm", "<TSCOOKIE NAME=\"#FORM.n#\" VALUE=\"v\">set");
    auto split = e2e::HttpRequest(site.port(), "POST", "/split.tsm",
                                  {"Content-Type: application/x-www-form-urlencoded"}, "n=a%0D%0ASet-Cookie:%20evil=1");
    ASSERT_EQ(split.status, 500) << split.error;
    EXPECT_THAT(split.body, HasSubstr("Invalid TSCOOKIE NAME attribute")) << split.body.substr(0, 300);
    EXPECT_TRUE(split.Header("Set-Cookie").empty()) << split.headers;

    site.WriteDocument("fine.tsm", "fine");
    EXPECT_EQ(site.Get("/fine.tsm").body, "fine");
}

}  // namespace
