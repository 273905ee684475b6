#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "engine/templates/template_page.h"
#include "template_test_site.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class TemplateRun : public TemplateSite {};

// Templates are read in text mode: a CR right before an LF is dropped, every other byte stays.
std::string TextMode(std::string text) {
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;) text.erase(at, 1);
    return text;
}

TEST_F(TemplateRun, PlainTextPassesThroughInTextMode) {
    const std::string texts[] = {
        "<HTML><BODY>Hello, world</BODY></HTML>\n",
        "line one\r\nline two\r\n\r\n<P>mixed\nends\r\r\nlast",
        "a < b > c & d # e ## f\n<notatag attr=\"x\">\n",
        std::string(70000, 'x') + "\n",
    };
    for (const std::string& text : texts) {
        Write("page.tsm", text);
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        ASSERT_FALSE(out.failed) << out.title << out.detail;
        EXPECT_EQ(out.body, TextMode(text));
    }
}

TEST_F(TemplateRun, CommentsVanish) {
    Write("page.tsm", "a<!--- hidden <!--- nested ---> still --->b\r\nc");
    EXPECT_EQ(RunPage<CQueryPage>(Script("/page.tsm")).body, "ab\nc");
}

TEST_F(TemplateRun, IncludeRunsTheFileInPlaceAndRelativeToTheIncluder) {
    Write("sub/page.tsm", "before\n<TSINCLUDE TEMPLATE=\"inc.tsm\">after\n");
    Write("sub/inc.tsm", "[included <TSINCLUDE TEMPLATE=\"../deeper/leaf.tsm\">]");
    Write("deeper/leaf.tsm", "leaf");
    Write("sub/empty.tsm", "");
    PageOutcome out = RunPage<CQueryPage>(Script("/sub/page.tsm"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "before\n[included leaf]after\n");

    Write("sub/page.tsm", "x<TSINCLUDE TEMPLATE=empty.tsm>y");
    out = RunPage<CQueryPage>(Script("/sub/page.tsm"));
    ASSERT_FALSE(out.failed) << out.title;
    EXPECT_EQ(out.body, "xy");
}

TEST_F(TemplateRun, RecursiveIncludeListsTheChain) {
    Write("a.tsm", "<TSINCLUDE TEMPLATE=\"b.tsm\">");
    Write("b.tsm", "<TSINCLUDE TEMPLATE=\"a.tsm\">");
    PageOutcome out = RunPage<CQueryPage>(Script("/a.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_EQ(out.title, "Recursive template file includes not permitted.<P>");
    // The chain names the files as the disk does.
    std::string a = docs() + "/a.tsm", b = docs() + "/b.tsm";
    EXPECT_THAT(out.detail, HasSubstr("<P><PRE>  " + a + "\n    " + b + "\n      " + a + "\n</PRE><P>"));
}

TEST_F(TemplateRun, RecursiveIncludeUnderAnotherSpellingOfThePathIsRefused) {
    std::filesystem::create_directories(docs() + "/sub");
    std::filesystem::create_directory_symlink(docs(), docs() + "/loop");
    for (const char* include : {"./a.tsm", "sub/../a.tsm", "loop/a.tsm"}) {
        Write("a.tsm", std::string("x<TSINCLUDE TEMPLATE=\"") + include + "\">");
        PageOutcome out = RunPage<CQueryPage>(Script("/a.tsm"));
        ASSERT_TRUE(out.failed) << include;
        EXPECT_EQ(out.title, "Recursive template file includes not permitted.<P>") << include;
    }
}

TEST_F(TemplateRun, LoopMustCloseInTheFileThatOpensIt) {
    Write("open.tsm", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\">[");
    Write("none.tsm", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\">[");
    Write("close.tsm", "]</TSLOOP>");
    for (const char* opener : {"open.tsm", "none.tsm"}) {
        Write("page.tsm", std::string("<TSINCLUDE TEMPLATE=") + opener + "><TSINCLUDE TEMPLATE=close.tsm>after");
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        ASSERT_TRUE(out.failed) << opener << out.body;
        EXPECT_THAT(out.title, HasSubstr("There are more TSLOOP tags than there are /TSLOOP tags."));
    }
    // An empty loop left open in the main template is reported too, not a silent end.
    Write("page.tsm", "a<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"0\">b");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed) << out.body;
    EXPECT_THAT(out.title, HasSubstr("There are more TSLOOP tags than there are /TSLOOP tags."));
}

TEST_F(TemplateRun, ApplicationTemplateNearestUpwardRunsFirstAndOnlyOnce) {
    Write("Application.tsm", "[root app]");
    Write("a/Application.tsm", "[a app]");
    Write("a/b/page.tsm", "page");
    PageOutcome out = RunPage<CQueryPage>(Script("/a/b/page.tsm"));
    ASSERT_FALSE(out.failed) << out.title;
    EXPECT_EQ(out.body, "[a app]page");

    Write("a/Application.tsm", "");  // an empty one is found, and skipped silently
    EXPECT_EQ(RunPage<CQueryPage>(Script("/a/b/page.tsm")).body, "page");
}

TEST_F(TemplateRun, ARequestedNameThatIsNoReadableTemplateIsNotFoundWhereItWasBefore) {
    Write("Application.tsm", "[app]");
    Write("page.tsm", "page");
    std::filesystem::create_directories(docs() + "/folder.tsm");
    ASSERT_EQ(::mkfifo((docs() + "/fifo.tsm").c_str(), 0600), 0);
    std::filesystem::create_symlink(home() + "/registry.db", docs() + "/store.tsm");
    std::filesystem::create_symlink(docs() + "/gone.tsm", docs() + "/dangling.tsm");
    const struct {
        const char* name;
        bool found;  // passes the look by name, and is refused only once opened
    } cases[] = {
        {"missing.tsm", false}, {"folder.tsm", false}, {"store.tsm", false},
        {"dangling.tsm", false}, {"fifo.tsm", true},
    };
    for (const auto& c : cases) {
        const std::string physical = docs() + "/" + c.name;
        for (const auto& cgi : {Script(std::string("/") + c.name), {{"TS_TEMPLATE_PATH", physical}}}) {
            // A FIFO without a writer answers at once: it is never waited on.
            PageOutcome out = RunPage<CQueryPage>(cgi);
            ASSERT_TRUE(out.failed) << c.name;
            EXPECT_EQ(out.title, "Template file <B>" + physical + "</B> not found.<P>") << c.name;
            // Found by name, the file is refused when it is read, after the application's
            // template ran; not found by name, the page says how the path was made.
            const bool logical = cgi.count("SCRIPT_NAME") != 0;
            EXPECT_EQ(out.detail.find("calculated from the logical path") != std::string::npos, logical && !c.found)
                << c.name << "\n" << out.detail;
            EXPECT_EQ(out.detail.find("TSINCLUDE whenever possible") != std::string::npos, logical && !c.found)
                << c.name;
        }
    }
    PageOutcome ok = RunPage<CQueryPage>({{"TS_TEMPLATE_PATH", docs() + "/page.tsm"}});
    ASSERT_FALSE(ok.failed) << ok.title;
    EXPECT_EQ(ok.body, "[app]page");
}

TEST_F(TemplateRun, AnOpenTsifNamesTheFileItIsInAsFoundOnDisk) {
    Write("sub/page.tsm", "<TSINCLUDE TEMPLATE=\"Inc.TSM\"><TSIF TRUE>x");
    Write("sub/inc.tsm", "included");
    const std::string page = docs() + "/sub/page.tsm";
    for (const auto& cgi : {Script("/sub/page.tsm"), {{"TS_TEMPLATE_PATH", docs() + "/SUB/PAGE.TSM"}}}) {
        PageOutcome out = RunPage<CQueryPage>(cgi);
        ASSERT_TRUE(out.failed);
        // After the include, the place is the includer's again.
        EXPECT_THAT(out.title + out.detail,
                    HasSubstr("The TSIF tag on line 1 of the template file " + page + " is not closed"));
    }
    Write("sub/page.tsm", "<TSIF TRUE>a</TSIF><TSINCLUDE TEMPLATE=\"Inc.TSM\">");
    Write("sub/inc.tsm", "\n<TSIF TRUE>x");
    PageOutcome out = RunPage<CQueryPage>(Script("/sub/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title + out.detail,
                HasSubstr("The TSIF tag on line 2 of the template file " + docs() + "/sub/inc.tsm is not closed"));
}

TEST_F(TemplateRun, ApplicationTemplateCannotBeRequested) {
    Write("Application.tsm", "secret");
    for (auto cgi : {Script("/Application.tsm"), Script("", "TEMPLATE=/application.tsm")}) {
        if (cgi["SCRIPT_NAME"].empty()) cgi.erase("SCRIPT_NAME");
        PageOutcome out = RunPage<CQueryPage>(cgi);
        ASSERT_TRUE(out.failed);
        EXPECT_EQ(out.title, "Invalid Request of <B>APPLICATION.TSM</B> File<P>");
        EXPECT_THAT(out.body, Not(HasSubstr("secret")));
    }
}

TEST_F(TemplateRun, TemplateNamingErrors) {
    Write("page.tsm", "ok");
    const struct {
        std::map<std::string, std::string> cgi;
        const char* title;
    } cases[] = {
        {{{"REMOTE_ADDR", "1.2.3.4"}}, "No template file information passed<P>"},
        {{{"SCRIPT_NAME", "/missing.tsm"}}, ""},
        {{{"QUERY_STRING", "TEMPLATE=report.rpt"}}, "Invalid template path specified<P>"},
        {{{"QUERY_STRING", "TEMPLATE=/a/../page.tsm"}},
         "The template specification, '<i>/a/../page.tsm</i>', is illegal.<P>"},
        {{{"QUERY_STRING", "TEMPLATE=//page.tsm"}}, "The template specification, '<i>//page.tsm</i>', is illegal.<P>"},
        // A client header never stands in for the gateway's variable.
        {{{"HTTP_TS_TEMPLATE_PATH", "/etc/passwd"}}, "No template file information passed<P>"},
    };
    for (const auto& c : cases) {
        PageOutcome out = RunPage<CQueryPage>(c.cgi);
        ASSERT_TRUE(out.failed);
        if (*c.title) {
            EXPECT_EQ(out.title, c.title);
        }
    }
    PageOutcome missing = RunPage<CQueryPage>({{"SCRIPT_NAME", "/missing.tsm"}});
    EXPECT_THAT(missing.title, HasSubstr("Template file <B>"));
    EXPECT_THAT(missing.title, HasSubstr("/missing.tsm</B> not found.<P>"));
    EXPECT_THAT(missing.detail,
                HasSubstr("(the physical file path was calculated from the logical path '/missing.tsm')"));

    PageOutcome viaUrl = RunPage<CQueryPage>({{"QUERY_STRING", "TEMPLATE=page.tsm"}});
    ASSERT_FALSE(viaUrl.failed) << viaUrl.title;
    EXPECT_EQ(viaUrl.body, "ok");
    Set("Server", "AllowURLTemplate", "0");
    EXPECT_EQ(RunPage<CQueryPage>({{"QUERY_STRING", "TEMPLATE=page.tsm"}}).title,
              "No template file information passed<P>");
}

TEST_F(TemplateRun, LogicalFoldersMapThroughTheRegistry) {
    std::string elsewhere = home() + "/elsewhere";
    std::filesystem::create_directories(elsewhere + "/deep");
    std::ofstream(elsewhere + "/deep/page.tsm") << "mapped";
    Set("Templates", "/app/", elsewhere);
    PageOutcome out = RunPage<CQueryPage>(Script("/app/deep/page.tsm/extra.x"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "mapped");

    Set("Templates", "/", "");
    out = RunPage<CQueryPage>(Script("/other/page.tsm"));
    EXPECT_EQ(out.title, "Root template directory has not been specified.<P>");
}

TEST_F(TemplateRun, TemplatePathFromScriptName) {
    const std::pair<const char*, const char*> cases[] = {
        // The extension is found in any case; the path keeps the case it was asked in.
        {"/app/page.tsm/extra.x", "/app/page.tsm"},
        {"/a/b.ksm", "/a/b.ksm"},
        {"/a/b.tsmx", "/a/b.tsm"},
        {"/Site/Guest/Index.TsM", "/Site/Guest/Index.TsM"},
        {"/a/b.html", ""},
        {"", ""},
        {".tsm", ".tsm"},
    };
    for (const auto& [in, expected] : cases) EXPECT_EQ(CQueryPage::TemplatePathFromScriptName(in), expected) << in;
}

TEST_F(TemplateRun, SyntaxErrorPageQuotesTheLinesAroundTheError) {
    std::string text;
    for (int i = 1; i <= 100; ++i) text += i == 30 ? "<TSCOOKIE BOGUS>\n" : "line " + std::to_string(i) + " <b>\n";
    Write("big.tsm", text);
    PageOutcome out = RunPage<CQueryPage>(Script("/big.tsm", "x=%3Cscript%3E"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("An error occurred while attempting to process a TSCOOKIE tag.<P>"));
    EXPECT_THAT(out.title, HasSubstr("The error occurred on (or near) line 30 of the template file "));
    EXPECT_THAT(out.title, HasSubstr("<PRE>    26: line 26 &lt;b&gt;\n    27: line 27 &lt;b&gt;\n    28: line 28 "
                                     "&lt;b&gt;\n    29: line 29 &lt;b&gt;\n    30: &lt;TSCOOKIE BOGUS&gt;\n    31: "
                                     "line 31 &lt;b&gt;\n</PRE><P>"));
    EXPECT_THAT(out.title, Not(HasSubstr("line 25 ")));
    EXPECT_THAT(out.title, HasSubstr("<BR>Browser: TestBrowser/1.0<BR>Remote Address: 10.1.2.3"));
    EXPECT_THAT(out.title, HasSubstr("<BR>Query String: x=%3Cscript%3E"));
    EXPECT_THAT(out.title, HasSubstr("<P>Date/Time: "));
}

TEST_F(TemplateRun, SyntaxErrorExcerptCountsLongLinesOnce) {
    Write("long.tsm", "line 1\n" + std::string(5000, 'x') + "\nline 3\n<TSCOOKIE BOGUS>\nline 5\n");
    PageOutcome out = RunPage<CQueryPage>(Script("/long.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("line 4 of the template file"));
    EXPECT_THAT(out.title, HasSubstr("     2: " + std::string(5000, 'x') +
                                     "\n     3: line 3\n     4: &lt;TSCOOKIE "
                                     "BOGUS&gt;\n     5: line 5\n</PRE>"))
        << out.title.substr(0, 300);
}

TEST_F(TemplateRun, SyntaxErrorListsTheExpectedTokens) {
    Write("page.tsm", "text\n<TSIF x");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("An error occurred while attempting to process a TSIF or TSELSEIF tag.<P>"));
    EXPECT_THAT(out.title, HasSubstr("line 2 of the template file"));
    EXPECT_THAT(out.title, HasSubstr("The syntax error occurred while looking for the following valid tokens:<P><UL>"
                                     "<LI>a boolean expression to be evaluated by TSIF or TSELSEIF<P>"
                                     "<LI>End tag character (&gt;)<P></UL><P>Date/Time: "));
    EXPECT_THAT(out.body, HasSubstr("text\n"));  // written output stays written

    // Where any of many tokens could follow, the list is left out.
    Write("page.tsm", "text\n<TSINCLUDE TEMPLATE=\"x.tsm\"");
    out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("An error occurred while attempting to process a TSINCLUDE tag.<P>"));
    EXPECT_THAT(out.title, Not(HasSubstr("The syntax error occurred while looking for")));
    EXPECT_THAT(out.title, HasSubstr("</PRE><P><P>Date/Time: "));
}

TEST_F(TemplateRun, EmptyTemplateIsReported) {
    Write("empty.tsm", "");
    PageOutcome out = RunPage<CQueryPage>(Script("/empty.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("Error processing template file '"));
    EXPECT_THAT(out.title,
                HasSubstr("'<P>The template file is invalid because it contains 0 bytes (templates may not be "
                          "empty)."));
}

TEST_F(TemplateRun, ConditionsGateOutputAndNestedTagsStillCount) {
    Write("page.tsm",
          "a<TSIF FALSE>b<TSIF TRUE>c<TSELSE>d</TSIF>e<TSELSEIF 1>f<TSELSE>g</TSIF>h"
          "<TSIF \"no\">i<TSELSEIF #flag#>j<TSELSE>k</TSIF>l");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm", "flag=yes"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "afhjl");

    Write("page.tsm", "a<TSIF TRUE>b");
    out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.title, HasSubstr("are not properly matched"));
    Write("page.tsm", "a</TSIF>");
    EXPECT_THAT(RunPage<CQueryPage>(Script("/page.tsm")).title, HasSubstr("are not properly matched"));
}

TEST_F(TemplateRun, SetAndAttributeSubstitution) {
    Write("page.tsm",
          "<TSSET greeting=\"hi \"\"#URL.who#\"\"\"><TSSET n=5>"
          "<TSINCLUDE TEMPLATE=\"#file#.tsm\">");
    Write("part.tsm", "[part]");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm", "who=bob&file=part"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "[part]");
}

TEST_F(TemplateRun, UnsupportedTagsStopWithAClearError) {
    const std::pair<const char*, const char*> cases[] = {
        {"<TSOBJECT NAME=\"x\" DEBUG>", "TSOBJECT tag not supported<P>"},
    };
    for (const auto& [text, title] : cases) {
        Write("page.tsm", text);
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
        ASSERT_TRUE(out.failed) << text;
        EXPECT_EQ(out.title, title);
        EXPECT_THAT(out.detail, HasSubstr("<P>Date/Time: "));
    }
    // Skipped by a false condition, the tag never runs.
    Write("page.tsm", "a<TSIF FALSE><TSOBJECT NAME=\"x\"></TSIF>b");
    EXPECT_EQ(RunPage<CQueryPage>(Script("/page.tsm")).body, "ab");
}

TEST_F(TemplateRun, ErrorPageEscapesRequestText) {
    Write("page.tsm", "<TSOBJECT NAME=\"x\">");
    std::map<std::string, std::string> cgi = Script("/page.tsm", "a=<b>");
    cgi["HTTP_USER_AGENT"] = "<script>alert(1)</script>";
    cgi["HTTP_REFERER"] = "\"><img>";
    PageOutcome out = RunPage<CQueryPage>(cgi);
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.detail, HasSubstr("<BR>Browser: &lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_THAT(out.detail, HasSubstr("<BR>HTTP Referer: &quot;&gt;&lt;img&gt;"));
    EXPECT_THAT(out.detail, HasSubstr("<BR>Query String: a=&lt;b&gt;"));
    EXPECT_THAT(out.detail, Not(HasSubstr("<script>")));
}

TEST_F(TemplateRun, ValidationFailureAnswersWithTheProblemPage) {
    Write("page.tsm", "stored");
    std::map<std::string, std::string> cgi = Script("/page.tsm");
    cgi["REQUEST_METHOD"] = "POST";
    cgi["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    std::string body = "AGE=4+2&AGE_INTEGER=&NAME_REQUIRED=";
    cgi["CONTENT_LENGTH"] = std::to_string(body.size());
    PageOutcome out = RunPage<CQueryPage>(cgi, body);
    ASSERT_FALSE(out.failed) << out.title;
    EXPECT_THAT(out.body, HasSubstr("<TITLE>Form Entries Incomplete or Invalid</TITLE>"));
    EXPECT_THAT(out.body, HasSubstr("<LI>A value must be entered for the <B>Name</B> field.<P>"));
    EXPECT_THAT(out.body,
                HasSubstr("<LI>Data entered in the <B>Age</B> field must be a number (you entered '4 2').<P>"));
    EXPECT_THAT(out.body, Not(HasSubstr("stored")));
}

TEST_F(TemplateRun, CookiesLeaveOnlyWithASuccessfulPage) {
    Write("page.tsm",
          "<TSCOOKIE NAME=\"id\" VALUE=\"a b&c\"><TSCOOKIE NAME=\"s\" VALUE=\"1\" DOMAIN=\"example.com\" SECURE>"
          "<TSCOOKIE NAME=\"ID\" VALUE=\"second\">");
    PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.headers, "Set-Cookie: ID=second; path=/; \nSet-Cookie: S=1; path=/; domain=example.com; secure\n");

    Write("page.tsm", "<TSCOOKIE NAME=\"id\" VALUE=\"1\"><TSOBJECT NAME=\"x\">");
    out = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(out.failed);
    EXPECT_THAT(out.headers, Not(HasSubstr("Set-Cookie")));
}

TEST_F(TemplateRun, EndOfRunMismatchesSendNoCookiesAndTheExcerptEscapesApostrophes) {
    // The end-of-run checks come before the page is finished: a mismatch is an error page
    // like any other.
    Write("page.tsm", "<TSCOOKIE NAME=\"id\" VALUE=\"1\">\n<TSIF TRUE>open");
    PageOutcome open = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(open.failed);
    EXPECT_THAT(open.title, HasSubstr("are not properly matched"));
    EXPECT_THAT(open.headers, Not(HasSubstr("Set-Cookie")));

    Write("page.tsm", "it's \"<TSCOOKIE BOGUS>\"");
    PageOutcome quoted = RunPage<CQueryPage>(Script("/page.tsm"));
    ASSERT_TRUE(quoted.failed);
    EXPECT_THAT(quoted.title, HasSubstr("     1: it&#39;s &quot;&lt;TSCOOKIE BOGUS&gt;&quot;"));
}

TEST_F(TemplateRun, CookieErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"<TSCOOKIE VALUE=\"1\">", "NAME attribute not specified<P>"},
        {"<TSCOOKIE NAME=\"a\" EXPIRES=\"soon\">", "Invalid EXPIRES attribute<P>"},
        {"<TSCOOKIE NAME=\"#URL.n#\">", "Invalid TSCOOKIE NAME attribute<P>"},
        {"<TSCOOKIE NAME=\"a\" PATH=\"#URL.n#\">", "Invalid TSCOOKIE PATH attribute<P>"},
    };
    for (const auto& [text, title] : cases) {
        Write("page.tsm", text);
        PageOutcome out = RunPage<CQueryPage>(Script("/page.tsm", "n=x%0D%0ALocation:+evil"));
        ASSERT_TRUE(out.failed) << text;
        EXPECT_EQ(out.title, title);
        EXPECT_THAT(out.headers, Not(HasSubstr("Set-Cookie")));
    }
}

TEST_F(TemplateRun, CookieReadsTheValueSetEarlierInTheRequest) {
    Write("page.tsm", "<TSCOOKIE NAME=\"id\" VALUE=\"new\"><TSINCLUDE TEMPLATE=\"#COOKIE.id#.tsm\">");
    Write("new.tsm", "[new]");
    std::map<std::string, std::string> cgi = Script("/page.tsm");
    cgi["HTTP_COOKIE"] = "id=old";
    PageOutcome out = RunPage<CQueryPage>(cgi);
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "[new]");
}

TEST_F(TemplateRun, TruncatedAndOddTemplatesEndInAPageNotACrash) {
    const char* texts[] = {
        "<",
        "<TS",
        "<TSIF",
        "<TSIF >",
        "<TSSET x=",
        "<TSSET =1>",
        "<TSCOOKIE NAME=",
        "<TSCOOKIE NAME=\"a\"",
        "<!--- open",
        "<TSOUTPUT>",
        "<TSINCLUDE TEMPLATE=>",
        "<TSINCLUDE>",
        "</TSIF>",
        "<TSELSE>",
        "<TSELSEIF x>",
        "<TSCOOKIE SECURE SECURE NAME=a>",
        "<TSAPPLICATION NAME=\"a\" CLIENTMANAGEMENT=\"maybe\">",
        "<TSCOOKIE NAME=\"\"\"\">",
        "\x01\x02\xff<TSIF \xff>",
    };
    for (const char* text : texts) {
        Write("odd.tsm", text);
        PageOutcome out = RunPage<CQueryPage>(Script("/odd.tsm"));
        if (out.failed) {
            EXPECT_FALSE(out.title.empty()) << text;
        }
    }
}

}  // namespace
