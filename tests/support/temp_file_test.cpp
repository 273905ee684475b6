#include <filesystem>
#include <regex>

#include "support/temp_file.h"
#include "platform/framework_exception.h"
#include "tests/common/registry_home_fixture.h"

namespace {

class EngineTempFileTest : public RegistryHomeTest {};

TEST_F(EngineTempFileTest, NewTempFileNameCreatesABtsFile) {
    std::string path = NewTempFileName();
    EXPECT_TRUE(std::regex_match(path, std::regex(home() + "/BTS[0-9A-F]{4}\\.TMP"))) << path;
    EXPECT_TRUE(Exists(path));
}

TEST_F(EngineTempFileTest, CreateTempFileUsesTheExtensionAndDropsThePlaceholder) {
    std::filesystem::create_directories(home() + "/work");
    std::string path = CreateTempFile(home() + "/work", "RPT", "rpt");
    EXPECT_TRUE(std::regex_match(path, std::regex(home() + "/work/RPT[0-9A-F]{4}\\.rpt"))) << path;
    EXPECT_TRUE(Exists(path));
    std::size_t files = 0;
    for (auto& entry : std::filesystem::directory_iterator(home() + "/work")) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
    EXPECT_TRUE(Exists(CreateTempFile("", "X", "TMP")));
    std::string bare = CreateTempFile(home() + "/work", "B", "");
    EXPECT_EQ(bare.find('.'), bare.find_last_of('/') == std::string::npos ? std::string::npos : bare.find('.'));
    EXPECT_NE(bare.back(), '.');
}

TEST_F(EngineTempFileTest, FailuresThrowFileExceptions) {
    setenv("TMPDIR", (home() + "/absent").c_str(), 1);
    try {
        NewTempFileName();
        FAIL();
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::badPath);
        EXPECT_EQ(e->m_lOsError, 2);
        e->Delete();
    }
    try {
        CreateTempFile(home() + "/absent", "X", "y");
        FAIL();
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::fileNotFound);
        e->Delete();
    }
}

}  // namespace
