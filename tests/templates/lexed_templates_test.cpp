// Template files are lexed once and their lexed forms kept between requests: a file changed in
// any way, even within one tick of the file system's clock and at the same size, is lexed
// again; a page run from a kept form is the page a fresh lex gives, in loops, includes and
// error pages alike; and the forms kept stay within their bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "engine/templates/lexed_templates.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_tables.h"
#include "template_test_site.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using tessaro::platform::FileStamp;

class LexedTemplatesPage : public TemplateSite {
protected:
    PageOutcome Run(const std::string& page = "/page.tsm") { return RunPage<CQueryPage>(Script(page)); }
    CLexedTemplates& Kept() const { return services().Services().grammar->LexedFiles(); }
};

struct timespec ModifiedTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
}

void SetModifiedTime(const std::string& path, struct timespec when) {
    const struct timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

struct Change {
    const char* what;
    // Writes the second version of the file at path in its own way.
    std::function<void(const std::string& path, const std::string& text)> make;
};

TEST_F(LexedTemplatesPage, ATemplateChangedBetweenTwoRequestsIsReadAgain) {
    const Change changes[] = {
        {"rewritten, another size", [](const std::string& p, const std::string& t) { std::ofstream(p) << t << " "; }},
        {"rewritten at the same size and the very same modification time",
         [](const std::string& p, const std::string& t) {
             const struct timespec before = ModifiedTime(p);
             std::ofstream(p) << t;
             SetModifiedTime(p, before);
         }},
        {"rewritten at the same size within the same second",
         [](const std::string& p, const std::string& t) {
             struct timespec when = ModifiedTime(p);
             std::ofstream(p) << t;
             when.tv_nsec = when.tv_nsec == 999999999 ? when.tv_nsec - 1 : when.tv_nsec + 1;
             SetModifiedTime(p, when);
         }},
        {"replaced by a rename",
         [](const std::string& p, const std::string& t) {
             std::ofstream(p + ".new") << t;
             fs::rename(p + ".new", p);
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        // The page, an include and Application.tsm, each changed the same way.
        const std::string app = Write("Application.tsm", "<TSSET a = 1>");
        const std::string inc = Write("inc.tsm", "<TSOUTPUT>[#a#]</TSOUTPUT>");
        const std::string page = Write("page.tsm", "A<TSINCLUDE TEMPLATE=\"inc.tsm\">");
        PageOutcome first = Run();
        ASSERT_FALSE(first.failed) << first.title << first.detail;
        EXPECT_EQ(first.body, "A[1]");
        EXPECT_EQ(Run().body, "A[1]");
        // The page's new text, of the same size, lexes into other lexemes.
        change.make(app, "<TSSET a = 2>");
        change.make(inc, "<TSOUTPUT>(#a#)</TSOUTPUT>");
        change.make(page, "<TSOUTPUT>B#a+1#</TSOUTPUT>xyz1");
        PageOutcome second = Run();
        ASSERT_FALSE(second.failed) << second.title << second.detail;
        EXPECT_THAT(second.body, HasSubstr("B3xyz1"));
        // The include, now reached again, shows its own new text.
        Write("page.tsm", "<TSINCLUDE TEMPLATE=\"inc.tsm\">");
        EXPECT_THAT(Run().body, HasSubstr("(2)"));
    }
}

// Same size, same modification time: the error page of the new file names its own line and text.
TEST_F(LexedTemplatesPage, AnErrorPageOfAChangedFileNamesTheNewLine) {
    const std::string page = Write("page.tsm", "one\n<TSCOOKIE BOGUS>\nxxxxx\nfour\n");
    PageOutcome first = Run();
    ASSERT_TRUE(first.failed);
    EXPECT_THAT(first.title, HasSubstr("line 2 of the template file"));
    const struct timespec before = ModifiedTime(page);
    std::ofstream(page) << "one\nfour\nyyyyy\n<TSCOOKIE BOGUS>\n";
    SetModifiedTime(page, before);
    PageOutcome second = Run();
    ASSERT_TRUE(second.failed);
    EXPECT_THAT(second.title, HasSubstr("line 4 of the template file"));
    EXPECT_THAT(second.title + second.detail, HasSubstr("yyyyy"));
}

// The second and later requests run from the kept form: they answer as the first did, whatever
// the page does with its input (loops put it back, includes nest, errors stop it part way).
TEST_F(LexedTemplatesPage, APageRunFromItsKeptFormAnswersAsTheFirstRequestDid) {
    Write("row.tsm", "<TSOUTPUT>(#i#)</TSOUTPUT>");
    struct Case {
        const char* what;
        const char* page;
        const char* body;     // the body of a page that runs through
        const char* failure;  // part of the title of one that fails
    } const cases[] = {
        {"nested loops with conditions and includes",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"3\"><TSLOOP INDEX=\"j\" FROM=\"1\" TO=\"2\">"
         "<TSIF j IS 2><TSINCLUDE TEMPLATE=\"row.tsm\"><TSELSE>-</TSIF></TSLOOP>;</TSLOOP>\n",
         "-(1);-(2);-(3);\n", nullptr},
        {"a loop whose body ends the file",
         "x<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\"><TSOUTPUT>#i#</TSOUTPUT></TSLOOP>", "x12", nullptr},
        {"text no lexeme matches inside a tag", "a\n<TSSET x = 1 !>\nb", nullptr, "line 2"},
        {"a tag the file ends in", "a\nb\n<TSOUTPUT>#1#", nullptr, "line 3"},
        {"an error in the third pass of a loop",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"5\">\n<TSIF i IS 3><TSOUTPUT>#i / / 2#</TSOUTPUT></TSIF></TSLOOP>",
         nullptr, "line 2"},
        {"an abort inside a loop", "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"5\">#<TSIF i IS 2><TSABORT></TSIF></TSLOOP>",
         "##", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("page.tsm", c.page);
        for (int request = 1; request <= 3; ++request) {
            SCOPED_TRACE(request);
            PageOutcome out = Run();
            if (c.failure != nullptr) {
                EXPECT_TRUE(out.failed);
                EXPECT_THAT(out.title, HasSubstr(c.failure));
            } else {
                EXPECT_FALSE(out.failed) << out.title << out.detail;
                EXPECT_EQ(out.body, c.body);
            }
        }
    }
    EXPECT_GE(Kept().Count(), 2u);
}

// Forms made from texts of about the same size, each kept under its own file's stamp.
class LexedTemplatesBound : public ::testing::Test {
protected:
    void SetUp() override {
        tables_ = CTemplateTables::Load();
        ASSERT_NE(tables_, nullptr);
    }
    std::shared_ptr<const CLexedTemplate> Form(int n) const {
        return CLexedTemplate::Lex("<TSOUTPUT>#" + std::to_string(n) + "#</TSOUTPUT> text " + std::string(200, 'x'),
                                   tables_->Lex(), 1 << 20);
    }
    static FileStamp Stamp(int n) {
        FileStamp stamp;
        stamp.identity = {7, static_cast<std::uint64_t>(n)};
        stamp.size = 100;
        stamp.modifiedSeconds = 1700000000;
        return stamp;
    }
    std::unique_ptr<CTemplateTables> tables_;
};

TEST_F(LexedTemplatesBound, TheFormsKeptStayWithinTheBoundAndTheLeastRecentlyUsedGoFirst) {
    // Room for eight forms (the largest one kept is an eighth of the bound).
    const std::size_t each = Form(1)->Bytes();
    CLexedTemplates kept(each * 8 + each / 2);
    for (int n = 1; n <= 8; ++n) kept.Keep(Stamp(n), Form(n));
    EXPECT_EQ(kept.Count(), 8u);
    // Found again, the first file is the most recently used; the second is the least.
    EXPECT_NE(kept.Find(Stamp(1), Form(1)->Text()), nullptr);
    kept.Keep(Stamp(9), Form(9));
    EXPECT_EQ(kept.Count(), 8u);
    EXPECT_LE(kept.BytesHeld(), kept.MaxBytes());
    EXPECT_EQ(kept.Find(Stamp(2), Form(2)->Text()), nullptr);
    for (int n : {1, 3, 4, 5, 6, 7, 8, 9}) EXPECT_NE(kept.Find(Stamp(n), Form(n)->Text()), nullptr) << n;
    // Many more files: never past the bound.
    for (int n = 10; n <= 200; ++n) {
        kept.Keep(Stamp(n), Form(n));
        EXPECT_LE(kept.BytesHeld(), kept.MaxBytes()) << n;
    }
    EXPECT_EQ(kept.Count(), 8u);
}

TEST_F(LexedTemplatesBound, AFormIsFoundOnlyForItsFilesStampAndBytes) {
    CLexedTemplates kept(1 << 20);
    kept.Keep(Stamp(1), Form(1));
    EXPECT_NE(kept.Find(Stamp(1), Form(1)->Text()), nullptr);
    // Other bytes under the same stamp (written within one tick of the clock).
    EXPECT_EQ(kept.Find(Stamp(1), Form(2)->Text()), nullptr);
    FileStamp later = Stamp(1);
    later.modifiedNanoseconds = 1;
    EXPECT_EQ(kept.Find(later, Form(1)->Text()), nullptr);
    // A newer form of the file takes the older one's place.
    kept.Keep(later, Form(2));
    EXPECT_EQ(kept.Count(), 1u);
    EXPECT_NE(kept.Find(later, Form(2)->Text()), nullptr);
    EXPECT_EQ(kept.Find(Stamp(1), Form(1)->Text()), nullptr);
    // Without a stamp, or larger than an eighth of the bound, a form is not kept.
    kept.Keep(FileStamp{}, Form(3));
    CLexedTemplates small(Form(1)->Bytes() * 7);
    small.Keep(Stamp(1), Form(1));
    EXPECT_EQ(kept.Count(), 1u);
    EXPECT_EQ(small.Count(), 0u);
}

}  // namespace
