#include <fstream>

#include "support/ini_helpers.h"
#include "platform/home.h"
#include "tests/common/registry_home_fixture.h"

namespace {

class IniHelpersTest : public RegistryHomeTest {};

TEST_F(IniHelpersTest, TheProgramsOwnFileLivesInTheWindowsDirectory) {
    EXPECT_EQ(GetIniFilePath(), home() + "/windows/TEST_SUPPORT.INI");
    EXPECT_EQ(GetIniString("Cache", "Size", "d"), "d");
    ASSERT_TRUE(WriteIniString("Cache", "Size", "12"));
    EXPECT_EQ(GetIniInt("cache", "SIZE", 0), 12);
    ASSERT_TRUE(DeleteIniSection("CACHE"));
    EXPECT_EQ(GetIniInt("Cache", "Size", -1), -1);
}

TEST_F(IniHelpersTest, NamedFilesAreFoundInTheWindowsDirectoryOrAsGiven) {
    tessaro::platform::TessaroHome();
    std::ofstream(home() + "/windows/KSML.INI") << "[Sales]\nUID=scott\n";
    EXPECT_EQ(GetIniString("sales", "uid", "", "KSML.INI"), "scott");
    EXPECT_EQ(ResolveIniFile("C:\\x\\SPOOL.INI"), "C:/x/SPOOL.INI");
    ASSERT_TRUE(WriteIniString("S", "K", std::string(300, 'v'), home() + "/SPOOL.INI"));
    EXPECT_EQ(GetIniString("S", "K", "", home() + "/SPOOL.INI").size(), 254u);
    EXPECT_TRUE(DeleteIniSection("S", home() + "/SPOOL.INI"));
}

}  // namespace
