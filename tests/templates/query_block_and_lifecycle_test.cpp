// The open TSQUERY block as the template is read (what stays in it, what closes
// it, references to the query from inside it), the client variables over the
// page's life, and the application's request error page.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "sqlite_page_site.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class QueryBlockPage : public CoreTagsPage {
protected:
    // A TSQUERY named q over the people table, left open for the caller.
    std::string Open(const std::string& attributes) {
        return "<TSQUERY NAME=\"q\" DATASOURCE=\"" + dsn_ + "\"" + attributes + ">";
    }
    static std::string Names() { return "<TSOUTPUT QUERY=\"q\">#name#,</TSOUTPUT>"; }
};

struct BlockCase {
    const char* what;
    std::string block;  // after Open("")
    std::string query;
    std::string body;
};

TEST_F(QueryBlockPage, TagsInsideTheBlockShapeTheStatement) {
    const std::vector<BlockCase> cases = {
        {"false TSIF keeps its text out of the SQL",
         "SELECT name FROM people <TSIF 1 IS 2>WHERE id = 2 </TSIF>ORDER BY id</TSQUERY>", "", "Ann,Bob,Cy,"},
        {"true TSIF puts it in", "SELECT name FROM people <TSIF 2 IS 2>WHERE id = 2 </TSIF>ORDER BY id</TSQUERY>", "",
         "Bob,"},
        {"TSELSE branch", "SELECT name FROM people <TSIF FALSE>WHERE id = 1<TSELSE>WHERE id = 3</TSIF></TSQUERY>", "",
         "Cy,"},
        {"TSSET runs inside and is seen by the text",
         "<TSSET n = 1 + 1>SELECT name FROM people WHERE id = #n#</TSQUERY>", "", "Bob,"},
        {"URL value between quotes", "SELECT name FROM people WHERE name = '#URL.who#'</TSQUERY>", "who=Cy", "Cy,"},
        {"whitespace-only text adds nothing", "\n  \t\n</TSQUERY>", "", "sql-missing"},
    };
    for (const BlockCase& c : cases) {
        std::string text = Open("") + c.block + Names();
        PageOutcome out = Run(text, c.query);
        if (c.body == "sql-missing") {
            EXPECT_EQ(out.title, "SQL attribute of TSQUERY tag not specified.<P>") << c.what;
            continue;
        }
        ASSERT_FALSE(out.failed) << c.what << ": " << out.title << out.detail;
        EXPECT_EQ(out.body, c.body) << c.what;
    }
}

TEST_F(QueryBlockPage, AttributeAndTSSQLPiecesComeBeforeTheBlockText) {
    // SQL attribute, block text, TSSQL, block text: the statement is a, c, b, d.
    PageOutcome out = Run(Open(" SQL=\"SELECT name FROM people\"") +
                          " ORDER BY<TSSQL SQL=\"WHERE id > 1\"> id DESC</TSQUERY>" + Names());
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "Cy,Bob,");
}

TEST_F(QueryBlockPage, AnotherTagClosesTheBlockAndItsTextIsWrittenAsItStands) {
    PageOutcome closed =
        Run(Open(" SQL=\"SELECT name FROM people WHERE id = 3\"") + " text #URL.x# & more" + Names(), "x=1");
    ASSERT_FALSE(closed.failed) << closed.title << closed.detail;
    EXPECT_EQ(closed.body, " text #URL.x# & moreCy,");

    // A second TSQUERY runs the first before it starts.
    PageOutcome second =
        Run(Open(" SQL=\"SELECT name FROM people WHERE id = 1\"") + "<TSQUERY NAME=\"r\" DATASOURCE=\"" + dsn_ +
            "\">SELECT name FROM people WHERE id = 2</TSQUERY>" + Names() + "<TSOUTPUT QUERY=\"r\">#name#</TSOUTPUT>");
    ASSERT_FALSE(second.failed) << second.title << second.detail;
    EXPECT_EQ(second.body, "Ann,Bob");

    // The end tag after the block was closed belongs to no block.
    PageOutcome stray = Run(Open(" SQL=\"SELECT 1\"") + "<TSCOOKIE NAME=\"c\" VALUE=\"v\"></TSQUERY>");
    EXPECT_EQ(stray.title, "Invalid syntax for TSQUERY tag<P>");
    // A block still open at the end of the template runs there.
    PageOutcome reachedEnd = Run(Open(" SQL=\"SELECT name FROM people\"") + "tail");
    ASSERT_FALSE(reachedEnd.failed) << reachedEnd.title << reachedEnd.detail;
    EXPECT_EQ(reachedEnd.body, "tail");
}

TEST_F(QueryBlockPage, ReferenceToTheOpenQueryRunsItFirst) {
    PageOutcome condition =
        Run(Open(" SQL=\"SELECT name FROM people ORDER BY id\"") + "<TSIF Q.RecordCount GT 2>many<TSELSE>few</TSIF>");
    ASSERT_FALSE(condition.failed) << condition.title << condition.detail;
    EXPECT_EQ(condition.body, "many");

    PageOutcome set = Run(Open(" SQL=\"SELECT name FROM people ORDER BY id DESC\"") +
                          "<TSSET first = q.name><TSOUTPUT>#first#/#q.RECORDCOUNT#</TSOUTPUT>");
    ASSERT_FALSE(set.failed) << set.title << set.detail;
    EXPECT_EQ(set.body, "Cy/3");

    // The block's own text naming the query: the query runs with what it had, the
    // text goes out as it was written, and the end tag has no block left.
    PageOutcome inText = Run(Open(" SQL=\"SELECT name FROM people\"") + "WHERE name = '#q.name#'</TSQUERY>");
    EXPECT_EQ(inText.title, "Invalid syntax for TSQUERY tag<P>");
    EXPECT_EQ(inText.body.rfind("WHERE name = '#q.name#'", 0), 0u) << inText.body;
}

TEST_F(QueryBlockPage, OtherNamesLeaveTheBlockOpen) {
    // Another scope's prefix, an unprefixed name and an unnamed query are not a reference to it.
    PageOutcome out = Run("<TSSET n = 2>" + Open("") +
                          "<TSSET m = VARIABLES.n + 1><TSSET q2 = m>SELECT name FROM "
                          "people WHERE id = #q2#</TSQUERY>" +
                          Names());
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "Cy,");

    PageOutcome unnamed = Run("<TSQUERY DATASOURCE=\"" + dsn_ + "\"><TSSET x = URL.a>SELECT 1</TSQUERY>done", "a=1");
    ASSERT_FALSE(unnamed.failed) << unnamed.title << unnamed.detail;
    EXPECT_EQ(unnamed.body, "done");
}

// --- client variables over the page's life ----------------------------------------

std::string CookieValue(const std::string& headers, const std::string& name) {
    std::size_t at = headers.find("Set-Cookie: " + name + "=");
    if (at == std::string::npos) return {};
    at += 13 + name.size();
    return headers.substr(at, headers.find(';', at) - at);
}

class ClientLifecycle : public CoreTagsPage {
protected:
    static constexpr const char* kStamps =
        "<TSAPPLICATION NAME=\"app\" CLIENTMANAGEMENT=\"YES\">"
        "<TSOUTPUT>#CLIENT.TSID#|#CLIENT.HITCOUNT#|#CLIENT.LASTVISIT#|#CLIENT.TIMECREATED#|#Client.UrlToken#</"
        "TSOUTPUT>";

    static std::vector<std::string> Fields(const std::string& body) {
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t bar; (bar = body.find('|', from)) != std::string::npos; from = bar + 1)
            fields.push_back(body.substr(from, bar - from));
        fields.push_back(body.substr(from));
        return fields;
    }
};

TEST_F(ClientLifecycle, SwitchingOnOpensTheClientCountsTheVisitAndSendsTheCookies) {
    PageOutcome first = Run(kStamps);
    ASSERT_FALSE(first.failed) << first.title << first.detail;
    std::vector<std::string> f = Fields(first.body);
    ASSERT_EQ(f.size(), 5u) << first.body;
    EXPECT_EQ(f[0], "1");
    EXPECT_EQ(f[1], "1");
    EXPECT_EQ(f[2].rfind("{ts '", 0), 0u) << f[2];
    EXPECT_EQ(f[2], f[3]);
    std::string token = CookieValue(first.headers, "TSTOKEN");
    ASSERT_FALSE(token.empty()) << first.headers;
    EXPECT_EQ(CookieValue(first.headers, "TSID"), "1");
    EXPECT_EQ(f[4], "TSID=1&TSTOKEN=" + token);

    // The previous visit is what LASTVISIT reads on the next request.
    Set("Clients\\1", "LASTVISIT", "{ts '2001-02-03 04:05:06'}");
    PageOutcome second = Run(kStamps, "TSID=1&TSTOKEN=" + token);
    ASSERT_FALSE(second.failed) << second.title << second.detail;
    f = Fields(second.body);
    ASSERT_EQ(f.size(), 5u) << second.body;
    EXPECT_EQ(f[0], "1");
    EXPECT_EQ(f[1], "2");
    EXPECT_EQ(f[2], "{ts '2001-02-03 04:05:06'}");
    // Cookies go out again on every request that switches client management on.
    EXPECT_EQ(CookieValue(second.headers, "TSID"), "1") << second.headers;
    EXPECT_EQ(CookieValue(second.headers, "TSTOKEN"), token);
}

TEST_F(ClientLifecycle, TheApplicationTemplateSwitchesItOnForThePage) {
    Write("Application.tsm", "<TSAPPLICATION NAME=\"shop\" CLIENTMANAGEMENT=\"yes\">");
    PageOutcome out = Run("<TSSET Client.basket = \"3 pens\"><TSOUTPUT>#Client.basket#</TSOUTPUT>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "3 pens");
    EXPECT_EQ(CookieValue(out.headers, "TSID"), "1");
}

TEST_F(ClientLifecycle, OffUntilTheTagAndNoCookiesAfterAnError) {
    PageOutcome before = Run("<TSOUTPUT>#CLIENT.HITCOUNT#</TSOUTPUT>");
    EXPECT_TRUE(before.failed);
    EXPECT_THAT(before.title, HasSubstr("Unable to access the client variable, HITCOUNT."));
    EXPECT_THAT(before.detail,
                HasSubstr("the TSAPPLICATION tag must be used with the CLIENTMANAGEMENT attribute set to YES"));
    // Unprefixed names are looked for among client variables only once it is on.
    PageOutcome unprefixed = Run("<TSOUTPUT>#nothing#</TSOUTPUT>");
    EXPECT_THAT(unprefixed.detail, HasSubstr("Tessaro was unable to determine the value of the parameter"));
    // Switched off again, the store is out of reach again.
    PageOutcome off =
        Run("<TSAPPLICATION CLIENTMANAGEMENT=\"yes\"><TSAPPLICATION CLIENTMANAGEMENT=\"no\">"
            "<TSOUTPUT>#CLIENT.TSID#</TSOUTPUT>");
    EXPECT_THAT(off.title, HasSubstr("Unable to access the client variable, TSID."));
    EXPECT_THAT(before.headers, Not(HasSubstr("Set-Cookie")));

    PageOutcome failed = Run("<TSAPPLICATION CLIENTMANAGEMENT=\"yes\"><TSPARAM NAME=\"missing\">");
    EXPECT_TRUE(failed.failed);
    EXPECT_THAT(failed.headers, Not(HasSubstr("Set-Cookie")));
}

// --- the application's request error page -------------------------------------------

class RequestErrorPage : public TemplateSite {};

TEST_F(RequestErrorPage, DiagnosticsStopBeforeTheDebugBlockAndTemplateIsTheFailingFile) {
    Write("err.htm", "D=[#ERROR.DIAGNOSTICS#] T=[#Error.Template#] B=[#ERROR.BROWSER#] A=[#ERROR.REMOTEADDRESS#]");
    Write("inc.tsm", "<TSPARAM NAME=\"nope\">");
    Write("page.tsm", "<TSERROR TYPE=\"REQUEST\" TEMPLATE=\"err.htm\"><TSINCLUDE TEMPLATE=\"inc.tsm\">");
    std::map<std::string, std::string> cgi = Script("/page.tsm");
    cgi["HTTP_USER_AGENT"] = "<script>x</script>";
    PageOutcome out = RunPage<CQueryPage>(cgi);
    EXPECT_TRUE(out.failed);
    const std::string& pageText = out.pageText;
    // The diagnostics are the error's own words: where it happened stays on the engine's page.
    EXPECT_EQ(pageText.rfind("D=[Required parameter <B>nope</B> not found<P> You have used the TSPARAM tag", 0), 0u)
        << pageText;
    EXPECT_THAT(pageText, Not(HasSubstr("Date/Time")));
    EXPECT_THAT(pageText, HasSubstr("/inc.tsm] B=[&lt;script&gt;x&lt;/script&gt;] A=[10.1.2.3]"));
}

TEST_F(RequestErrorPage, SyntaxErrorsUseItToo) {
    Write("err.htm", "[#ERROR.DIAGNOSTICS#]");
    Write("page.tsm", "<TSERROR TYPE=\"request\" TEMPLATE=\"err.htm\">\n<TSINCLUDE TEMPLATE=\"x.tsm\"\n");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    EXPECT_TRUE(out.failed);
    const std::string& pageText = out.pageText;
    EXPECT_EQ(pageText.rfind("[An error occurred while attempting to process a TSINCLUDE tag.<P>", 0), 0u) << pageText;
    EXPECT_THAT(pageText, Not(HasSubstr("&lt;TSINCLUDE")));
    EXPECT_THAT(pageText, Not(HasSubstr("Date/Time")));
}

// The site's page is for its visitors: the template's line, path and source stay on the
// engine's own page and in the error it logs.
TEST_F(RequestErrorPage, DiagnosticsLeaveOutWhereInTheTemplateTheErrorIs) {
    Write("err.htm", "[#ERROR.DIAGNOSTICS#]");
    const char* const bodies[] = {
        "<TSQUERY NAME=\"q\" DATASOURCE=\"x\" MAXROWS=\"-1\">SELECT 1</TSQUERY>",
        "<TSOUTPUT MAXROWS=\"-1\">x</TSOUTPUT>",
        "<TSLOCATION URL=\"a.htm\" ADDTOKEN=\"maybe\">",
        "<TSSET NAME=\"x\" VALUE=\"1\">\n<TSOUTPUT>#URL.missing#</TSOUTPUT>",
    };
    for (const char* body : bodies) {
        Write("page.tsm", std::string("<TSERROR TYPE=\"request\" TEMPLATE=\"err.htm\">\n") + body);
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        EXPECT_TRUE(out.failed) << body;
        const std::string& pageText = out.pageText;
        EXPECT_GT(pageText.size(), 8u) << body;
        EXPECT_THAT(pageText, Not(HasSubstr("The error occurred on (or near) line")));
        EXPECT_THAT(pageText, Not(HasSubstr("page.tsm")));
        EXPECT_THAT(pageText, Not(HasSubstr("TSERROR")));
        EXPECT_THAT(pageText, Not(HasSubstr("<PRE></PRE>")));
        const std::string engineError = out.title + out.detail;
        EXPECT_THAT(engineError, HasSubstr("The error occurred on (or near) line "));
        EXPECT_THAT(engineError, HasSubstr("page.tsm<P><PRE>"));
    }
}

}  // namespace
