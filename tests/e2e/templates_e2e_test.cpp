// Templates served through the whole road: lighttpd -> ksml -> tsengine.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "e2e_site.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
    EXPECT_EQ(page.body, plain);
    EXPECT_TRUE(Contains(page.Header("Content-type"), "text/html")) << page.headers;

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
    EXPECT_TRUE(std::regex_search(line, std::regex(R"(^VISIT=a\+b; expires=\w{3}, \d\d-\w{3}-\d\d \d\d:\d\d:\d\d GMT; path=/;)")))
        << cookie.headers;
}

TEST_F(TemplatesThroughWebServer, ErrorsAnswerWithTheirPages) {
    site.WriteDocument("bad.tsm", "<P>one\n<P>two\n<TSINCLUDE TEMPLATE=\"x.tsm\"\n");
    auto bad = site.Get("/bad.tsm");
    ASSERT_EQ(bad.status, 200) << bad.error;
    EXPECT_TRUE(Contains(bad.body, "An error occurred while attempting to process a TSINCLUDE tag.")) << bad.body;
    EXPECT_TRUE(Contains(bad.body, "The error occurred on (or near) line ")) << bad.body;
    EXPECT_TRUE(Contains(bad.body, "     3: &lt;TSINCLUDE TEMPLATE=&quot;x.tsm&quot;")) << bad.body;

    // The web server sees the file; the engine's mapping points elsewhere.
    ASSERT_TRUE(e2e::Site::SetSetting("Templates", "/MOVED/", site.home() + "/nowhere"));
    site.WriteDocument("moved/page.tsm", "never served");
    auto missing = site.Get("/moved/page.tsm");
    ASSERT_EQ(missing.status, 200) << missing.error;
    EXPECT_TRUE(Contains(missing.body, "/NOWHERE/PAGE.TSM</B> not found.")) << missing.body;
    EXPECT_FALSE(Contains(missing.body, "never served"));

    site.WriteDocument("form.tsm", "stored");
    std::string body = "AGE=x&AGE_INTEGER=&NAME_REQUIRED=";
    auto form = e2e::HttpRequest(site.port(), "POST", "/form.tsm",
                                 {"Content-Type: application/x-www-form-urlencoded"}, body);
    ASSERT_EQ(form.status, 200) << form.error;
    EXPECT_TRUE(Contains(form.body, "<H3>Form Entries Incomplete or Invalid</H3>")) << form.body;
    EXPECT_TRUE(Contains(form.body, "<LI>A value must be entered for the <B>Name</B> field.<P>"));
    EXPECT_TRUE(Contains(form.body, "(you entered 'x')"));
    EXPECT_FALSE(Contains(form.body, "stored"));

    site.WriteDocument("Application.tsm", "");
    auto reserved = site.Get("/Application.tsm");
    EXPECT_TRUE(Contains(reserved.body, "Invalid Request of <B>APPLICATION.TSM</B> File")) << reserved.body;
}

}  // namespace
