// tsutils against a SQLite data source: the request file goes in, the answers come back in it.
#include "wizardutils/request_processor.h"

#include <cstdlib>
#include <fstream>

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_env.h"
#include "database/odbc/odbc_stmt.h"
#include "platform/registry_store.h"
#include "support/registry.h"
#include "tests/common/file_text.h"
#include "tests/common/pg_test_server.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"
#include "wizardutils/request_file.h"

namespace tessaro::wizardutils::testing {
namespace {

class TsutilsTest : public SQLiteCatalogTest {
protected:
    void SetUp() override {
        SQLiteCatalogTest::SetUp();
        path_ = folder_.path() + "/VESK.INI";
    }
    void Write(const std::string& text) { std::ofstream(path_) << text; }
    void Process() {
        odbcENV env;
        env.AutoRetrieve(2);
        env.AutoReport(0);
        ProcessRequestFile(path_, env);
    }
    std::string Value(const std::string& section, const std::string& key) {
        return CRequestFile(path_).ReadValue(section, key, "<missing>");
    }
    AnswerList Results(const std::string& key) { return CRequestFile(path_).ReadSectionInOrder(key + "_Results"); }

    tessaro::test::TempFolder folder_;
    std::string path_;
};

TEST_F(TsutilsTest, DataSourcesAnswerTrueWithTheirOwnDefinition) {
    Write("[Requests]\nR=GETDATASOURCES\n");
    Process();
    EXPECT_EQ(Value("Responses", "R"), "Success");
    EXPECT_EQ(Value("R_Results", "wiz_staff"), "TRUE");
    EXPECT_EQ(Value("Messages", "R"), "<missing>");
}

TEST_F(TsutilsTest, TablesListsTablesAndViewsWithTheirTypes) {
    Write("[Requests]\nRequest1=GetTablesForDataSource\n[Request1]\nDataSourceName=wiz_staff\n");
    Process();
    EXPECT_EQ(Value("Responses", "Request1"), "Success");
    EXPECT_EQ(Value("Request1_Results", "staff"), "TABLE");
    EXPECT_EQ(Value("Request1_Results", "dept"), "TABLE");
    EXPECT_EQ(Value("Request1_Results", "staff_names"), "VIEW");
}

TEST_F(TsutilsTest, FieldsComeInTableOrderWithTheDeclaredTypeNames) {
    Write("[Requests]\nRequest0=GetFieldsForTable\n[Request0]\nDataSourceName=wiz_staff\nTableName=staff\n");
    Process();
    EXPECT_EQ(Value("Responses", "Request0"), "Success");
    AnswerList fields = Results("Request0");
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0], (std::pair<std::string, std::string>{"id", "INTEGER"}));
    EXPECT_EQ(fields[1], (std::pair<std::string, std::string>{"name", "varchar(20)"}));
    EXPECT_EQ(fields[3], (std::pair<std::string, std::string>{"salary", "numeric(10,2)"}));
    EXPECT_EQ(fields[4].second, "DATE");
}

TEST_F(TsutilsTest, FieldSizesGiveEachColumnsTypeCodeAndSize) {
    Write("[Requests]\nS=GetFieldSizesForTable\n[S]\nDataSourceName=wiz_staff\nTableName=staff\n");
    Process();
    EXPECT_EQ(Value("Responses", "S"), "Success");
    AnswerList sizes = Results("S");
    ASSERT_EQ(sizes.size(), 6u);
    // varchar(20) is SQL_VARCHAR (12) of 20 characters; TEXT is SQL_LONGVARCHAR (-1) of no size.
    EXPECT_EQ(sizes[1], (std::pair<std::string, std::string>{"name", "12,20"}));
    EXPECT_EQ(sizes[5], (std::pair<std::string, std::string>{"notes", "-1,0"}));
    EXPECT_EQ(sizes[0].first, "id");
    EXPECT_EQ(sizes[0].second.rfind("4,", 0), 0u) << sizes[0].second;
}

TEST_F(TsutilsTest, PrimaryKeysComeWithTheirPositions) {
    Write(
        "[Requests]\nKeys=GetPrimaryKeysForTable\nNone=GetPrimaryKeysForTable\n"
        "[Keys]\nDataSourceName=wiz_staff\nTableName=staff\n[None]\nDataSourceName=wiz_staff\nTableName=staff_names\n");
    Process();
    EXPECT_EQ(Value("Responses", "Keys"), "Success");
    EXPECT_EQ(Results("Keys"), (AnswerList{{"id", "1"}}));
    // A view has no key: nothing to answer, and nothing failed.
    EXPECT_EQ(Value("Responses", "None"), "Success");
    EXPECT_TRUE(Results("None").empty());
}

struct FailureCase {
    const char* name;
    const char* request;
    const char* message;  // nullptr: no message at all
};

class TsutilsFailureTest : public TsutilsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TsutilsFailureTest, AnswersFailureWithTheMessage) {
    Write(std::string("[Requests]\nR=") + GetParam().request);
    Process();
    EXPECT_EQ(Value("Responses", "R"), "Failure");
    EXPECT_EQ(Value("Messages", "R"), GetParam().message ? GetParam().message : "<missing>");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TsutilsFailureTest,
    ::testing::Values(
        FailureCase{"LowerCaseParameter", "GetTablesForDataSource\n[R]\ndatasourcename=wiz_staff\n",
                    "Missing required parameter, 'DataSourceName'."},
        FailureCase{"FieldsWithoutDataSource", "GetFieldsForTable\n[R]\nTableName=staff\n",
                    "Missing required parameter, 'DatasourceName'."},
        FailureCase{"FieldsWithoutTable", "GetFieldsForTable\n[R]\nDataSourceName=wiz_staff\n",
                    "Missing required parameter, 'TableName'."},
        FailureCase{"NoTables", "GetTablesForDataSource\n[R]\nDataSourceName=wiz_empty\n", "No tables listed."},
        FailureCase{"NoColumns", "GetFieldsForTable\n[R]\nDataSourceName=wiz_staff\nTableName=nothere\n",
                    "Unable to find any fields."},
        FailureCase{"TablesOfBrokenSource", "GetTablesForDataSource\n[R]\nDataSourceName=wiz_broken\n",
                    "Unable to open datasource."},
        FailureCase{"FieldsOfBrokenSource", "GetFieldsForTable\n[R]\nDataSourceName=wiz_broken\nTableName=staff\n",
                    "Unable to diagnose error."},
        FailureCase{"SizesWithoutTable", "GetFieldSizesForTable\n[R]\nDataSourceName=wiz_staff\n",
                    "Missing required parameter, 'TableName'."},
        FailureCase{"SizesOfBrokenSource",
                    "GetFieldSizesForTable\n[R]\nDataSourceName=wiz_broken\nTableName=staff\n",
                    "Unable to diagnose error."},
        FailureCase{"KeysWithoutTable", "GetPrimaryKeysForTable\n[R]\nDataSourceName=wiz_staff\n",
                    "Missing required parameter, 'TableName'."},
        FailureCase{"KeysOfBrokenSource", "GetPrimaryKeysForTable\n[R]\nDataSourceName=wiz_broken\nTableName=staff\n",
                    "Unable to open datasource."},
        FailureCase{"UnknownType", "GetEverything\n", nullptr},
        FailureCase{"UnreachableMachine", "GetServerSettings\n[R]\nMachineName=no-such-host-zz\n",
                    "Unable to connect to remote computer."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TsutilsTest, ServerSettingsReadTheTemplateDefaultFromTheSlashValue) {
    auto root = OpenTessaroRootKey();
    CRegistrySettings settings(root.get());
    settings.Set("Server", "WSCGIPath", "/cgi-bin/ksml");
    settings.Set("Server", "WSDocumentRoot", "/srv/www");
    settings.Set("Templates", "/", "/srv/templates");
    settings.Set("Templates", "TemplateDefault", "wrong");
    Write("[Requests]\nServerSettings=GetServerSettings\n[ServerSettings]\nMachineName=\n");
    Process();
    EXPECT_EQ(Value("Responses", "ServerSettings"), "Success");
    EXPECT_EQ(Value("ServerSettings_Results", "WSCGIPath"), "/cgi-bin/ksml");
    EXPECT_EQ(Value("ServerSettings_Results", "WSDocumentRoot"), "/srv/www");
    EXPECT_EQ(Value("ServerSettings_Results", "TemplateDefault"), "/srv/templates");
}

TEST_F(TsutilsTest, PostgreSQLCatalogueAnswers) {
    using tessaro::database::PgTestServer;
    PgTestServer& pg = PgTestServer::Instance();
    REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL: " << pg.Reason());
    {
        odbcENV env;
        std::string dsn = PgTestServer::kDsn, user = PgTestServer::kUser, password;
        odbcCONNECT conn(&env, dsn.data(), user.data(), password.data(), 0);
        ASSERT_TRUE(conn.Connected()) << conn.ErrMsg();
        for (const char* sql : {"DROP TABLE IF EXISTS wiz_pg_staff",
                                "CREATE TABLE wiz_pg_staff (id integer, name varchar(20), pay numeric(10,2))"}) {
            odbcSTMT stmt(&conn, sql, 0, 1, nullptr, 0, nullptr);
            ASSERT_FALSE(stmt.ErrorFlag()) << sql << ": " << stmt.ErrMsg();
        }
    }
    Write(std::string("[Requests]\nT=GetTablesForDataSource\nF=GetFieldsForTable\n[T]\nDataSourceName=") +
          PgTestServer::kDsn + "\nUsername=" + PgTestServer::kUser + "\n[F]\nDataSourceName=" + PgTestServer::kDsn +
          "\nUsername=" + PgTestServer::kUser + "\nTableName=wiz_pg_staff\n");
    Process();
    EXPECT_EQ(Value("Responses", "T"), "Success") << Value("Messages", "T");
    EXPECT_EQ(Value("T_Results", "wiz_pg_staff"), "TABLE");
    EXPECT_EQ(Value("Responses", "F"), "Success") << Value("Messages", "F");
    AnswerList fields = Results("F");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0].first, "id");
    EXPECT_EQ(fields[1], (std::pair<std::string, std::string>{"name", "varchar"}));
    EXPECT_EQ(fields[2].first, "pay");
}

TEST_F(TsutilsTest, EachRequestStandsAlone) {
    Write(
        "[Requests]\nA=GetTablesForDataSource\nB=GetFieldsForTable\n[A]\nDataSourceName=wiz_broken\n"
        "[B]\nDataSourceName=wiz_staff\nTableName=dept\n");
    Process();
    EXPECT_EQ(Value("Responses", "A"), "Failure");
    EXPECT_EQ(Value("Responses", "B"), "Success");
    EXPECT_EQ(Value("B_Results", "title"), "varchar(40)");
}

TEST_F(TsutilsTest, NothingIsWrittenWithoutRequests) {
    Write("[Requests]\n");
    Process();
    std::string all = tessaro::test::ReadFileText(path_);
    EXPECT_EQ(all.find("Responses"), std::string::npos);
    Process();  // and a missing file stays missing
    std::remove(path_.c_str());
    Process();
    EXPECT_FALSE(std::ifstream(path_).good());
}

TEST_F(TsutilsTest, TheProgramAnswersItsArgumentAndNeverWaitsForAnyone) {
    Write(
        "[Requests]\nR=GetTablesForDataSource\nS=GetFieldsForTable\n[R]\nDataSourceName=wiz_broken\n"
        "[S]\nDataSourceName=wiz_staff\nTableName=staff\n");
    std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tsutils";
    std::string command = "'" + program + "' \"" + path_ + "\" </dev/null >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Value("Responses", "R"), "Failure");
    EXPECT_EQ(Value("Messages", "R"), "Unable to open datasource.");
    EXPECT_EQ(Value("S_Results", "hired"), "DATE");
    EXPECT_EQ(std::system(("'" + program + "' </dev/null").c_str()), 0);  // no argument: nothing to do
}

}  // namespace
}  // namespace tessaro::wizardutils::testing
