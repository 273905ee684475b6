// Name resolution through the template language's scopes, and the names TSSET assigns.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "support/web_exception.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/scopes/variable_scopes.h"

namespace {

using Scope = std::map<std::string, std::string>;

class FakeSources : public CVariableScopeSources {
public:
    std::map<std::string, std::unique_ptr<CTSXQueryImp>> queries;
    Scope variables, cgi, file, url, form, cookies, client;
    std::string applicationPrefix = "SHOP::";

    CTSXQueryImp* FindNamedQuery(const std::string& name) override {
        const auto it = queries.find(name);
        return it == queries.end() ? nullptr : it->second.get();
    }
    bool GetTemplateVariable(const std::string& n, std::string& v) override { return Get(variables, n, v); }
    bool GetCgiVariable(const std::string& n, std::string& v) override { return Get(cgi, n, v); }
    bool GetFileVariable(const std::string& n, std::string& v) override { return Get(file, n, v); }
    bool GetUrlParameter(const std::string& n, std::string& v) override { return Get(url, n, v); }
    bool GetFormField(const std::string& n, std::string& v) override { return Get(form, n, v); }
    bool GetRequestCookie(const std::string& n, std::string& v) override { return Get(cookies, n, v); }
    bool GetClientVariable(const std::string& n, std::string& v) override { return Get(client, n, v); }
    std::string ClientVariableName(const std::string& name) override { return applicationPrefix + name; }

    void AddQuery(const std::string& name, const std::string& column, std::vector<std::string> cells) {
        auto q = std::make_unique<CTSXQueryImp>();
        q->SetName(name);
        q->AddColumn(column);
        for (auto& cell : cells) q->AddRow({cell});
        queries[name] = std::move(q);
    }

private:
    static bool Get(const Scope& scope, const std::string& name, std::string& value) {
        const auto it = scope.find(name);
        if (it == scope.end()) return false;
        value = it->second;
        return true;
    }
};

struct Thrown {
    bool thrown = false;
    std::string message, detail;
};

template <class F>
Thrown CatchWeb(F&& call) {
    Thrown t;
    try {
        call();
    } catch (CWebException* e) {
        t.thrown = true;
        t.message = e->GetMessage();
        t.detail = e->GetDetail();
        e->Delete();
    }
    return t;
}

// The same name in every scope: each step removes the winner and the next scope wins.
TEST(VariableScopes, UnprefixedNamesFollowTheScopeOrder) {
    FakeSources s;
    s.AddQuery("Q", "COLOR", {"query", "query2"});
    s.variables["COLOR"] = "variables";
    s.cgi["COLOR"] = "cgi";
    s.file["COLOR"] = "file";
    s.url["COLOR"] = "url";
    s.form["COLOR"] = "form";
    s.cookies["COLOR"] = "cookie";
    s.client["SHOP::Color"] = "client";
    struct Step {
        const char* expected;
        int fixed;
        Scope* drop;
    };
    const Step steps[] = {
        {"variables", 0, &s.variables}, {"cgi", 1, &s.cgi},        {"file", 0, &s.file},    {"url", 1, &s.url},
        {"form", 1, &s.form},           {"cookie", 0, &s.cookies}, {"client", 0, &s.client}};
    CParameterResolution r = ResolveParameterInScopes(s, "Color", 1, "q");
    EXPECT_EQ(r.value, "query2");
    EXPECT_EQ(r.currentColumn, 1);
    EXPECT_EQ(r.column, 0);
    for (const Step& step : steps) {
        r = ResolveParameterInScopes(s, "Color", -1, "");
        EXPECT_EQ(r.value, step.expected);
        EXPECT_EQ(r.fixedValue, step.fixed) << step.expected;
        step.drop->clear();
    }
    const Thrown t = CatchWeb([&] { ResolveParameterInScopes(s, "Color", -1, ""); });
    EXPECT_EQ(t.message, "Error resolving parameter <B>Color</B><P>");
    EXPECT_EQ(t.detail.rfind("Tessaro was unable to determine the value of the parameter.", 0), 0u);
}

TEST(VariableScopes, PrefixedNames) {
    FakeSources s;
    s.AddQuery("Q", "NAME", {"first", "second"});
    s.AddQuery("OTHER", "NAME", {"o1", "o2"});
    s.url["X"] = "x";
    EXPECT_EQ(ResolveParameterInScopes(s, ".Name", 1, "Q").value, "second");
    EXPECT_EQ(ResolveParameterInScopes(s, "q.name", -1, "Q").value, "first");
    const CParameterResolution other = ResolveParameterInScopes(s, "Other.Name", 1, "Q");
    EXPECT_EQ(other.value, "o1") << "another query reads its first row";
    EXPECT_EQ(other.fixedValue, 1);
    EXPECT_EQ(ResolveParameterInScopes(s, "CGI.ANYTHING", -1, "").value, "");
    EXPECT_EQ(ResolveParameterInScopes(s, "HTTP.ANYTHING", -1, "").fixedValue, 1);
    EXPECT_EQ(ResolveParameterInScopes(s, "url.x", -1, "").value, "x");
    Thrown t = CatchWeb([&] { ResolveParameterInScopes(s, "URL.Y", -1, ""); });
    EXPECT_EQ(t.message, "Error resolving parameter <B>URL.Y</B><P>");
    EXPECT_EQ(t.detail, "The URL parameter Y was not found.<P>");
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Form.X", -1, ""); });
    EXPECT_EQ(t.detail, "The form field X was not found.<P>");
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Nope.X", -1, ""); });
    EXPECT_EQ(t.detail.rfind("The query named 'NOPE' has not yet executed.", 0), 0u);
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Q.Missing", -1, ""); });
    EXPECT_EQ(t.detail, "The column named 'MISSING' is not a part of the query named 'Q'<P>");
    t = CatchWeb([&] { ResolveParameterInScopes(s, ".x", -1, ""); });
    EXPECT_EQ(t.detail.rfind("Tessaro was unable to determine", 0), 0u);
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Variables.V", -1, ""); });
    EXPECT_EQ(t.detail.rfind("The variable V was not found in the current template file.", 0), 0u);
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Client.C", -1, ""); });
    EXPECT_EQ(t.detail.rfind("The client variable C does not exist.", 0), 0u);
    t = CatchWeb([&] { ResolveParameterInScopes(s, "Cookie.K", -1, ""); });
    EXPECT_EQ(t.detail.rfind("The cookie value K was not found", 0), 0u);
    t = CatchWeb([&] { ResolveParameterInScopes(s, "File.Z", -1, ""); });
    EXPECT_EQ(t.detail.rfind("The name Z is not a a valid file status variable.", 0), 0u);
}

TEST(VariableScopes, AssignmentNames) {
    struct Case {
        const char* name;
        CAssignableScope scope;
        const char* var;
    };
    const Case cases[] = {{"#Color#", CAssignableScope::Variables, "COLOR"},
                          {"Variables.X", CAssignableScope::Variables, "X"},
                          {" Cookie . Y ", CAssignableScope::Cookie, "Y"},
                          {"ClientX.A", CAssignableScope::Client, "A"},
                          {"client.b", CAssignableScope::Client, "B"}};
    for (const Case& c : cases) {
        const CAssignmentTarget t = ParseAssignmentName(c.name);
        EXPECT_EQ(t.scope, c.scope) << c.name;
        EXPECT_EQ(t.name, c.var) << c.name;
    }
    for (const char* refused : {"Form.X", "URL.X", "CGI.X", "Q.COL"}) {
        const Thrown t = CatchWeb([&] { ParseAssignmentName(refused); });
        EXPECT_EQ(t.message, std::string("Unable to set variable <B>") + refused + "</B><P>");
        EXPECT_NE(t.detail.find("does not have a valid prefix"), std::string::npos);
    }
}

TEST(VariableScopes, ClientVariableList) {
    EXPECT_EQ(ClientVariableListText({"SHOP::colour", "OTHER::x", "shop::Size", "LASTVISIT"}, "SHOP::"), "COLOUR,SIZE");
    EXPECT_EQ(ClientVariableListText({}, "SHOP::"), "");
}

TEST(VariableScopes, ExpressionErrorTitle) {
    EXPECT_EQ(
        ExpressionErrorTitle("  \"a\n\n\n\nb\"  ", "<report>", "why").Html(),
        "An error has occurred while processing the expression:<PRE>   &quot;a\n\nb&quot;\n</PRE><report><HR><P>why");
    // Shown as written, its closing quote too.
    EXPECT_EQ(ExpressionErrorTitle("Len(\"abc\"", "", "").Html(),
              "An error has occurred while processing the expression:<PRE>   Len(&quot;abc&quot;\n</PRE><HR><P>");
    // The expression may be a request's text: it cannot close the element around it.
    EXPECT_EQ(
        ExpressionErrorTitle("Evaluate(\"</PRE><b>\")", "", "why").Html(),
        "An error has occurred while processing the expression:<PRE>   Evaluate(&quot;&lt;/PRE&gt;&lt;b&gt;&quot;)"
        "\n</PRE><HR><P>why");
}

}  // namespace
