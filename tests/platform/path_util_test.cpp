#include <filesystem>
#include <fstream>

#include "platform/path_util.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class PathUtilTest : public TempHomeTest {};

TEST_F(PathUtilTest, ResolvesEachComponentIgnoringCase) {
    std::filesystem::create_directories(home() + "/Templates/Sub");
    std::ofstream(home() + "/Templates/Sub/Index.tsm") << "x";
    EXPECT_EQ(ResolvePathNoCase(home() + "\\TEMPLATES\\SUB\\INDEX.TSM"), home() + "/Templates/Sub/Index.tsm");
    // Missing components keep the given names, inside the resolved folders.
    EXPECT_EQ(ResolvePathNoCase(home() + "/templates/NEW/FILE.LOG"), home() + "/Templates/NEW/FILE.LOG");
    EXPECT_EQ(ResolvePathNoCase(home() + "/Templates/Sub/Index.tsm"), home() + "/Templates/Sub/Index.tsm");
}

// Missing is said when a listing or a look on the way showed it, never for a name that
// exists in some case.
TEST_F(PathUtilTest, SaysMissingWhenTheWayShowedIt) {
    std::filesystem::create_directories(home() + "/Templates/Sub");
    std::ofstream(home() + "/Templates/Sub/Index.tsm") << "x";
    const struct {
        std::string path;
        std::string onDisk;
        bool knownMissing;
    } cases[] = {
        {home() + "/Templates/Sub/Index.tsm", home() + "/Templates/Sub/Index.tsm", false},
        {home() + "/Templates/Sub/INDEX.TSM", home() + "/Templates/Sub/Index.tsm", false},
        {home() + "/Templates/Sub/Application.tsm", home() + "/Templates/Sub/Application.tsm", true},
        {home() + "/templates/NEW/Application.tsm", home() + "/Templates/NEW/Application.tsm", true},
        {home() + "/Templates/Sub/Index.tsm/x", home() + "/Templates/Sub/Index.tsm/x", true},
    };
    for (const auto& c : cases) {
        for (const PathOnDisk& found : {FindPathNoCase(c.path), FindRarePathNoCase(c.path)}) {
            EXPECT_EQ(found.path, c.onDisk) << c.path;
            EXPECT_EQ(found.knownMissing, c.knownMissing) << c.path;
        }
    }
    // The listing asked first still sees a name made a moment ago.
    std::ofstream(home() + "/Templates/Sub/application.TSM") << "x";
    const PathOnDisk made = FindRarePathNoCase(home() + "/Templates/Sub/Application.tsm");
    EXPECT_EQ(made.path, home() + "/Templates/Sub/application.TSM");
    EXPECT_FALSE(made.knownMissing);
}

TEST(PathTextTest, SeparatorsCaseAndJoins) {
    EXPECT_EQ(ToUnixPath("C:\\a\\b"), "C:/a/b");
    EXPECT_EQ(UpperAscii("abc\xe9"), "ABC\xe9");
    EXPECT_TRUE(EqualsNoCase("Server", "SERVER"));
    EXPECT_FALSE(EqualsNoCase("Server", "Servers"));
    EXPECT_EQ(JoinPath("/a/", "\\b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(ProgramName(), "test_platform");
}

}  // namespace
