#include <sys/stat.h>

#include "platform/home.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class HomeTest : public TempHomeTest {};

TEST_F(HomeTest, RootAndSubfoldersAreCreatedOnDemand) {
    std::string root = home() + "/nested/root";
    setenv("TESSARO_HOME", (root + "/").c_str(), 1);
    EXPECT_EQ(TessaroHome(), root);
    for (const char* sub : {"run", "run/EVENT", "run/MUTEX", "windows", "log", "tmp", "scm", "machines"}) {
        EXPECT_TRUE(IsDirectory(root + "/" + sub)) << sub;
    }
}

TEST_F(HomeTest, PathsBelowTheRootUseSlashes) {
    EXPECT_EQ(HomePath("run\\EVENT\\X"), home() + "/run/EVENT/X");
    EXPECT_EQ(HomePath("/log/"), home() + "/log");
    EXPECT_EQ(HomePath(""), home());
    EXPECT_EQ(WindowsDirectory(), home() + "/windows");
    EXPECT_EQ(HomeTempDirectory(), home() + "/tmp");
}

TEST_F(HomeTest, EnsureDirectoryReportsAFileInTheWay) {
    std::string file = home() + "/plain";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(EnsureDirectory(file), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(EnsureDirectory(home() + "\\a\\b"), ERROR_SUCCESS);
    EXPECT_TRUE(IsDirectory(home() + "/a/b"));
}

}  // namespace
