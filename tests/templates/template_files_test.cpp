// The files a template names, as the page opens them: another name of a private file, the
// engine's own environment, templates past the size a variable may have, and a folder of an
// included template's path swapped for a link while pages run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/expressions/function_result_limit.h"
#include "engine/templates/tags/file/upload_name.h"
#include "engine/templates/template_page.h"
#include "template_test_site.h"
#include "tests/common/file_text.h"
#include "tests/common/folder_swapper.h"
#include "tests/common/text_matchers.h"

namespace {

using tessaro::test::ContainsText;
using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

using tessaro::test::ReadFileText;

class TemplateFiles : public TemplateSite {
protected:
    void SetUp() override {
        TemplateSite::SetUp();
        if (HasFatalFailure()) return;
        windows = home() + "/windows";
        fs::create_directories(windows);
        std::ofstream(windows + "/secret.ini") << "private-bytes";
    }
    PageOutcome Page(const std::string& name, const std::string& text, const std::string& query = {}) {
        Write(name, text);
        return RunPage<CQueryPage>(Script("/" + name, query));
    }
    // Whether any text the page answered with holds the bytes.
    static bool Shows(const PageOutcome& out, const std::string& bytes) {
        return ContainsText(out.body, bytes) || ContainsText(out.detail, bytes) || ContainsText(out.title, bytes) ||
               ContainsText(out.pageText, bytes);
    }

    std::string windows;
};

TEST_F(TemplateFiles, AnotherNameOfAPrivateFileIsRefusedOnEveryRoad) {
    Set("Mail", "MailServer", "127.0.0.1");
    const std::string hard = docs() + "/hard.ini";
    ASSERT_EQ(::link((windows + "/secret.ini").c_str(), hard.c_str()), 0);
    Write("rows.rpt", "[Report]\nColumns={t.a}\n[Table]\nDatabaseLibrary=x\nFields=a\nFile=hard.ini\n");
    const std::string roads[] = {
        "<TSFILE ACTION=\"READ\" FILE=\"" + hard + "\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
        "<TSFILE ACTION=\"WRITE\" FILE=\"" + hard + "\" OUTPUT=\"evil\">",
        "<TSFILE ACTION=\"APPEND\" FILE=\"" + hard + "\" OUTPUT=\"evil\">",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + hard + "\" DESTINATION=\"" + docs() + "/copy.ini\">",
        "<TSFILE ACTION=\"MOVE\" SOURCE=\"" + hard + "\" DESTINATION=\"" + docs() + "/moved.ini\">",
        "<TSFILE ACTION=\"DELETE\" FILE=\"" + hard + "\">",
        "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + hard + "\">",
        "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"s\" MIMEATTACH=\"" + hard + "\">b</TSMAIL>",
        "<TSREPORT REPORT=\"" + docs() + "/rows.rpt\"></TSREPORT>",
    };
    for (const std::string& road : roads) {
        PageOutcome out = Page("road.tsm", road);
        EXPECT_TRUE(out.failed) << road;
        EXPECT_FALSE(Shows(out, "private-bytes")) << road;
    }
    // An included template that cannot be read is left out.
    PageOutcome include = Page("include.tsm", "[<TSINCLUDE TEMPLATE=\"hard.ini\">]");
    EXPECT_FALSE(include.failed) << include.title << include.detail;
    EXPECT_EQ(include.body, "[]");
    EXPECT_EQ(ReadFileText(windows + "/secret.ini"), "private-bytes");
    EXPECT_TRUE(fs::exists(hard));
    EXPECT_FALSE(fs::exists(docs() + "/copy.ini") || fs::exists(docs() + "/moved.ini"));
}

TEST_F(TemplateFiles, TheEnginesOwnEnvironmentIsNeverRead) {
    Set("Mail", "MailServer", "127.0.0.1");
    const std::string environ = "/proc/self/environ";
    const std::string home = "TESSARO_HOME=" + this->home();
    const std::string roads[] = {
        "<TSFILE ACTION=\"READ\" FILE=\"" + environ + "\" VARIABLE=\"v\"><TSOUTPUT>#v#</TSOUTPUT>",
        "<TSFILE ACTION=\"COPY\" SOURCE=\"" + environ + "\" DESTINATION=\"" + docs() + "/env.txt\">",
        "<TSCONTENT TYPE=\"text/plain\" FILE=\"" + environ + "\">",
        "<TSMAIL TO=\"a@example.test\" FROM=\"b@example.test\" SUBJECT=\"s\" MIMEATTACH=\"" + environ + "\">b</TSMAIL>",
    };
    for (const std::string& road : roads) {
        PageOutcome out = Page("road.tsm", road);
        EXPECT_TRUE(out.failed) << road;
        EXPECT_FALSE(Shows(out, home)) << road;
    }
    EXPECT_FALSE(fs::exists(docs() + "/env.txt"));
}

TEST_F(TemplateFiles, TemplatesAreBoundedLikeARead) {
    Set("Server", "MaxFunctionResultBytes", "4096");
    Write("big.tsm", std::string(5000, 'b'));
    Write("small.tsm", std::string(100, 's'));
    PageOutcome big = Page("page.tsm", "<TSINCLUDE TEMPLATE=\"big.tsm\">");
    ASSERT_TRUE(big.failed);
    EXPECT_THAT(big.detail, HasSubstr("larger than the 4096 bytes"));
    EXPECT_THAT(big.detail, Not(HasSubstr("bbbbbbbb")));
    PageOutcome small = Page("page.tsm", "<TSINCLUDE TEMPLATE=\"small.tsm\">");
    ASSERT_FALSE(small.failed) << small.title << small.detail;
    EXPECT_EQ(small.body, std::string(100, 's'));
    // The requested template and Application.tsm the same way.
    EXPECT_TRUE(RunPage<CQueryPage>(Script("/big.tsm")).failed);
    Write("app/Application.tsm", std::string(5000, 'a'));
    Write("app/page.tsm", "page");
    PageOutcome app = RunPage<CQueryPage>(Script("/app/page.tsm"));
    EXPECT_TRUE(app.failed);
    EXPECT_THAT(app.body, Not(HasSubstr("page")));
}

TEST_F(TemplateFiles, AFolderSwappedWhilePagesRunNeverLeadsAnIncludedTemplateOutside) {
    const std::string outside = home() + "/outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/inc.tsm") << "outside-bytes";
    std::ofstream(outside + "/err.htm") << "outside-bytes";
    std::ofstream(windows + "/inc.tsm") << "private-bytes";
    std::ofstream(windows + "/err.htm") << "private-bytes";
    Write("sub/inc.tsm", "inside");
    Write("sub/err.htm", "error page inside");
    Write("include.tsm", "<TSINCLUDE TEMPLATE=\"sub/inc.tsm\">");
    Write("error.tsm", "<TSERROR TYPE=\"REQUEST\" TEMPLATE=\"sub/err.htm\"><TSFILE ACTION=\"NONE\">");
    for (const std::string& target : {outside, windows}) {
        {
            tessaro::test::FolderSwapper swapper(docs() + "/sub", target);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
            while (std::chrono::steady_clock::now() < end) {
                for (const char* page : {"/include.tsm", "/error.tsm"}) {
                    PageOutcome out = RunPage<CQueryPage>(Script(page));
                    EXPECT_FALSE(Shows(out, "outside-bytes") || Shows(out, "private-bytes")) << page;
                }
            }
            EXPECT_GT(swapper.Swaps(), 0);
        }
        // With the folder left alone both pages find their own files.
        EXPECT_EQ(RunPage<CQueryPage>(Script("/include.tsm")).body, "inside") << target;
        EXPECT_THAT(RunPage<CQueryPage>(Script("/error.tsm")).pageText, HasSubstr("error page inside")) << target;
    }
}

TEST(UploadNames, TemplateNamesAreFoundPastEveryKindOfTrailingWhiteSpace) {
    struct Case {
        std::string name;
        bool names;
    } const cases[] = {
        {"shell.tsm", true},
        {"SHELL.KsM", true},
        {"shell.tsm.", true},
        {"shell.tsm ", true},
        {"shell.tsm\t", true},
        {"shell.tsm\v", true},
        {"shell.tsm\r\n", true},
        {"shell.tsm\f", true},
        {"shell.tsm\xC2\xA0", true},
        {"shell.tsm\xA0", true},
        {"shell.tsm\xE2\x80\x83", true},
        {"shell.tsm\xE3\x80\x80 .", true},
        {"shell.tsm\xEF\xBB\xBF", true},
        {"shell.tsm\xC2\x85", true},
        {"shell.tsmx", false},
        {"shell.gif", false},
        {"shell.ts m", false},
        {"tsm", false},
        {"shell.tsm\xC3\xA0", false},
    };
    for (const Case& c : cases) EXPECT_EQ(NamesATemplate(c.name), c.names) << c.name;
}

TEST(UploadNames, ControlCharactersAreFoundAnywhere) {
    for (const std::string& name : {std::string("a\tb.gif"), std::string("a.gif\r\n"), std::string("a\x7F.gif"),
                                    std::string("\x01"
                                                "a.gif"),
                                    std::string("a\xC2\x85.gif"), std::string("a\0b", 3)})
        EXPECT_TRUE(HasControlCharacter(name)) << name;
    for (const std::string& name : {std::string("a b.gif"), std::string("\xC3\xA9t\xC3\xA9.gif"),
                                    std::string("a\xC2\xA0.gif"), std::string("\xE2\x82\xAC.gif")})
        EXPECT_FALSE(HasControlCharacter(name)) << name;
}

}  // namespace
