#include "wizardutils/odbc_data_source_list.h"

#include <gtest/gtest.h>

#include "tests/common/temp_home.h"

namespace tessaro::wizardutils {
namespace {

class DataSourceListTest : public TempFolderTest {};

TEST_F(DataSourceListTest, ListedNamesAreDefinedOnlyWithTheirOwnSection) {
    tessaro::test::TempFolder folder;
    std::string system =
        folder.write("odbc.ini", "[ODBC Data Sources]\nsales=SQLite3\nghost=SQLite3\n\n[sales]\nDriver=x\n");
    std::string user = folder.write("user.ini", "[ODBC]\nTrace=No\n\n[mine]\nDriver=y\n\n[sales]\nDriver=z\n");
    std::vector<DataSourceEntry> list = ListOdbcDataSources({system, user});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "sales");
    EXPECT_TRUE(list[0].defined);
    EXPECT_EQ(list[1].name, "ghost");
    EXPECT_FALSE(list[1].defined);
    EXPECT_EQ(list[2].name, "mine");  // a file without the list names its sections, not [ODBC]
    EXPECT_TRUE(list[2].defined);
}

TEST_F(DataSourceListTest, NoFilesNoDataSources) {
    EXPECT_TRUE(ListOdbcDataSources({dir_ + "/none.ini"}).empty());
}

}  // namespace
}  // namespace tessaro::wizardutils
