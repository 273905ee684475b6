#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/file_helpers.h"
#include "tests/common/file_text.h"
#include "tests/common/registry_home_fixture.h"

namespace {

using tessaro::test::ReadFileText;

class FileHelpersTest : public RegistryHomeTest {};

TEST_F(FileHelpersTest, ExistenceAndSize) {
    std::filesystem::create_directories(home() + "/dir");
    std::ofstream(home() + "/dir/file.txt") << "12345";
    EXPECT_TRUE(PathExists(home() + "\\dir"));
    EXPECT_TRUE(PathExists("  " + home() + "/dir/  "));
    EXPECT_FALSE(PathExists(home() + "/dir/file.txt"));
    EXPECT_FALSE(PathExists(""));
    EXPECT_TRUE(FileExists(home() + "/dir/file.txt"));
    EXPECT_FALSE(FileExists(home() + "/dir"));
    EXPECT_FALSE(FileExists(home() + "/none"));
    EXPECT_EQ(GetFileSizeByName(home() + "\\dir\\file.txt"), 5u);
    EXPECT_EQ(GetFileSizeByName(home() + "/none"), 0u);
    EXPECT_EQ(GetFileSizeByName(home() + "/dir"), 0u);
    // Opening a FIFO without a writer must not block.
    ASSERT_EQ(::mkfifo((home() + "/dir/fifo").c_str(), 0600), 0);
    EXPECT_EQ(GetFileSizeByName(home() + "/dir/fifo"), 0u);
}

TEST(SplitPathTest, SplitsWindowsAndLinuxPaths) {
    struct Case {
        const char* path;
        const char* dir;
        const char* name;
        const char* ext;
    } cases[] = {
        {"C:\\a\\b.", "C:\\a", "b.", ""},
        {"C:\\a\\b.txt", "C:\\a", "b.txt", "txt"},
        {"C:\\Users\\x\\report.final.doc", "C:\\Users\\x", "report.final.doc", "doc"},
        {"C:\\b.txt", "C:", "b.txt", "txt"},
        {"C:b.txt", "C:", "b.txt", "txt"},
        {"/var/www/index.tsm", "/var/www", "index.tsm", "tsm"},
        {"/index.tsm", "/", "index.tsm", "tsm"},
        {"plain", "", "plain", ""},
        {"a\\\\b.c", "a", "b.c", "c"},
        {"dir\\", "dir", "", ""},
    };
    for (const Case& c : cases) {
        std::string dir, name, ext;
        SplitPath(c.path, dir, name, ext);
        EXPECT_EQ(dir, c.dir) << c.path;
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_EQ(ext, c.ext) << c.path;
    }
}

TEST(PathDirectoryTest, KeepsTheTrailingSeparator) {
    EXPECT_EQ(GetPathDirectory("C:\\a\\b.txt"), "C:\\a\\");
    EXPECT_EQ(GetPathDirectory("/var/www/x.tsm"), "/var/www/");
    EXPECT_EQ(GetPathDirectory("C:x"), "C:");
    EXPECT_EQ(GetPathDirectory("x"), "");
}

TEST_F(FileHelpersTest, WriteFileContentsTruncatesOrKeeps) {
    std::string path = home() + "/out.bin";
    ASSERT_TRUE(WriteFileContents("hello world", 11, path, false));
    ASSERT_TRUE(WriteFileContents("HEL", 3, path, true));
    EXPECT_EQ(ReadFileText(path), "HELlo world");
    ASSERT_TRUE(WriteFileContents("x", 1, path, false));
    EXPECT_EQ(ReadFileText(path), "x");
    EXPECT_FALSE(WriteFileContents("x", 1, home() + "/no/such/dir/f", false));
}

TEST(FindBytesTest, SearchesBinaryData) {
    const char data[] = {'a', '\0', 'b', 'o', 'u', 'n', 'd', 'x'};
    EXPECT_EQ(FindBytes("bound", data, sizeof data), data + 2);
    EXPECT_EQ(FindBytes("boundx", data, 7), nullptr);  // beyond the length given
    EXPECT_EQ(FindBytes("zz", data, sizeof data), nullptr);
    EXPECT_EQ(FindBytes("a", data, 0), nullptr);
}

}  // namespace
