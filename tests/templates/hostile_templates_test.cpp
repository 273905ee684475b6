// Templates an author could write by mistake or on purpose: very deep nesting,
// enormous values. Each ends in a page, never a crash.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/template_page.h"
#include "support/quoted_excerpt.h"
#include "template_test_site.h"
#include "tests/common/web_error_capture.h"

namespace {

using ::testing::HasSubstr;

class HostileTemplates : public TemplateSite {};

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

TEST_F(HostileTemplates, DeeplyNestedConditionalsAndLoops) {
    const int depth = 20000;
    Write("ifs.tsm", Repeat("<TSIF TRUE>", depth) + "in" + Repeat("</TSIF>", depth));
    PageOutcome out = RunPage<CQueryPage>(Script("/ifs.tsm"));
    ASSERT_FALSE(out.failed) << out.title.substr(0, 300);
    EXPECT_EQ(out.body, "in");

    Write("loops.tsm", Repeat("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"1\">", 2000) + "in" + Repeat("</TSLOOP>", 2000));
    out = RunPage<CQueryPage>(Script("/loops.tsm"));
    ASSERT_FALSE(out.failed) << out.title.substr(0, 300);
    EXPECT_EQ(out.body, "in");

    // Left open at the end: the mismatch page.
    Write("open.tsm", Repeat("<TSIF TRUE>", depth) + "in");
    out = RunPage<CQueryPage>(Script("/open.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("are not properly matched")) << out.title.substr(0, 300);
}

TEST_F(HostileTemplates, IncludesNestDeeperThanTheBoundEndInAnErrorPage) {
    // inc0 includes inc1, ... inc99 includes inc100, which is the leaf.
    for (int i = 0; i < 100; ++i)
        Write("inc" + std::to_string(i) + ".tsm", "<TSINCLUDE TEMPLATE=\"inc" + std::to_string(i + 1) + ".tsm\">");
    Write("inc100.tsm", "leaf");
    PageOutcome bounded = RunPage<CQueryPage>(Script("/inc1.tsm"));
    ASSERT_FALSE(bounded.failed) << bounded.title.substr(0, 300);
    EXPECT_EQ(bounded.body, "leaf");

    PageOutcome deeper = RunPage<CQueryPage>(Script("/inc0.tsm"));
    ASSERT_TRUE(deeper.failed);
    EXPECT_EQ(deeper.title, "Template file includes nested too deeply.<P>");
    EXPECT_THAT(deeper.detail, HasSubstr("inc100.tsm may not be included because 100 template files are already"))
        << deeper.detail.substr(0, 400);
    EXPECT_THAT(deeper.detail, HasSubstr("The specific sequence of files processed/included is as follows"));
}

TEST_F(HostileTemplates, EnormousAttributeValueIsKeptWhole) {
    std::string value(4 * 1024 * 1024, 'v');
    Write("big.tsm", "<TSSET x = \"" + value + "\">done");
    PageOutcome out = RunPage<CQueryPage>(Script("/big.tsm"));
    ASSERT_FALSE(out.failed) << out.title.substr(0, 300);
    EXPECT_EQ(out.body, "done");
    // As a cookie it would pass what a web server takes from a CGI program: refused.
    Write("cookie.tsm", "<TSCOOKIE NAME=\"c\" VALUE=\"" + value + "\">done");
    out = RunPage<CQueryPage>(Script("/cookie.tsm"));
    EXPECT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("Invalid TSCOOKIE tag")) << out.title.substr(0, 300);
}

TEST(HostileConditionals, MismatchListingStaysBoundedWithLongConditions) {
    CIfBlockStack ifs([](const std::string&) { return true; });
    const std::string condition(100000, 'c');
    for (int i = 0; i < 200; ++i) {
        ifs.If(condition);
        ifs.EndIf();
    }
    Thrown stray = WebErrorOf([&] { ifs.EndIf(); });
    EXPECT_LT(stray.message.size(), std::size_t{3} << 20);
    // Each tag by its start, as a message quotes a long text.
    EXPECT_THAT(stray.message, HasSubstr("&lt;TSIF " + condition.substr(0, kMaxQuotedBytes - std::string("<TSIF ").size()) +
                                         "...\n  &lt;/TSIF&gt;\n"));
}

}  // namespace
