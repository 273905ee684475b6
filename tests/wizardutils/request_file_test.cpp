#include "wizardutils/request_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/common/temp_home.h"

namespace tessaro::wizardutils {
namespace {

class RequestFileTest : public TempFolderTest {};

TEST_F(RequestFileTest, ValuesRoundTripAndSectionsKeepFileOrder) {
    CRequestFile file(dir_ + "/VESK.INI");
    ASSERT_TRUE(file.WriteValue("Request1", "DataSourceName", "staff db"));
    ASSERT_TRUE(file.WriteValue("Request1", "Username", "sa"));
    ASSERT_TRUE(file.WriteValue("Requests", "Request1", "GetFieldsForTable"));
    EXPECT_EQ(file.ReadValue("Request1", "DataSourceName", "x"), "staff db");
    EXPECT_EQ(file.ReadValue("Request1", "Missing", "dflt"), "dflt");
    AnswerList ordered = file.ReadSectionInOrder("Request1");
    ASSERT_EQ(ordered.size(), 2u);
    EXPECT_EQ(ordered[0], (std::pair<std::string, std::string>{"DataSourceName", "staff db"}));
    EXPECT_EQ(ordered[1].first, "Username");
}

TEST_F(RequestFileTest, ParameterNamesAreCaseSensitiveInTheSectionMap) {
    std::ofstream(dir_ + "/VESK.INI") << "[R]\ndatasourcename=x\n";
    RequestSection section = CRequestFile(dir_ + "/VESK.INI").ReadSection("R");
    EXPECT_EQ(section.count("DataSourceName"), 0u);
    EXPECT_EQ(section.at("datasourcename"), "x");
}

TEST_F(RequestFileTest, LongValuesAreCutAndMissingFilesReadEmpty) {
    CRequestFile file(dir_ + "/VESK.INI");
    ASSERT_TRUE(file.WriteValue("S", "k", std::string(400, 'a')));
    EXPECT_EQ(file.ReadSection("S").at("k"), std::string(254, 'a'));
    EXPECT_TRUE(CRequestFile(dir_ + "/none.ini").ReadSection("S").empty());
}

TEST_F(RequestFileTest, KeyNamesStopAtTheSectionBufferSize) {
    std::ofstream out(dir_ + "/VESK.INI");
    out << "[S]\n";
    for (int i = 0; i < 200; ++i) out << std::string(99, 'k') << i << "=v\n";  // 101 or 102 with NUL
    out.close();
    std::size_t read = CRequestFile(dir_ + "/VESK.INI").ReadSectionInOrder("S").size();
    EXPECT_GT(read, 100u);
    EXPECT_LT(read, 200u);
}

}  // namespace
}  // namespace tessaro::wizardutils
