// TSX extension tags through the whole road: the sample tag library registered in
// the registry, called from templates served by lighttpd.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "site_test.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string SampleLibrary() {
    return std::string(TESSARO_BINARY_DIR) + "/lib/libtsxsample.so";
}

class ExtensionTagsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        Register("TSX_ATTRIBUTES", SampleLibrary(), "TSXAttributes");
        Register("TSX_PROBE", SampleLibrary(), "TSXProbe");
        Register("TSX_POINTERS", SampleLibrary(), "TSXPointers");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }

    static void Register(const std::string& tag, const std::string& library, const std::string& procedure,
                         const std::string& cache = "") {
        ASSERT_TRUE(e2e::Site::SetSetting("CustomTags\\" + tag, "LibraryPath", library));
        ASSERT_TRUE(e2e::Site::SetSetting("CustomTags\\" + tag, "ProcedureName", procedure));
        if (!cache.empty()) {
            ASSERT_TRUE(e2e::Site::SetSetting("CustomTags\\" + tag, "CacheLibrary", cache));
        }
    }
};

TEST_F(ExtensionTagsThroughWebServer, SampleTagMakesAQueryTheTemplateReads) {
    auto response = Page("attrs.tsm",
                         "<TSX_ATTRIBUTES NAME=\"tags\" COLOR=\"#URL.c#\" SIZE=\"2\" color=\"blue\" FLAG>"
                         "<TSOUTPUT QUERY=\"tags\">#NAME#=#VALUE#;</TSOUTPUT>"
                         "<TSOUTPUT>|#tsx_count#|#tags.RecordCount#</TSOUTPUT>",
                         "c=red");
    ASSERT_EQ(response.status, 200) << response.error << site.WebServerLog();
    // An attribute given twice keeps its place and its last value.
    EXPECT_EQ(response.body, "NAME=tags;COLOR=blue;SIZE=2;FLAG=;|4|4") << response.body;
}

TEST_F(ExtensionTagsThroughWebServer, QueryAttributeHandsATemplateQueryToTheTag) {
    auto response = Page("chain.tsm",
                         "<TSX_ATTRIBUTES NAME=\"first\" A=\"1\">"
                         "<TSX_ATTRIBUTES NAME=\"second\" QUERY=\"first\" DEBUG>"
                         "<TSOUTPUT QUERY=\"first\">(#NAME#)</TSOUTPUT>");
    ASSERT_EQ(response.status, 200) << response.error;
    EXPECT_THAT(response.body, HasSubstr("[FIRST rows=2 first=NAME]"));
    EXPECT_THAT(response.body, HasSubstr("<HR><B>TSX_ATTRIBUTES</B> Execution Time = "));
    EXPECT_THAT(response.body, HasSubstr(" ms <BR>listed the attributes<HR>"));
    EXPECT_THAT(response.body, HasSubstr("(NAME)(A)(added by the tag)"));

    auto flags = Page("flags.tsm", "<TSX_PROBE CASE=\"flags\" B=\"x\">");
    EXPECT_EQ(flags.body, "query:yes none debug:no CASE=flags;B=x;TSXProbe") << flags.body;
    auto unknown = Page("unknown.tsm", "<TSX_ATTRIBUTES QUERY=\"nothere\">");
    EXPECT_THAT(unknown.body, HasSubstr("The query named 'NOTHERE' has not yet executed."));
}

TEST_F(ExtensionTagsThroughWebServer, PointersHandedToTheTagStayValidWhileItRuns) {
    // Two cells read one after the other are compared only after the second read (rows: the
    // attributes NAME, FIRST_..., B).
    auto cells = Page("cells.tsm",
                      "<TSX_ATTRIBUTES NAME=\"pair\" FIRST_ATTRIBUTE_OF_A_LONG_NAME=\"1\" B=\"2\">"
                      "<TSX_POINTERS CASE=\"cells\" QUERY=\"pair\">");
    ASSERT_EQ(cells.status, 200) << cells.error;
    EXPECT_EQ(cells.body, "NAME|FIRST_ATTRIBUTE_OF_A_LONG_NAME|different") << cells.body;
    // A string of a set outlives 1,000 later additions to the set.
    auto kept = Page("kept.tsm", "<TSX_POINTERS CASE=\"string\">");
    ASSERT_EQ(kept.status, 200) << kept.error;
    EXPECT_EQ(kept.body, "kept 1001 999") << kept.body;
}

TEST_F(ExtensionTagsThroughWebServer, InterfaceErrorsEndInTheirPages) {
    struct Case {
        const char* attributes;
        const char* title;
        const char* detail;
    } cases[] = {
        {"CASE=\"fail\"", "Sample failure", "The sample tag was asked to fail."},
        {"CASE=\"string-index\"", "Illegal operation in Tessaro Extension (TSX)",
         "You have attempted to refer to string index 2 of a string set. The string set contains 1 strings "
         "(references to elements of the set are 1 based)."},
        {"CASE=\"rethrow\"", "Illegal operation in Tessaro Extension (TSX)",
         "You have attempted to refer to string index 0 of a string set."},
        {"CASE=\"row\"", "Illegal operation in Tessaro Extension (TSX)",
         "You have attempted to refer to row 1 of the query 'EMPTY'. This query contains 0 rows."},
        {"CASE=\"std\"", "Error processing TSX custom tag",
         "raised an exception that is not a TSX exception: the sample&#39;s own exception"},
        {"CASE=\"query-name\" NAME=\"cookie\"", "Invalid TSQUERY name",
         "The query name 'COOKIE' is not valid because it conflicts with an existing variable context."},
    };
    for (const Case& c : cases) {
        auto response = Page("probe.tsm", "before<TSX_PROBE " + std::string(c.attributes) + ">after");
        ASSERT_EQ(response.status, 500) << response.error;
        EXPECT_THAT(response.body, HasSubstr(std::string(c.title) + "<P>")) << c.attributes;
        EXPECT_THAT(response.body, HasSubstr(c.detail)) << c.attributes;
        EXPECT_THAT(e2e::WithoutQuotedLines(response.body), Not(HasSubstr("after"))) << c.attributes;
    }
    auto duplicate = Page("dup.tsm", "<TSX_ATTRIBUTES NAME=\"q\"><TSX_PROBE CASE=\"query-name\" NAME=\"Q\">");
    EXPECT_THAT(duplicate.body, HasSubstr("Duplicate TSQUERY name<P>"));
    EXPECT_THAT(duplicate.body, HasSubstr("the name of an already existing TSQUERY (Q)."));
}

TEST_F(ExtensionTagsThroughWebServer, RegistrationAndLoadingFailuresSayWhatIsMissing) {
    Register("TSX_NOPATH", "", "TSXAttributes");
    Register("TSX_NOLIB", site.home() + "/missing/libnone.so", "TSXAttributes");
    Register("TSX_NOPROC", SampleLibrary(), "NoSuchProcedure");
    struct Case {
        const char* tag;
        const char* title;
        std::string detail;
    } cases[] = {
        {"TSX_UNKNOWN", "Error processing TSX custom tag",
         "The TSX custom tag 'TSX_UNKNOWN' was not found in the custom tag database (the database is stored under the "
         "'Brendlow\\Tessaro\\CurrentVersion\\CustomTags' Registry key)."},
        {"TSX_NOPATH", "Error initializing TSX custom tag",
         "The library path setting (LibraryPath) was not found in the Registry for custom tag 'TSX_NOPATH'."},
        {"TSX_NOLIB", "Error loading TSX custom tag library",
         "The library associated with the custom tag TSX_NOLIB (" + site.home() +
             "/missing/libnone.so) was not found.<P>Please check the LibraryPath entry"},
        {"TSX_NOPROC", "Error loading TSX custom tag library",
         "The procedure associated with the custom tag TSX_NOPROC (NoSuchProcedure) was not found in the library '" +
             SampleLibrary() + "'."},
    };
    for (const Case& c : cases) {
        auto response = Page("fail.tsm", "<" + std::string(c.tag) + " A=\"1\">after");
        ASSERT_EQ(response.status, 500) << response.error;
        EXPECT_THAT(response.body, HasSubstr(std::string(c.title) + "<P>")) << c.tag;
        EXPECT_THAT(response.body, HasSubstr(c.detail)) << c.tag;
        EXPECT_THAT(e2e::WithoutQuotedLines(response.body), Not(HasSubstr("after"))) << c.tag;
    }
    // A failed load leaves nothing cached: once registered properly, the tag works.
    Register("TSX_NOPROC", SampleLibrary(), "TSXLoadCount");
    auto fixed = Page("fixed.tsm", "<TSX_NOPROC>");
    EXPECT_EQ(fixed.body, "1") << fixed.body;
}

TEST_F(ExtensionTagsThroughWebServer, CacheLibraryKeepsTheLibraryLoadedUnlessZero) {
    Register("TSX_CACHED", SampleLibrary(), "TSXLoadCount");
    Register("TSX_CACHEDNO", SampleLibrary(), "TSXLoadCount", "no");
    Register("TSX_UNCACHED", SampleLibrary(), "TSXLoadCount", "0");
    // Unloaded after each use, the library starts afresh every time.
    auto uncached = Page("uncached.tsm", "<TSX_UNCACHED>,<TSX_UNCACHED>");
    ASSERT_EQ(uncached.status, 200) << uncached.error;
    EXPECT_EQ(uncached.body, "1,1") << uncached.body;
    // Cached, one copy serves every use; the tag's name in another case is the
    // same cache entry, and "no" is not "0".
    site.WriteDocument("count.tsm", "<TSX_CACHED>,<tsx_cached>,<TSX_CACHEDNO>");
    auto first = site.Get("/count.tsm");
    EXPECT_EQ(first.body, "1,2,3") << first.body;
    auto second = site.Get("/count.tsm");
    EXPECT_EQ(second.body, "4,5,6") << second.body;
}

}  // namespace
