// The folder listings behind case-insensitive names are kept between lookups; every change
// to a folder must still be seen by the next lookup, whether the listing was kept or not.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/folder_listing_cache.h"
#include "platform/path_util.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;
namespace fs = std::filesystem;

namespace {

class FolderListingCacheTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        ClearFolderListings();
    }
};

struct Change {
    const char* what;
    void (*apply)(const std::string& docs);
    const char* lookup;    // in SITE<n>/DOCS, upper-cased as the engine asks
    const char* expected;  // the name found in Site<n>/Docs
};

const Change kChanges[] = {
    {"added", [](const std::string& d) { std::ofstream(d + "/Added.tsm") << "y"; }, "ADDED.TSM", "Added.tsm"},
    {"renamed", [](const std::string& d) { fs::rename(d + "/Page.tsm", d + "/Renamed.tsm"); }, "RENAMED.TSM",
     "Renamed.tsm"},
    {"removed", [](const std::string& d) { fs::remove(d + "/Page.tsm"); }, "PAGE.TSM", "PAGE.TSM"},
    {"case changed", [](const std::string& d) { fs::rename(d + "/Page.tsm", d + "/PAGE.tsm"); }, "page.TSM",
     "PAGE.tsm"},
    {"folder replaced",
     [](const std::string& d) {
         fs::rename(d, d + ".old");
         fs::create_directories(d);
         std::ofstream(d + "/Other.tsm") << "z";
     },
     "OTHER.TSM", "Other.tsm"},
};

// One site per change, each with Site<n>/Docs/Page.tsm.
void MakeSites(const std::string& home) {
    for (std::size_t n = 0; n < std::size(kChanges); ++n) {
        std::string docs = home + "/Site" + std::to_string(n) + "/Docs";
        fs::create_directories(docs);
        std::ofstream(docs + "/Page.tsm") << "x";
    }
}

TEST_F(FolderListingCacheTest, AChangeIsSeenByTheNextLookupInAKeptListing) {
    const std::string home = this->home();
    MakeSites(home);
    for (std::size_t n = 0; n < std::size(kChanges); ++n) {
        const Change& change = kChanges[n];
        SCOPED_TRACE(change.what);
        std::string site = "/SITE" + std::to_string(n) + "/DOCS/", docs = home + "/Site" + std::to_string(n) + "/Docs";
        // Read and kept before the change.
        ASSERT_EQ(ResolvePathNoCase(home + site + "PAGE.TSM"), docs + "/Page.tsm");
        ASSERT_EQ(ResolvePathNoCase(home + site + "PAGE.TSM"), docs + "/Page.tsm");
        change.apply(docs);
        EXPECT_EQ(ResolvePathNoCase(home + site + change.lookup), docs + "/" + change.expected);
    }
}

TEST_F(FolderListingCacheTest, AnswersExactNamesVariantsAndUnreadableFolders) {
    fs::create_directories(home() + "/Site/Docs");
    std::ofstream(home() + "/Site/Docs/Page.tsm") << "x";
    std::ofstream(home() + "/Site/Docs/page.TSM") << "other";
    LookUpInFolder(home() + "/Site/Docs", "PAGE.TSM");  // read once
    FolderLookup exact = LookUpInFolder(home() + "/Site/Docs", "page.TSM");
    EXPECT_TRUE(exact.listed);
    EXPECT_TRUE(exact.exact);
    FolderLookup variant = LookUpInFolder(home() + "/Site/Docs", "PAGE.TSM");
    EXPECT_FALSE(variant.exact);
    EXPECT_TRUE(variant.match == "Page.tsm" || variant.match == "page.TSM") << variant.match;
    FolderLookup none = LookUpInFolder(home() + "/Site/Docs", "NONE.TSM");
    EXPECT_TRUE(none.listed);
    EXPECT_FALSE(none.exact);
    EXPECT_EQ(none.match, "");
    EXPECT_FALSE(LookUpInFolder(home() + "/Site/Docs/Page.tsm", "X").listed);  // a file is no folder
    EXPECT_FALSE(LookUpInFolder(home() + "/Missing", "X").listed);
}

TEST_F(FolderListingCacheTest, AForkedChildAndItsParentEachSeeEveryChange) {
    const std::string docs = home() + "/Site/Docs";
    fs::create_directories(docs);
    std::ofstream(docs + "/Page.tsm") << "x";
    ASSERT_EQ(ResolvePathNoCase(home() + "/SITE/DOCS/PAGE.TSM"), docs + "/Page.tsm");  // kept by the parent
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = ResolvePathNoCase(home() + "/SITE/DOCS/PAGE.TSM") == docs + "/Page.tsm";
        fs::rename(docs + "/Page.tsm", docs + "/Child.tsm");
        ok = ok && ResolvePathNoCase(home() + "/SITE/DOCS/CHILD.TSM") == docs + "/Child.tsm";
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ResolvePathNoCase(home() + "/SITE/DOCS/CHILD.TSM"), docs + "/Child.tsm");
    EXPECT_EQ(ResolvePathNoCase(home() + "/SITE/DOCS/PAGE.TSM"), docs + "/PAGE.TSM");
}

}  // namespace
