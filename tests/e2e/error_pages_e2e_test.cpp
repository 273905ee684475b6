// The engine's error pages through the whole road: the HTTP status they answer with, one
// whole page even when the template had already written some, and the line the error is on.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site_test.h"
#include "tests/common/text_matchers.h"

namespace {

using tessaro::test::CountOf;
using ::testing::HasSubstr;
using ::testing::Not;

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class ErrorPages : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
};

TEST_F(ErrorPages, AFailedRequestAnswers500WithOneWholePage) {
    auto page = Page("late.tsm", "<HTML><BODY><P>before the error</BODY></HTML>\n<TSOUTPUT>#NoSuchName#</TSOUTPUT>");
    EXPECT_EQ(page.status, 500) << page.error;
    EXPECT_EQ(page.body.rfind("<HTML><HEAD><TITLE>Error Occurred While Processing Request</TITLE></HEAD>", 0), 0u)
        << page.body;
    EXPECT_EQ(CountOf(page.body, "<HTML>"), 1u) << page.body;
    // (The template's lines are quoted, escaped; what it wrote is gone.)
    EXPECT_THAT(page.body, Not(HasSubstr("<P>before the error")));
    EXPECT_THAT(page.body, HasSubstr("Error resolving parameter <B>NoSuchName</B>"));

    // An unclosed conditional block is an error page too, not the page with the error behind it.
    auto open = Page("open.tsm", "<HTML><BODY>\n<TSIF 1 IS 1>\n<P>yes\n</BODY></HTML>\n");
    EXPECT_EQ(open.status, 500);
    EXPECT_EQ(CountOf(open.body, "<HTML>"), 1u) << open.body;
    EXPECT_THAT(open.body, Not(HasSubstr("<P>yes")));
    EXPECT_THAT(open.body, HasSubstr("The TSIF tag on line 2 of the template file "));

    // An unclosed query block says so, and where it opened, rather than that its SQL is missing.
    auto query = Page("query.tsm", "<P>one\n<TSQUERY DATASOURCE=\"nowhere\">SELECT 1\n<P>three\n");
    EXPECT_EQ(query.status, 500);
    EXPECT_THAT(query.body, HasSubstr("TSQUERY tag not closed."));
    EXPECT_THAT(query.body, HasSubstr("The TSQUERY tag on line 2 of the template file "));

    // The application's own error page keeps the status of the failure.
    site.WriteDocument("oops.htm", "<P>Sorry.");
    auto own = Page("own.tsm", "<TSERROR TYPE=\"Request\" TEMPLATE=\"oops.htm\"><TSOUTPUT>#NoSuchName#</TSOUTPUT>");
    EXPECT_EQ(own.status, 500);
    EXPECT_EQ(own.body, "<P>Sorry.");

    auto fine = Page("fine.tsm", "<P>fine");
    EXPECT_EQ(fine.status, 200);
}

// The engine's own pages say they are UTF-8 (they quote the template's lines and the form's
// values as they are); a template's page keeps the type it declares, or the plain default.
TEST_F(ErrorPages, TheEnginesOwnPagesAreUtf8) {
    auto error = Page("utf8-error.tsm", "<P>M\xC3\xBCnchen\n<TSOUTPUT>#NoSuchName#</TSOUTPUT>");
    EXPECT_EQ(error.status, 500);
    EXPECT_EQ(error.Header("Content-type"), "text/html; charset=utf-8");
    EXPECT_THAT(error.body, HasSubstr("M\xC3\xBCnchen"));
    // Even after the template had declared another type.
    auto typed = Page("utf8-typed.tsm", "<TSCONTENT TYPE=\"text/plain\"><TSOUTPUT>#NoSuchName#</TSOUTPUT>");
    EXPECT_EQ(typed.Header("Content-type"), "text/html; charset=utf-8");

    // The problem page of a form that breaks its rules.
    site.WriteDocument("utf8-form.tsm", "<P>stored");
    auto problem = e2e::HttpRequest(site.port(), "POST", "/utf8-form.tsm",
                                    {"Content-Type: application/x-www-form-urlencoded"},
                                    "Stadt=&Stadt_required=" + e2e::FormEncode("Die Stadt (M\xC3\xBCnchen) fehlt."));
    EXPECT_THAT(problem.body, HasSubstr("Form Entries Incomplete or Invalid"));
    EXPECT_THAT(problem.body, HasSubstr("M\xC3\xBCnchen"));
    EXPECT_EQ(problem.Header("Content-type"), "text/html; charset=utf-8");

    EXPECT_EQ(Page("utf8-plain.tsm", "<P>fine").Header("Content-type"), "text/html");
    EXPECT_EQ(Page("utf8-own.tsm", "<TSCONTENT TYPE=\"text/plain\">fine").Header("Content-type"), "text/plain");
}

struct LineCase {
    const char* name;
    const char* text;  // LF line ends; each case also runs with CR LF
    long line;
};

// Templates with an error on a known line: syntax errors, errors of running expressions and
// tags, and a block left open at the end of the file.
const LineCase kLineCases[] = {
    {"unclosed-tag", "<P>one\n<P>two\n<TSINCLUDE TEMPLATE=\"x.tsm\"\n", 3},
    {"function-arguments", "<P>one\n<TSOUTPUT>#Left(\"abc\")#</TSOUTPUT>", 2},
    {"function-last-line-feed", "<P>one\n<TSOUTPUT>#Left(\"abc\")#</TSOUTPUT>\n", 2},
    {"unterminated-expression", "<P>one\n<P>two\n<TSOUTPUT>#Name</TSOUTPUT>\n\n<P>after\n", 3},
    {"condition", "<P>one\n<TSSET x = 1>\n<P>three\n<TSIF x IS>yes</TSIF>\n<P>five\n", 4},
    {"output-never-closed", "1\n2\n3\n4\n5\n<TSOUTPUT>six\n", 6},
    // Errors of tags that run: each names the tag's line.
    {"include-missing", "<P>one\n<P>two\n<TSINCLUDE TEMPLATE=\"missing.tsm\">\n<P>four\n", 3},
    {"output-query-never-ran", "<P>one\n<TSOUTPUT QUERY=\"qq\">#x#</TSOUTPUT>\n<P>three\n", 2},
    {"file-path-refused", "<P>one\n<P>two\n<TSFILE ACTION=\"READ\" FILE=\"/etc/../etc/passwd\" VARIABLE=\"v\">\n", 3},
    {"extension-unregistered", "<P>one\n<P>two\n<TSX_NOSUCHTAG A=\"1\">\n<P>four\n", 3},
    // The line of an unmatched "#" is its own, not the line its text began on.
    {"unmatched-pound", "<P>one\n<TSOUTPUT>\n<P>a\n<P>b #x\n<P>c\n</TSOUTPUT>\n", 4},
    // A tag without its ">" is found where the next tag begins.
    {"tag-without-end", "<P>one\n<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"\n<P>x\n</TSLOOP>\n", 3},
};

TEST_F(ErrorPages, TheLineOfTheErrorIsTheLineItIsOn) {
    for (const LineCase& c : kLineCases) {
        for (bool crlf : {false, true}) {
            std::string file = std::string(c.name) + (crlf ? "-crlf" : "-lf") + ".tsm";
            SCOPED_TRACE(file);
            std::string text = crlf ? WithCrLf(c.text) : c.text;
            auto page = Page(file, text);
            EXPECT_EQ(page.status, 500) << page.body;
            EXPECT_THAT(page.body, HasSubstr("The error occurred on (or near) line " + std::to_string(c.line) + " of"));

            // The same text included from another template, two lines down.
            site.WriteDocument("inc-" + file, text);
            auto included = Page("main-" + file, "<P>main\n<P>main\n<TSINCLUDE TEMPLATE=\"inc-" + file + "\">\n");
            EXPECT_EQ(included.status, 500) << included.body;
            // The included file is named, as the disk has it (not upper-cased).
            EXPECT_THAT(included.body, HasSubstr("The error occurred on (or near) line " + std::to_string(c.line) +
                                                 " of the template file " + site.document_root() + "/inc-" + file));
        }
    }
}

// A TSFILE upload refused for its type names the tag's line too.
TEST_F(ErrorPages, ARefusedUploadNamesTheLineOfItsTag) {
    site.WriteDocument("upload.tsm",
                       "<P>one\n<TSFILE ACTION=\"UPLOAD\" FILEFIELD=\"f\" DESTINATION=\"#ExpandPath('.')#\" "
                       "ACCEPT=\"image/gif\">\n<P>three\n");
    std::string contentType;
    const std::string body = e2e::MultipartFileBody("f", "notes.txt", "text", &contentType);
    auto page = e2e::HttpRequest(site.port(), "POST", "/upload.tsm", {"Content-Type: " + contentType}, body);
    EXPECT_EQ(page.status, 500) << page.body;
    EXPECT_THAT(page.body, HasSubstr("was not accepted by the server"));
    EXPECT_THAT(page.body, HasSubstr("The error occurred on (or near) line 2 of"));
}

// A syntax error says in words what is wrong and where the tag it concerns opened, beside the
// parser's own texts.
TEST_F(ErrorPages, SyntaxErrorsSayWhatIsWrongAndWhereTheTagOpened) {
    const struct {
        const char* name;
        const char* text;
        const char* words;
        const char* also;  // another text the page shows ("" for none)
    } cases[] = {
        {"no-end-before-a-tag", "<P>one\n<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"\n<P>x\n</TSLOOP>\n",
         "The TSLOOP tag opened on line 2 is not closed: a &gt; must end it before the &lt; on line 3.",
         "An error occurred while attempting to process a TSLOOP tag."},
        {"no-end-at-the-end", "<P>one\n<TSINCLUDE TEMPLATE=\"x.tsm\"\n",
         "The TSINCLUDE tag opened on line 2 is not closed: the file ends before its closing &gt;.", ""},
        {"no-closing-quote", "<P>one\n<TSCOOKIE NAME=\"c\" VALUE=\"v>\n<P>three\n",
         "The TSCOOKIE tag opened on line 2 is not closed: a quoted value in it has no closing double quote.", ""},
        {"section-not-closed", "<P>one\n<P>two\n<TSOUTPUT>\n<P>a\n<P>b\n",
         "The TSOUTPUT tag opened on line 3 is not closed: the file ends before its &lt;/TSOUTPUT&gt;.",
         "The syntax error occurred while looking for the following valid tokens:"},
        {"mail-not-closed", "<P>one\n<TSMAIL TO=\"a@example.com\" FROM=\"b@example.com\" SUBJECT=\"s\">\nHello\n",
         "The TSMAIL tag opened on line 2 is not closed: the file ends before its &lt;/TSMAIL&gt;.", ""},
        {"unknown-attribute", "<P>one\n<TSQUERY NAM=\"q\" DATASOURCE=\"x\">select 1</TSQUERY>\n",
         "NAM is not an attribute of TSQUERY (line 2). What the tag takes there is listed below.",
         "<LI>NAME attribute<P>"},
        {"text-after-a-tag-without-end", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"\nrepeat <B>x</B>\n</TSLOOP>\n",
         "REPEAT is not an attribute of TSLOOP (line 2). If the TSLOOP tag opened on line 1 ends before it, its "
         "closing &gt; is missing.",
         ""},
    };
    for (const auto& c : cases) {
        for (bool crlf : {false, true}) {
            const std::string file = std::string("words-") + c.name + (crlf ? "-crlf" : "-lf") + ".tsm";
            SCOPED_TRACE(file);
            auto page = Page(file, crlf ? WithCrLf(c.text) : c.text);
            EXPECT_EQ(page.status, 500) << page.body;
            EXPECT_THAT(page.body, HasSubstr(c.words));
            EXPECT_THAT(page.body, HasSubstr(c.also));
        }
    }
}

// A double quote inside an attribute's value ends the value: the page says which attribute on
// which line, and how to write the quotes.
TEST_F(ErrorPages, AQuoteInsideAnAttributeValueIsNamed) {
    const struct {
        const char* tag;
        const char* attribute;
    } cases[] = {
        {"<TSFILE ACTION=\"WRITE\" FILE=\"#ExpandPath(\"notes.txt\")#\" OUTPUT=\"x\">", "FILE"},
        {"<TSFILE ACTION=\"upload\" FILEFIELD=\"f\" DESTINATION=\"#ExpandPath(\"uploads\")#/\">", "DESTINATION"},
        {"<TSCOOKIE NAME=\"c\" VALUE=\"#Left(\"abc\", 1)#\">", "VALUE"},
        {"<TSLOOP INDEX=\"i\" LIST=\"#ListAppend(\"a\", \"b\")#\">x</TSLOOP>", "LIST"},
    };
    int n = 0;
    for (const auto& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(c.tag);
            std::string text = std::string("<P>one\n<P>two\n") + c.tag + "\n<P>four\n";
            auto page = Page("quotes" + std::to_string(++n) + ".tsm", crlf ? WithCrLf(text) : text);
            EXPECT_EQ(page.status, 500) << page.body;
            EXPECT_THAT(page.body, HasSubstr(std::string("The value of the attribute <B>") + c.attribute +
                                             "</B> on line 3 ends at a double quote inside it"));
            EXPECT_THAT(page.body, HasSubstr("The error occurred on (or near) line 3 of"));
        }
    }
    // Written as the guide says, the same values work.
    auto fine = Page("quotes-fine.tsm",
                     "<TSCOOKIE NAME=\"c\" VALUE=\"#Left('abc', 1)#\">"
                     "<TSLOOP INDEX=\"i\" LIST=\"#ListAppend(\"\"a\"\", 'b')#\"><TSOUTPUT>#i#</TSOUTPUT></TSLOOP>");
    EXPECT_EQ(fine.status, 200) << fine.body;
    EXPECT_EQ(fine.body, "ab");
}

// Inside a section body (which runs when its closing tag is read) each instruction's error
// names its own line, and the expression is shown as it is written.
TEST_F(ErrorPages, SectionBodiesNameTheLineOfEachInstruction) {
    const struct {
        const char* name;
        const char* text;
        long line;
        const char* shown;
    } cases[] = {
        {"expression", "<TSOUTPUT>\n<P>a</P>\n<P>b</P>\n<P>#Len(\"abc\"#</P>\n<P>c</P>\n\n\n</TSOUTPUT>\n", 4,
         "<PRE>   Len(&quot;abc&quot;\n</PRE>"},
        {"second-line-of-text", "<TSSET v = 1>\n<TSOUTPUT>#v#\nx #v# y\n#v + \"a\"#\n</TSOUTPUT>", 4,
         "<PRE>   v + &quot;a&quot;\n</PRE>"},
        {"variable", "<TSOUTPUT>\n<P>a</P>\n<P>#nosuch#</P>\n</TSOUTPUT>", 3, "Error resolving parameter"},
        {"condition", "<TSSET x = 1>\n<TSOUTPUT>\n\n<TSIF x IS>y</TSIF>\n</TSOUTPUT>", 4, "<PRE>   x IS\n</PRE>"},
        {"set", "<TSOUTPUT>a\n<TSSET y = 1 +>\n</TSOUTPUT>", 2, "<PRE>   1 +\n</PRE>"},
        {"mail",
         "<TSMAIL SERVER=\"127.0.0.1\" TO=\"a@example.com\" FROM=\"b@example.com\" SUBJECT=\"s\">\nHello\n"
         "#Len(\"abc\"#\n</TSMAIL>",
         3, "<PRE>   Len(&quot;abc&quot;\n</PRE>"},
        {"report", "<TSREPORT REPORT=\"#GetTemplatePath()#\">\n{staff.dept} = 'Sales'\n#Len(\"abc\"#\n</TSREPORT>", 3,
         "<PRE>   Len(&quot;abc&quot;\n</PRE>"},
    };
    for (const auto& c : cases) {
        for (bool crlf : {false, true}) {
            std::string file = std::string("section-") + c.name + (crlf ? "-crlf" : "-lf") + ".tsm";
            SCOPED_TRACE(file);
            auto page = Page(file, crlf ? WithCrLf(c.text) : c.text);
            EXPECT_EQ(page.status, 500) << page.body;
            EXPECT_THAT(page.body, HasSubstr("The error occurred on (or near) line " + std::to_string(c.line) + " of"));
            EXPECT_THAT(page.body, HasSubstr(c.shown));
        }
    }
}

}  // namespace
