#include <regex>
#include <set>
#include <sys/stat.h>

#include "platform/temp_file.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class TempFileTest : public TempHomeTest {};

TEST_F(TempFileTest, NamesHavePrefixHexDigitsAndTmp) {
    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        std::string path;
        ASSERT_EQ(MakeTempFileName(home() + "\\", "BTSXYZ", &path), ERROR_SUCCESS);
        EXPECT_TRUE(std::regex_match(path, std::regex(home() + "/BTS[0-9A-F]{4}\\.TMP"))) << path;
        struct stat st;
        EXPECT_EQ(stat(path.c_str(), &st), 0);  // reserved by creating it
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 50u);
}

TEST_F(TempFileTest, MissingFolderIsAnError) {
    std::string path = "unchanged";
    EXPECT_EQ(MakeTempFileName(home() + "/absent", "BTS", &path), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(path.empty());
}

TEST_F(TempFileTest, PrivateFilesAreNewOwnerOnlyAndStayInTheirFolder) {
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string path;
        ASSERT_EQ(CreatePrivateTempFile(home() + "\\", "rep", &path), ERROR_SUCCESS);
        EXPECT_TRUE(std::regex_match(path, std::regex(home() + "/rep[A-Za-z0-9]{6}"))) << path;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, 0);
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 20u);
    std::string path;
    ASSERT_EQ(CreatePrivateTempFile(home(), "../up", &path), ERROR_SUCCESS);
    EXPECT_EQ(path.rfind(home() + "/.._up", 0), 0u) << path;
    path = "unchanged";
    EXPECT_NE(CreatePrivateTempFile(home() + "/absent", "p", &path), ERROR_SUCCESS);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(CreatePrivateTempFile("", "p", &path), ERROR_PATH_NOT_FOUND);
}

TEST(TempDirectoryTest, FollowsTmpdir) {
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(TempDirectory(), "/var/tmp/");
    unsetenv("TMPDIR");
    EXPECT_EQ(TempDirectory(), "/tmp/");
}

}  // namespace
