// What the reduce dispatch runs and what it passes over: skipped loop bodies,
// attribute texts made of several pieces.
#include <gmock/gmock.h>

#include <string>

#include "engine/templates/template_page.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class GrammarGates : public TemplateSite {
protected:
    PageOutcome Run(const std::string& text) {
        Write("page.tsm", text);
        return RunPage<CQueryPage>(Script("/page.tsm"));
    }
};

TEST_F(GrammarGates, TagsInASkippedLoopBodyDoNotRun) {
    PageOutcome out =
        Run("<TSSET x = 1><TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\">body<TSSET x = 2>"
            "<TSCOOKIE NAME=\"inner\" VALUE=\"v\"></TSLOOP><TSCOOKIE NAME=\"x\" VALUE=\"#x#\">after");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "after");
    EXPECT_THAT(out.headers, HasSubstr("Set-Cookie: X=1; path=/; "));
    EXPECT_THAT(out.headers, Not(HasSubstr("INNER")));
}

TEST_F(GrammarGates, QuotedAttributeWithDoubledQuotesIsOneText) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\"\"b", "a%22b"},
        {"\"\"", "%22"},
        {"a\"\"\"\"b", "a%22%22b"},
        {"", ""},
    };
    for (const auto& [attribute, encoded] : cases) {
        PageOutcome out = Run(std::string("<TSCOOKIE NAME=\"c\" VALUE=\"") + attribute + "\">");
        ASSERT_FALSE(out.failed) << attribute << ": " << out.title;
        EXPECT_THAT(out.headers, HasSubstr(std::string("Set-Cookie: C=") + encoded + "; path=/; ")) << attribute;
    }
}

}  // namespace
