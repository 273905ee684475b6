// The page's variable scopes through the expression evaluator: the same name in
// several scopes resolves to the first scope in order, and TSSET assigns by prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/expressions/expression_driver.h"
#include "engine/expressions/random_state.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/template_page.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;

class PageScopes : public TemplateSite {
protected:
    void SetUp() override {
        TemplateSite::SetUp();
        for (const char* scope : {"variables", "cgi", "url", "form", "cookie"})
            Write(std::string(scope) + ".tsm", scope);
        Write("page.tsm", "<TSINCLUDE TEMPLATE=\"#Color#.tsm\">");
    }

    std::string RunWith(std::map<std::string, std::string> cgi, const std::string& body = {}) {
        if (!body.empty()) {
            cgi["REQUEST_METHOD"] = "POST";
            cgi["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
            cgi["CONTENT_LENGTH"] = std::to_string(body.size());
        }
        PageOutcome out = RunPage<CQueryPage>(cgi, body);
        return out.failed ? "failed: " + out.title + out.detail : out.body;
    }
};

TEST_F(PageScopes, FirstScopeInOrderWins) {
    auto all = Script("/page.tsm", "Color=url");
    all["HTTP_COLOR"] = "cgi";
    all["HTTP_COOKIE"] = "COLOR=cookie";
    const std::string form = "Color=form";
    EXPECT_EQ(RunWith(all, form), "cgi");
    Write("page.tsm", "<TSSET Color=\"variables\"><TSINCLUDE TEMPLATE=\"#Color#.tsm\">");
    EXPECT_EQ(RunWith(all, form), "variables");
    Write("page.tsm", "<TSINCLUDE TEMPLATE=\"#Color#.tsm\">");
    all.erase("HTTP_COLOR");
    EXPECT_EQ(RunWith(all, form), "url");
    all["QUERY_STRING"] = "";
    EXPECT_EQ(RunWith(all, form), "form");
    EXPECT_EQ(RunWith(all), "cookie");
    all.erase("HTTP_COOKIE");
    const std::string failed = RunWith(all);
    EXPECT_THAT(failed, HasSubstr("Error resolving parameter <B>Color</B>"));
    EXPECT_THAT(failed, HasSubstr("Tessaro was unable to determine the value of the parameter."));
}

TEST_F(PageScopes, PrefixedNamesAndAssignment) {
    Write("page.tsm", "<TSSET Cookie.Flavour=\"cookie\"><TSINCLUDE TEMPLATE=\"#Cookie.Flavour#.tsm\">");
    EXPECT_EQ(RunWith(Script("/page.tsm")), "cookie");
    Write("page.tsm", "<TSSET #Variables.X#=\"url\"><TSINCLUDE TEMPLATE=\"#x#.tsm\">");
    EXPECT_EQ(RunWith(Script("/page.tsm")), "url");
    Write("page.tsm", "<TSSET Form.X=\"1\">");
    const std::string refused = RunWith(Script("/page.tsm"));
    EXPECT_THAT(refused, HasSubstr("Unable to set variable <B>Form.X</B>"));
    Write("page.tsm", "<TSINCLUDE TEMPLATE=\"#URL.Missing#.tsm\">");
    const std::string missing = RunWith(Script("/page.tsm"));
    EXPECT_THAT(missing, HasSubstr("The URL parameter MISSING was not found."));
    Write("page.tsm", "<TSINCLUDE TEMPLATE=\"#CGI.Anything#url.tsm\">");
    EXPECT_EQ(RunWith(Script("/page.tsm")), "url");
}

TEST_F(PageScopes, ConditionsAndExpressionErrors) {
    Write("page.tsm", "<TSIF 2 GT 1 AND URL.n IS 'x'>yes<TSELSE>no</TSIF>");
    EXPECT_EQ(RunWith(Script("/page.tsm", "n=x")), "yes");
    EXPECT_EQ(RunWith(Script("/page.tsm", "n=y")), "no");
    Write("page.tsm", "<TSIF 1 / 0>x</TSIF>");
    const std::string failed = RunWith(Script("/page.tsm"));
    EXPECT_THAT(failed, HasSubstr("An error has occurred while processing the expression:<PRE>   1 / 0\n</PRE>"));
    EXPECT_THAT(failed, HasSubstr("<HR><P>Division by zero is not allowed"));
}

TEST_F(PageScopes, ClientVariableNamesCarryTheApplication) {
    CQueryPage page(services().Services());
    page.SetApplicationName("SHOP");
    EXPECT_EQ(page.GetScopes().ClientVariablePrefix(), "SHOP::");
    EXPECT_EQ(page.GetScopes().ClientVariableName("colour"), "SHOP::colour");
    EXPECT_EQ(page.GetScopes().ClientVariableName("HitCount"), "HitCount") << "reserved names carry no prefix";
}

TEST_F(PageScopes, ClientIdRandomUsesTheRequestSequence) {
    CQueryPage page(services().Services());
    CRandomState& state = *page.GetScopes().RandomState();
    state.value = 7;
    state.seeded = 1;
    EXPECT_EQ(page.GetScopes().IdSource().Random(), static_cast<int>((7u * 1103515245u + 12345u) % 32767u));
}

}  // namespace

namespace {

TEST_F(PageScopes, LookupsPassThroughTheHookFirst) {
    CQueryPage page(services().Services());
    std::vector<std::string> seen;
    page.GetScopes().SetBeforeLookup([&](const std::string& name) { seen.push_back(name); });
    std::string value;
    try {
        page.GetScopes().LookupVariable("Q.col", -1, value);
        ADD_FAILURE() << "no query Q";
    } catch (CWebException* e) {
        EXPECT_THAT(e->GetDetail(), HasSubstr("The query named 'Q' has not yet executed."));
        e->Delete();
    }
    EXPECT_EQ(seen, std::vector<std::string>{"Q.col"});
    // A page outside a request refuses assignments instead of failing on a missing scope.
    try {
        page.GetScopes().AssignVariable("x", "1");
        ADD_FAILURE() << "assigned without a request";
    } catch (CWebException* e) {
        e->Delete();
    }
}

}  // namespace
