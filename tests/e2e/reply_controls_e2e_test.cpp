// Control characters a request puts into what a template sends as headers (TSHEADER,
// TSCONTENT, TSLOCATION, TSCOOKIE), through the whole road (browser -> lighttpd -> ksml -> tsengine):
// each one refuses its tag with the engine's error page, which names the tag, and nothing of
// it reaches the reply's headers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "site_test.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ReplyControls : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
    // The page run with the form field v, posted url-encoded as given.
    e2e::HttpResponse Post(const std::string& file, const std::string& encodedValue) {
        return e2e::HttpRequest(site.port(), "POST", "/" + file, {"Content-Type: application/x-www-form-urlencoded"},
                                "v=" + encodedValue);
    }
};

TEST_F(ReplyControls, ControlCharactersRefuseHeadersRedirectsAndCookies) {
    struct Tag {
        const char* file;
        const char* text;
        const char* title;  // the error page's heading
    } const tags[] = {
        {"value.tsm", "<TSHEADER NAME=\"X-Probe\" VALUE=\"a#FORM.v#b\">page", "Invalid TSHEADER tag"},
        {"name.tsm", "<TSHEADER NAME=\"X-#FORM.v#Probe\" VALUE=\"1\">page", "Invalid TSHEADER tag"},
        {"type.tsm", "<TSCONTENT TYPE=\"text/probe#FORM.v#\">page", "Invalid TSCONTENT tag"},
        {"location.tsm", "<TSLOCATION URL=\"/next.html?x=#FORM.v#\">", "Invalid TSLOCATION tag"},
        {"path.tsm", "<TSCOOKIE NAME=\"probe\" VALUE=\"1\" PATH=\"/a#FORM.v#b\">page",
         "Invalid TSCOOKIE PATH attribute"},
        {"domain.tsm", "<TSCOOKIE NAME=\"probe\" VALUE=\"1\" DOMAIN=\"example.com#FORM.v#\">page",
         "Invalid TSCOOKIE DOMAIN attribute"},
        {"cookie.tsm", "<TSCOOKIE NAME=\"pro#FORM.v#be\" VALUE=\"1\">page", "Invalid TSCOOKIE NAME attribute"},
    };
    struct Character {
        const char* encoded;
        const char* name;
    } const characters[] = {
        {"%0B", "VT"},  {"%0C", "FF"},  {"%C2%85", "NEL"}, {"%85", "NEL"}, {"%00", "NUL"},
        {"%7F", "DEL"}, {"%1B", "ESC"}, {"%09", "TAB"},    {"%01", "SOH"}, {"%C2%9B", "U+009B"},
    };
    for (const Tag& tag : tags) {
        site.WriteDocument(tag.file, tag.text);
        for (const Character& c : characters) {
            const std::string what = std::string(tag.file) + " with " + c.name;
            auto response = Post(tag.file, c.encoded);
            EXPECT_EQ(response.status, 500) << what << "\n" << response.body;
            EXPECT_THAT(response.body, HasSubstr(tag.title)) << what;
            EXPECT_THAT(response.body, HasSubstr(std::string("holds a control character (") + c.name + ")")) << what;
            EXPECT_EQ(response.Header("X-Probe"), "") << what;
            EXPECT_TRUE(response.Headers("Set-Cookie").empty()) << what;
            EXPECT_EQ(response.Header("Location"), "") << what;
            EXPECT_THAT(response.headers, Not(HasSubstr("probe"))) << what;
        }
    }
    // At either end of a header's name or value white space is trimmed, as before; line breaks
    // keep the value on its line; text beyond ASCII passes unchanged.
    site.WriteDocument("trimmed.tsm", "<TSHEADER NAME=\"X-Probe#FORM.v#\" VALUE=\"#FORM.v#1#FORM.v#\">page");
    for (const char* space : {"%0B", "%0C", "%09"}) {
        auto trimmed = Post("trimmed.tsm", space);
        EXPECT_EQ(trimmed.status, 200) << space << trimmed.body;
        EXPECT_EQ(trimmed.Header("X-Probe"), "1") << space;
    }
    auto folded = Post("value.tsm", "1%0D%0ASet-Cookie:+x%3D1");
    EXPECT_EQ(folded.status, 200) << folded.body;
    EXPECT_EQ(folded.Header("X-Probe"), "a1Set-Cookie: x=1b");
    EXPECT_TRUE(folded.Headers("Set-Cookie").empty());
    auto utf8 = Post("value.tsm", "%C3%85ngstr%C3%B6m");
    EXPECT_EQ(utf8.status, 200) << utf8.body;
    EXPECT_EQ(utf8.Header("X-Probe"), "a\xC3\x85ngstr\xC3\xB6mb");
    auto type = Post("type.tsm", "%0D%0AX-Probe:+1");
    EXPECT_EQ(type.status, 200) << type.body;
    EXPECT_EQ(type.Header("Content-Type"), "text/probeX-Probe: 1");
    EXPECT_EQ(type.Header("X-Probe"), "");
    auto path = Post("path.tsm", "%C3%85");
    EXPECT_EQ(path.status, 200) << path.body;
    EXPECT_EQ(path.Headers("Set-Cookie"), std::vector<std::string>{"PROBE=1; path=/a\xC3\x85" "b; "});
}

}  // namespace
