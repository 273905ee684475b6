// Templates using the core tags, run through a whole page over a SQLite data source.
#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "database/access/connection_pool.h"
#include "engine/expressions/expression_driver.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/template_page.h"
#include "sqlite_page_site.h"
#include "template_test_site.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(CoreTagsPage, QueryRowsListedInAnOutputSection) {
    PageOutcome out =
        Run(Query("q", "SELECT name FROM people ORDER BY id") + "<TSOUTPUT QUERY=\"q\">#name#,</TSOUTPUT>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "Ann,Bob,Cy,");
}

TEST_F(CoreTagsPage, ExpressionsInAnOutputSectionAreEvaluatedForEachRow) {
    // Only a bare name is resolved once for the section; an expression with an operator is
    // evaluated for each row, as one with a function call is.
    PageOutcome out = Run(Query("q", "SELECT id FROM people ORDER BY id") + "<TSSET n = 10>" +
                          "<TSOUTPUT QUERY=\"q\">#id + 1#:#n + id#:#Len(id)#,</TSOUTPUT>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "2:11:1,3:12:1,4:13:1,");
}

TEST_F(CoreTagsPage, GroupedOutputWithNestedSection) {
    PageOutcome out = Run(Query("q", "SELECT name, region FROM people ORDER BY region, id") +
                          "<TSOUTPUT QUERY=\"q\" GROUP=\"region\">#region#:<TSOUTPUT>#name# </TSOUTPUT>;</TSOUTPUT>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "A:Ann Bob ;B:Cy ;");
}

TEST_F(CoreTagsPage, LoopsOverQueryListIndexAndCondition) {
    PageOutcome out =
        Run(Query("q", "SELECT name FROM people ORDER BY id") +
            "<TSLOOP QUERY=\"q\"><TSOUTPUT>#name#</TSOUTPUT><TSIF #name# IS \"Ann\">!"
            "<TSELSEIF #name# IS \"Bob\">?</TSIF>,</TSLOOP>|"
            "<TSLOOP LIST=\"a,,b\" INDEX=\"x\"><TSOUTPUT>#x#</TSOUTPUT></TSLOOP>|"
            "<TSSET n = 0><TSLOOP CONDITION=\"n LT 3\"><TSSET n = n + 1><TSOUTPUT>#n#</TSOUTPUT></TSLOOP>|"
            "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSOUTPUT>#i#</TSOUTPUT></TSLOOP>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "Ann!,Bob?,Cy,|ab|123|123");
}

TEST_F(CoreTagsPage, LoopEndingTheTemplateOrFollowedByATag) {
    PageOutcome atEnd = Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSOUTPUT>#i#</TSOUTPUT></TSLOOP>");
    ASSERT_FALSE(atEnd.failed) << atEnd.title << atEnd.detail;
    EXPECT_EQ(atEnd.body, "123");
    PageOutcome tagAfter =
        Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\">[<TSOUTPUT>#i#</TSOUTPUT>]</TSLOOP><TSSET x = "
            "5><TSOUTPUT>#x#</TSOUTPUT>");
    ASSERT_FALSE(tagAfter.failed) << tagAfter.title << tagAfter.detail;
    EXPECT_EQ(tagAfter.body, "[1][2]5");
}

TEST_F(CoreTagsPage, SetVariableUsedInAQueryAndQueryRerunInALoop) {
    PageOutcome out =
        Run("<TSSET who = \"Bob\">" + Query("q", "SELECT id FROM people WHERE name = '#who#'") +
            "<TSOUTPUT QUERY=\"q\">#id#</TSOUTPUT>|"
            "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\">" +
            Query("one", "SELECT name FROM people WHERE id = #i#") + "<TSOUTPUT>#one.name#</TSOUTPUT></TSLOOP>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "2|AnnBobCy");
}

TEST_F(CoreTagsPage, HeaderAbortAndParam) {
    PageOutcome header = Run("<TSHEADER NAME=\"Refresh\" VALUE=\" 5 \">a<TSABORT>b");
    ASSERT_FALSE(header.failed) << header.title << header.detail;
    EXPECT_THAT(header.headers, HasSubstr("Refresh: 5\n"));
    EXPECT_EQ(header.body, "a");

    PageOutcome param = Run(
        "<TSPARAM NAME=\"x\" DEFAULT=\"0\"><TSPARAM NAME=\"y\" DEFAULT=\"d\"><TSOUTPUT>#x#/#y#</TSOUTPUT>", "y=url");
    ASSERT_FALSE(param.failed) << param.title << param.detail;
    EXPECT_EQ(param.body, "0/url");

    PageOutcome missing = Run("<TSPARAM NAME=\"z\">");
    EXPECT_TRUE(missing.failed);
    EXPECT_EQ(missing.title, "Required parameter <B>z</B> not found<P>");
}

TEST_F(CoreTagsPage, AbortInAnIncludedTemplateStopsTheIncludingOne) {
    Write("inner.tsm", "in<TSABORT>never");
    PageOutcome out = Run("before<TSINCLUDE TEMPLATE=\"inner.tsm\">after");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "beforein");
}

TEST_F(CoreTagsPage, LocationRedirectsWithTheClientToken) {
    PageOutcome out = Run("<TSAPPLICATION CLIENTMANAGEMENT=\"yes\">x<TSLOCATION URL=\"next.tsm?a=1##top\">y");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_THAT(out.headers, HasSubstr("Location: next.tsm?a=1&TSID=1&TSTOKEN="));
    EXPECT_THAT(out.headers, HasSubstr("#top\n"));
    EXPECT_THAT(out.body, Not(HasSubstr("y")));
}

TEST_F(CoreTagsPage, ConditionalMismatchAndBadClientManagement) {
    PageOutcome bad = Run("<TSAPPLICATION CLIENTMANAGEMENT=\"perhaps\">");
    EXPECT_TRUE(bad.failed);
    // The tag's line comes first, then what is wrong with it.
    EXPECT_EQ(bad.detail.rfind("The error occurred on (or near) line 1 of the template file ", 0), 0u) << bad.detail;
    EXPECT_THAT(bad.detail, HasSubstr("</PRE><P>Invalid attribute value.<P>"));
    PageOutcome open = Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\">x");
    EXPECT_TRUE(open.failed);
    EXPECT_THAT(open.title, HasSubstr("There are more TSLOOP tags than there are /TSLOOP tags."));
}

TEST_F(CoreTagsPage, MismatchedConditionalsListTheTagsSeen) {
    PageOutcome out = Run("<TSIF TRUE>a<TSIF 1 LT 2>b</TSIF><TSELSE>c<TSELSEIF FALSE>");
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("detected:<P> <PRE>\n    &lt;TSIF TRUE &gt;\n      &lt;TSIF 1 LT 2 &gt;\n"
                                     "    &lt;/TSIF&gt;\n    &lt;TSELSE&gt;\n    &lt;TSELSEIF FALSE &gt;\n</PRE>\n"));
    EXPECT_EQ(out.detail.rfind("The error occurred on (or near) line 1 of the template file ", 0), 0u) << out.detail;
    EXPECT_THAT(out.detail, HasSubstr("</PRE><P>Error in conditional evaluation tags.<P>"));
}

TEST_F(CoreTagsPage, LoopsWithIncludesAndBreaks) {
    Write("part.tsm", "p");
    PageOutcome repeated = Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSINCLUDE TEMPLATE=\"part.tsm\">,</TSLOOP>");
    ASSERT_FALSE(repeated.failed) << repeated.title << repeated.detail;
    EXPECT_EQ(repeated.body, "p,p,p,");

    Write("end.tsm", "</TSLOOP>");
    PageOutcome crossing = Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\">x<TSINCLUDE TEMPLATE=\"end.tsm\">");
    EXPECT_TRUE(crossing.failed);
    EXPECT_THAT(crossing.title, HasSubstr("are not matched"));

    PageOutcome broken =
        Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"5\"><TSOUTPUT>[#i#</TSOUTPUT>"
            "<TSIF i IS 2><TSBREAK></TSIF>]</TSLOOP>done");
    ASSERT_FALSE(broken.failed) << broken.title << broken.detail;
    EXPECT_EQ(broken.body, "[1][2done");

    // A TSIF the body leaves open is closed when the loop ends.
    PageOutcome openIf = Run("<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\"><TSIF TRUE>x</TSLOOP>shown");
    ASSERT_FALSE(openIf.failed) << openIf.title << openIf.detail;
    EXPECT_EQ(openIf.body, "xxshown");
}

TEST_F(CoreTagsPage, MailSectionsSpoolOneMessagePerRow) {
    Set("Mail", "MailServer", "smtp.example.com");
    PageOutcome out =
        Run(Query("q", "SELECT name FROM people ORDER BY id") +
            "<TSMAIL QUERY=\"q\" SUBJECT=\"Hi #name#\" FROM=\"shop@example.com\" TO=\"#name#@example.com\">"
            "Dear #name#</TSMAIL>sent");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "sent");
    std::vector<std::string> messages;
    for (const auto& entry : std::filesystem::directory_iterator(home() + "/Mail/SPOOL")) {
        messages.push_back(tessaro::test::ReadFileText(entry.path()));
    }
    ASSERT_EQ(messages.size(), 3u);
    std::sort(messages.begin(), messages.end(), [](const std::string& a, const std::string& b) {
        return a.substr(a.find("To: ")) < b.substr(b.find("To: "));
    });
    EXPECT_THAT(messages[0], HasSubstr("To: Ann@example.com\r\n"));
    EXPECT_THAT(messages[0], HasSubstr("Subject: Hi Ann\r\n"));
    EXPECT_THAT(messages[0], HasSubstr("X-Mailer: Brendlow Tessaro 2.0\r\n\r\nDear Ann"));
    EXPECT_THAT(messages[2], HasSubstr("Server: smtp.example.com\r\n"));
}

TEST_F(CoreTagsPage, QueryErrorsOfThePage) {
    PageOutcome form = Run("<TSQUERY NAME=\"form\" DATASOURCE=\"" + dsn_ + "\">SELECT 1</TSQUERY>");
    EXPECT_EQ(form.title, "Invalid TSQUERY name<P>");
    PageOutcome twice = Run(Query("q", "SELECT 1") + Query("q", "SELECT 2"));
    EXPECT_EQ(twice.title, "Duplicate TSQUERY name<P>");
    PageOutcome stray = Run("</TSQUERY>");
    EXPECT_EQ(stray.title, "Invalid syntax for TSQUERY tag<P>");
    PageOutcome inSection = Run(Query("q", "SELECT 1") + "<TSOUTPUT QUERY=\"q\"><TSQUERY NAME=\"x\"></TSOUTPUT>");
    EXPECT_EQ(inSection.title, "Error processing TSOUTPUT tag<P>");
}

class CoreTagsPagePostgres : public CoreTagsPage {
protected:
    void SetUp() override {
        // Started before the site's private TMPDIR, which the server's user cannot reach.
        tessaro::database::OdbcTestConfig::Instance();
        tessaro::database::PgTestServer::Instance();
        CoreTagsPage::SetUp();
    }
};

TEST_F(CoreTagsPagePostgres, SameQueryPageOnPostgres) {
    auto& pg = tessaro::database::PgTestServer::Instance();
    REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
    const std::string table = "tags_page_" + std::to_string(getpid());
    auto query = [&](const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"" +
               tessaro::database::PgTestServer::kDsn + "\" USERNAME=\"" + tessaro::database::PgTestServer::kUser +
               "\">" + sql + "</TSQUERY>";
    };
    PageOutcome out = Run(query("", "CREATE TABLE " + table + " (id int, name varchar(20))") +
                          query("", "INSERT INTO " + table + " VALUES (1, 'Ann'), (2, 'Bob'), (3, 'Cy')") +
                          query("q", "SELECT name FROM " + table + " ORDER BY id") +
                          "<TSOUTPUT QUERY=\"q\">#name#,</TSOUTPUT>" + query("", "DROP TABLE " + table));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "Ann,Bob,Cy,");
}

TEST_F(CoreTagsPage, ContentTypeAndFileReplies) {
    PageOutcome typed = Run("dropped<TSCONTENT TYPE=\"text/plain\">kept");
    ASSERT_FALSE(typed.failed) << typed.title << typed.detail;
    EXPECT_EQ(typed.body, "kept");
    // Beside the template: a file directly in the runtime root is private.
    std::string file = home() + "/docs/reply.txt";
    std::ofstream(file) << "file body";
    PageOutcome withFile = Run("x<TSCONTENT TYPE=\"text/plain\" FILE=\"" + file + "\" DELETEFILE=\"yes\">after");
    ASSERT_FALSE(withFile.failed) << withFile.title << withFile.detail;
    EXPECT_THAT(withFile.body, Not(HasSubstr("after")));
    PageOutcome missing = Run("<TSCONTENT TYPE=\"text/plain\" FILE=\"" + home() + "/none.txt\">");
    EXPECT_EQ(missing.title, "Invalid TSCONTENT tag<P>");
    PageOutcome dotted = Run("<TSCONTENT TYPE=\"text/plain\" FILE=\"" + home() + "/../x.txt\">");
    EXPECT_EQ(dotted.title, "Invalid TSCONTENT tag<P>");
    EXPECT_THAT(dotted.detail, HasSubstr("is illegal."));
}

TEST_F(CoreTagsPage, ValidationErrorPageFromTheApplicationTemplate) {
    Write("Application.tsm", "<TSERROR TYPE=\"Validation\" TEMPLATE=\"invalid.htm\">");
    Write("invalid.htm", "Fix: #ERROR.INVALIDFIELDS#");
    Write("page.tsm", "accepted");
    std::map<std::string, std::string> cgi = Script("/page.tsm");
    cgi["REQUEST_METHOD"] = "POST";
    cgi["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    const std::string body = "age=abc&age_INTEGER=Age+must+be+a+number";
    cgi["CONTENT_LENGTH"] = std::to_string(body.size());
    PageOutcome out = RunPage<CQueryPage>(cgi, body);
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body.rfind("Fix: <UL><LI>", 0), 0u) << out.body;
    EXPECT_THAT(out.body, Not(HasSubstr("accepted")));

    cgi = Script("/page.tsm");
    cgi["REQUEST_METHOD"] = "POST";
    cgi["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    const std::string good = "age=42&age_INTEGER=Age+must+be+a+number";
    cgi["CONTENT_LENGTH"] = std::to_string(good.size());
    EXPECT_EQ(RunPage<CQueryPage>(cgi, good).body, "accepted");
}

TEST_F(CoreTagsPage, RequestErrorPageReplacesTheEnginesPage) {
    Write("err.htm", "Sorry: #error.mailto# [#ERROR.QUERYSTRING#] #ERROR.DIAGNOSTICS#");
    Write("page.tsm",
          "<TSERROR TYPE=\"request\" TEMPLATE=\"err.htm\" MAILTO=\"web@example.com\"><TSPARAM NAME=\"nope\">");
    TestRequest request(Script("/page.tsm", "a=<b>"));
    request.ParseCgiEnvironment();
    NullChannel channel;
    CReplyWriter writer(&channel);
    CQueryPage page(services().Services());
    std::string pageText, message;
    try {
        page.Run(nullptr, settings(), &request, &writer);
    } catch (CWebException* e) {
        pageText = e->GetPageText();
        message = e->GetMessage();
        e->Delete();
    }
    page.Finish();
    EXPECT_EQ(message, "Required parameter <B>nope</B> not found<P>");
    EXPECT_EQ(pageText.rfind("Sorry: web@example.com [a=&lt;b&gt;] Required parameter <B>nope</B> not found", 0), 0u)
        << pageText;

    Write("page.tsm", "<TSERROR TYPE=\"exception\" TEMPLATE=\"err.htm\">");
    EXPECT_EQ(Run(ReadBack("page.tsm")).title, "Invalid TSERROR Tag<P>");
}

}  // namespace
