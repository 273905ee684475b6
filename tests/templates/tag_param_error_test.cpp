#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "support/mapped_file.h"
#include "support/web_exception.h"
#include "engine/templates/tags/param_error/param_error_engine.h"
#include "tests/common/temp_home.h"
#include "tests/common/web_error_capture.h"

namespace {

// A lookup over a fixed set of names that throws like the page's resolution.
struct Scopes {
    std::map<std::string, std::string> values;
    std::map<std::string, std::string> assigned;
    std::function<void(const std::string&)> Lookup() {
        return [this](const std::string& name) {
            if (!values.count(name)) throw new CWebException("Error resolving parameter", "");
        };
    }
    std::function<void(const std::string&, const std::string&)> Assign() {
        return [this](const std::string& n, const std::string& v) { assigned[n] = v; };
    }
};

TEST(ParamTagTest, DefaultIsStoredOnlyWhenTheParameterIsMissing) {
    Scopes scopes;
    ParamTagState state;
    state.name = "x";
    state.SetDefault("0");
    ExecuteParam(state, scopes.Lookup(), scopes.Assign());
    EXPECT_EQ(scopes.assigned, (std::map<std::string, std::string>{{"x", "0"}}));

    Scopes present;
    present.values["x"] = "url value";
    ExecuteParam(state, present.Lookup(), present.Assign());
    EXPECT_TRUE(present.assigned.empty());

    ParamTagState empty;
    empty.name = "y";
    empty.SetDefault("");
    Scopes none;
    ExecuteParam(empty, none.Lookup(), none.Assign());
    EXPECT_EQ(none.assigned, (std::map<std::string, std::string>{{"y", ""}}));
}

TEST(ParamTagTest, MissingWithoutDefaultOrWithoutNameFails) {
    Scopes scopes;
    ParamTagState state;
    state.name = "x";
    Thrown t = WebErrorOf([&] { ExecuteParam(state, scopes.Lookup(), scopes.Assign()); });
    EXPECT_EQ(t.message, "Required parameter <B>x</B> not found<P>");
    EXPECT_NE(t.detail.find("declare the parameter 'x' to be required"), std::string::npos);

    state.Reset();
    Thrown n = WebErrorOf([&] { ExecuteParam(state, scopes.Lookup(), scopes.Assign()); });
    EXPECT_EQ(n.message, "Invalid TSPARAM tag<P>");
}

TEST(ErrorTagTest, TypesAreCheckedAndRegisteredByKind) {
    CErrorPageSpec building, validation, request;
    building.SetErrorType("request");
    building.templatePath = "/t/err.htm";
    building.mailTo = "admin@example.com";
    ExecuteErrorTag(building, validation, request);
    EXPECT_EQ(request.kind, CErrorPageSpec::Request);
    EXPECT_EQ(request.templatePath, "/t/err.htm");
    EXPECT_EQ(request.mailTo, "admin@example.com");
    EXPECT_EQ(validation.kind, CErrorPageSpec::None);
    EXPECT_EQ(building.kind, CErrorPageSpec::None);
    EXPECT_TRUE(building.templatePath.empty());

    building.SetErrorType("Validation");
    building.templatePath = "/t/v.htm";
    ExecuteErrorTag(building, validation, request);
    EXPECT_EQ(validation.templatePath, "/t/v.htm");

    // No TYPE: nothing registered, no error.
    building.templatePath = "/t/other.htm";
    ExecuteErrorTag(building, validation, request);
    EXPECT_EQ(request.templatePath, "/t/err.htm");
    EXPECT_EQ(validation.templatePath, "/t/v.htm");

    Thrown bad = WebErrorOf([&] { building.SetErrorType("exception"); });
    EXPECT_EQ(bad.message, "Invalid TSERROR Tag<P>");
    EXPECT_NE(bad.detail.find("(exception) is invalid. The valid TSERROR types are VALIDATION and REQUEST."),
              std::string::npos);

    building.SetErrorType("REQUEST");
    Thrown noTemplate = WebErrorOf([&] { ExecuteErrorTag(building, validation, request); });
    EXPECT_EQ(noTemplate.message, "Invalid TSERROR Tag<P>");
    EXPECT_NE(noTemplate.detail.find("No TEMPLATE attribute was specified"), std::string::npos);
}

class ErrorPageRenderTest : public TempFolderTest {
protected:
    CErrorPageSpec Page(const std::string& text) {
        CErrorPageSpec spec;
        spec.kind = CErrorPageSpec::Request;
        spec.templatePath = dir_ + "/error.htm";
        spec.mailTo = "web@example.com";
        std::ofstream(spec.templatePath, std::ios::binary) << text;
        return spec;
    }
};

TEST_F(ErrorPageRenderTest, PlaceholdersMatchInAnyCaseAndRequestValuesAreEscaped) {
    CErrorPageSpec spec = Page(
        "<TSIF>#error.mailto# #ERROR.MailTo#|#ERROR.DIAGNOSTICS#|#Error.QueryString#|#ERROR.BROWSER#|"
        "#ERROR.HTTPREFERER#|#ERROR.UNKNOWN#");
    std::string page = spec.Render({{"#ERROR.DIAGNOSTICS#", "<B>boom</B>"},
                                    {"#ERROR.QUERYSTRING#", "a=<script>x</script>"},
                                    {"#ERROR.BROWSER#", "Agent \"1\""},
                                    {"#ERROR.HTTPREFERER#", "http://x/?a=1&b=2"}});
    EXPECT_EQ(page,
              "<TSIF>web@example.com web@example.com|<B>boom</B>|a=&lt;script&gt;x&lt;/script&gt;|"
              "Agent &quot;1&quot;|http://x/?a=1&amp;b=2|#ERROR.UNKNOWN#");
}

TEST_F(ErrorPageRenderTest, EmptyAndMissingTemplates) {
    EXPECT_EQ(Page("").Render({}), "");
    CErrorPageSpec missing;
    missing.templatePath = dir_ + "/none.htm";
    bool threw = false;
    try {
        missing.Render({});
    } catch (CMappedFileException* e) {
        threw = true;
        e->Delete();
    }
    EXPECT_TRUE(threw);
}

}  // namespace
