// The catalogue client through the real tsutils against a SQLite data source.
#include "wizards/catalog_client.h"

#include <fstream>

#include "support/registry.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"
#include "wizardutils/request_file.h"

namespace tessaro::wizards {
namespace {

class CatalogClientTest : public wizardutils::testing::SQLiteCatalogTest {
protected:
    std::string ProgramDir() const { return std::string(TESSARO_BINARY_DIR) + "/bin"; }
    tessaro::test::TempFolder requests_;
    TODBCDataSourceInfo staff_{"wiz_staff", "", ""};
};

TEST_F(CatalogClientTest, DataSourcesTablesAndFieldsComeFromTsutils) {
    CatalogClient client(ProgramDir(), requests_.path());
    std::vector<std::string> sources;
    client.RequestDataSources(sources);
    EXPECT_NE(std::find(sources.begin(), sources.end(), "wiz_staff"), sources.end());

    std::vector<std::string> tables;
    client.RequestTablesForDataSource(staff_, tables);
    EXPECT_NE(std::find(tables.begin(), tables.end(), "staff"), tables.end());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "staff_names"), tables.end());

    TDBTableFieldsList fields;
    client.RequestFieldsForTables({"dept", "staff"}, staff_, fields);
    ASSERT_EQ(fields.Count(), 8u);
    EXPECT_EQ(fields.Key(0), "dept.dept_id");
    EXPECT_EQ(fields.Fields(3).FieldName, "name");
    EXPECT_EQ(fields.Fields(3).TypeName, "varchar(20)");
    // The sizes come in the same batch: text with its length, long text without one.
    EXPECT_EQ(fields.Fields(3).DataType, 12);
    EXPECT_EQ(fields.Fields(3).ColumnSize, 20);
    EXPECT_EQ(fields.Fields(7).FieldName, "notes");
    EXPECT_EQ(fields.Fields(7).DataType, -1);
    EXPECT_EQ(fields.Fields(7).ColumnSize, 0);
    EXPECT_EQ(fields.FormLabel(2), "staff__id");
    // The password-bearing request file does not outlive its batch.
    EXPECT_FALSE(std::ifstream(client.RequestFilePath()).good());
}

TEST_F(CatalogClientTest, KeyColumnsOfATable) {
    CatalogClient client(ProgramDir(), requests_.path());
    std::vector<std::string> keys;
    client.RequestKeyFields("staff", staff_, keys);
    EXPECT_EQ(keys, std::vector<std::string>{"id"});
    std::vector<std::string> none;
    client.RequestKeyFields("staff_names", staff_, none);
    client.RequestKeyFields("staff", {"wiz_broken", "", ""}, none);
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(std::ifstream(client.RequestFilePath()).good());
}

TEST_F(CatalogClientTest, RefreshingATableReplacesItsFields) {
    CatalogClient client(ProgramDir(), requests_.path());
    TDBTableFieldsList fields;
    client.RequestFieldsForTables({"dept", "staff"}, staff_, fields);
    client.RefreshTableFields({"dept"}, fields, staff_);
    EXPECT_EQ(fields.Count(), 8u);
    EXPECT_EQ(fields.Key(6), "dept.dept_id");  // the refreshed table comes after the kept ones
}

TEST_F(CatalogClientTest, FailuresLeaveTheListsEmpty) {
    CatalogClient client(ProgramDir(), requests_.path());
    std::vector<std::string> tables;
    client.RequestTablesForDataSource({"wiz_broken", "", ""}, tables);
    EXPECT_TRUE(tables.empty());
    CatalogClient missing(requests_.path(), requests_.path());  // no tsutils there
    missing.RequestTablesForDataSource(staff_, tables);
    EXPECT_TRUE(tables.empty());
}

TEST_F(CatalogClientTest, OnlyTablesAndViewsAreKeptAndOldAnswersNeverCount) {
    std::string seenFile;
    // A stand-in tsutils that answers a fixed batch and checks the request it was given.
    CatalogClient client(ProgramDir(), requests_.path(), [&](const std::string&, const std::string& path) {
        wizardutils::CRequestFile file(path);
        seenFile = file.ReadValue("Request1", "Password", "");
        file.WriteValue("Responses", "Request1", "Success");
        file.WriteValue("Request1_Results", "a", "TABLE");
        file.WriteValue("Request1_Results", "b", "SYSTEM TABLE");
        file.WriteValue("Request1_Results", "c", "table");
        file.WriteValue("Request1_Results", "d", "VIEW");
        return true;
    });
    std::vector<std::string> tables;
    client.RequestTablesForDataSource({"x", "u", "secret"}, tables);
    EXPECT_EQ(seenFile, "secret");
    EXPECT_EQ(tables, (std::vector<std::string>{"a", "d"}));
    // A stale file with a success answer gives nothing when tsutils does not run.
    wizardutils::CRequestFile(client.RequestFilePath()).WriteValue("Responses", "Request1", "Success");
    CatalogClient failing(ProgramDir(), requests_.path(), [](const std::string&, const std::string&) { return false; });
    std::vector<std::string> none;
    failing.RequestDataSources(none);
    EXPECT_TRUE(none.empty());
}

TEST_F(CatalogClientTest, ServerSettingsFillTheProfile) {
    auto root = OpenTessaroRootKey();
    CRegistrySettings settings(root.get());
    settings.Set("Server", "WSCGIPath", "/cgi-bin/ksml");
    settings.Set("Server", "WSDocumentRoot", "/srv/www");
    settings.Set("Templates", "/", "/srv/tpl");
    CatalogClient client(ProgramDir(), requests_.path());
    TServerProfile profile;
    client.RequestServerSettings(profile);
    EXPECT_EQ(profile.DocumentRoot, "/srv/www");
    EXPECT_EQ(profile.TemplateDirectory, "/srv/tpl");
    EXPECT_EQ(profile.GatewayPath, "/cgi-bin/ksml/");
}

}  // namespace
}  // namespace tessaro::wizards
