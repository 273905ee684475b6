// The table creator on SQLite and PostgreSQL: statements built from bindings, from a model
// cursor and from text with portable type words, and run against the data source.
#include "database/odbc/odbc_table_creator.h"

#include <gmock/gmock.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/database/odbc_fixture.h"

namespace tessaro::database::testing {
namespace {

struct Probe : odbcTABLECREATOR {
    using odbcTABLECREATOR::ColumnTypeFromToken;
    using odbcTABLECREATOR::GetCreateTypeName;
    using odbcTABLECREATOR::odbcTABLECREATOR;
};

sCOLBIND Binding(unsigned short icol, const char* name, short sqlType, SQLLEN cbValueMax) {
    sCOLBIND b;
    b.icol = icol;
    b.fCType = SQL_C_CHAR;
    b.fSqlType = sqlType;
    b.cbValueMax = cbValueMax;
    std::strncpy(b.szColName, name, sizeof b.szColName - 1);
    return b;
}

using ::testing::AllOf;
using ::testing::HasSubstr;

class TableCreator : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (conn == nullptr) return;
        creator.reset(conn->AllocTableCreator());
        ASSERT_NE(creator, nullptr);
    }
    void TearDown() override {
        creator.reset();
        OdbcFixture::TearDown();
    }
    std::unique_ptr<odbcTABLECREATOR> creator;
};

TEST_P(TableCreator, BindingsBuildAQuotedTableAndRunIt) {
    Exec("DROP TABLE IF EXISTS tc_staff");
    sCOLBIND columns[] = {Binding(1, "ID", SQL_INTEGER, 4), Binding(2, "NAME", SQL_VARCHAR, 31)};
    char text[512] = "untouched";
    unsigned short size = sizeof text;
    short rc = creator->CreateTable("tc_staff", columns, 2, nullptr, text, &size, 0, 0, 0);
    ASSERT_TRUE(odbcSucceeded(rc)) << creator->ErrMsg() << "\n" << creator->GetStatementText();
    std::string built = text;
    EXPECT_EQ(size, built.size() + 1);
    EXPECT_EQ(built.rfind("CREATE TABLE \"tc_staff\" (\n\t\"ID\" ", 0), 0u) << built;
    EXPECT_THAT(built, HasSubstr(",\n\t\"NAME\" "));
    EXPECT_THAT(built, HasSubstr("( 30 )\n)\n"));
    Exec("INSERT INTO tc_staff (\"ID\", \"NAME\") VALUES (1, 'Ann')");
    Exec("DROP TABLE tc_staff");
}

TEST_P(TableCreator, RepeatedNamesQuotesAndTableExtra) {
    sCOLBIND columns[] = {Binding(1, "Name", SQL_VARCHAR, 11), Binding(2, "NAME", SQL_VARCHAR, 11),
                          Binding(3, "name", SQL_VARCHAR, 11)};
    ASSERT_TRUE(
        odbcSucceeded(creator->CreateTable("a\"b", columns, 3, "PRIMARY KEY (\"Name\")", nullptr, nullptr, 1, 0, 1)));
    const std::string& built = creator->GetStatementText();
    EXPECT_EQ(built.rfind("CREATE TABLE \"a\"\"b\" (\n", 0), 0u) << built;
    EXPECT_THAT(built, AllOf(HasSubstr("\"Name\" "), HasSubstr("\"NAME2\" "), HasSubstr("\"name3\" ")));
    EXPECT_THAT(built, HasSubstr(",\n\tPRIMARY KEY (\"Name\")\n)\n"));

    // Without columns: the extra line only, no comma before it.
    ASSERT_TRUE(odbcSucceeded(creator->CreateTable("t", columns, 0, "x int", nullptr, nullptr, 1, 0, 0)));
    EXPECT_EQ(creator->GetStatementText(), "CREATE TABLE \"t\" (\n\tx int\n)\n");
}

TEST_P(TableCreator, DefinitionTextWithPortableTypes) {
    Exec("DROP TABLE IF EXISTS tc_price");
    char text[512] = {};
    unsigned short size = sizeof text;
    short rc = creator->CreateTable("CREATE TABLE tc_price (ID <INTEGER>, NAME <VARCHAR(20)>, PRICE <DECIMAL(10,2)>)",
                                    text, &size, 0);
    ASSERT_TRUE(odbcSucceeded(rc)) << creator->ErrMsg() << "\n" << text;
    EXPECT_EQ(std::string(text).rfind("CREATE TABLE tc_price (ID ", 0), 0u) << text;
    EXPECT_THAT(std::string(text), HasSubstr("( 20 )"));
    Exec("INSERT INTO tc_price VALUES (1, 'pen', 2.50)");
    Exec("DROP TABLE tc_price");
}

TEST_P(TableCreator, UnknownTypesAndIllFormedTextRunNothing) {
    char text[256] = {};
    unsigned short size = sizeof text;
    short rc = creator->CreateTable("CREATE TABLE tc_never (A <CHAR (20)>)", text, &size, 0);
    EXPECT_FALSE(odbcSucceeded(rc));
    EXPECT_EQ(std::string(text), "CREATE TABLE tc_never (A <<Unrecognized type CHAR >>)");
    for (const char* bad : {"CREATE TABLE tc_never A <INTEGER>", "CREATE TABLE tc_never (A <VARCHAR()>)",
                            "CREATE TABLE tc_never (A <>)", "CREATE TABLE tc_never (A <<INTEGER>)"})
        EXPECT_FALSE(odbcSucceeded(creator->CreateTable(bad, nullptr, nullptr, 0))) << bad;
    // The table was never made.
    odbcSTMT probe(conn, "SELECT * FROM tc_never", 0, 0, nullptr, 0, nullptr);
    probe.AutoReport(0);
    EXPECT_FALSE(odbcSucceeded(probe.ExecDirect("SELECT * FROM tc_never")));
}

TEST_P(TableCreator, SmallOutputBufferIsLeftAloneButTheSizeIsReported) {
    sCOLBIND columns[] = {Binding(1, "ID", SQL_INTEGER, 4)};
    char text[8] = "keep";
    unsigned short size = sizeof text;
    ASSERT_TRUE(odbcSucceeded(creator->CreateTable("t", columns, 1, nullptr, text, &size, 1, 0, 0)));
    EXPECT_STREQ(text, "keep");
    EXPECT_EQ(size, creator->GetStatementText().size() + 1);
}

TEST_P(TableCreator, ModelCursorGivesTheColumns) {
    EXPECT_EQ(creator->CreateTable("t", static_cast<odbcCURSOR*>(nullptr), nullptr, nullptr, nullptr, 1, 0), -1006);
    std::unique_ptr<odbcCURSOR> model(
        conn->AllocCursor(C("SELECT 1 AS num, 'abc' AS txt"), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr));
    ASSERT_NE(model, nullptr);
    ASSERT_TRUE(odbcSucceeded(creator->CreateTable("tc_model", model.get(), nullptr, nullptr, nullptr, 1, 0)))
        << creator->ErrMsg();
    const std::string& built = creator->GetStatementText();
    EXPECT_THAT(built, AllOf(HasSubstr("\"num\" "), HasSubstr("\"txt\" ")));
}

TEST(TableCreatorWords, PortableWordsAndMinimumPrecisions) {
    struct Case {
        const char* word;
        short type;
        unsigned long given, raised;
    } cases[] = {{"integer", SQL_INTEGER, 4, 10},
                 {"VARCHAR", SQL_VARCHAR, 30, 30},
                 {"Bit", SQL_BIT, 0, 1},
                 {"DOUBLE", SQL_DOUBLE, 20, 20}};
    OdbcTestConfig::Instance();
    odbcENV env;
    odbcCONNECT* conn = env.AllocConnect(C(OdbcTestConfig::kDefaultDsn), C(""), C(""), 0);
    ASSERT_NE(conn, nullptr);
    {
        Probe probe(conn);
        for (const Case& c : cases) {
            short type = 0;
            unsigned long precision = c.given;
            EXPECT_EQ(probe.ColumnTypeFromToken(c.word, &type, &precision), 0) << c.word;
            EXPECT_EQ(type, c.type);
            EXPECT_EQ(precision, c.raised) << c.word;
        }
        short untouched = 7;
        EXPECT_EQ(probe.ColumnTypeFromToken("TEXT", &untouched, nullptr), -1);
        EXPECT_EQ(untouched, 7);
        EXPECT_STREQ(probe.GetCreateTypeName(99), "?");
        EXPECT_STREQ(probe.GetCreateTypeName(SQL_LONGVARBINARY), "LONGVARBINARY");
    }
    env.DeAllocConnect(conn);
}

TS_ODBC_BACKENDS(TableCreator);

}  // namespace
}  // namespace tessaro::database::testing
