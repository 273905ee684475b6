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
