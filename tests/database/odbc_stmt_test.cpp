#include "tests/database/odbc_fixture.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace tessaro::database::testing {
namespace {

class OdbcStmt : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Recreate("stmt_test", "id INTEGER, name VARCHAR(40), amount FLOAT");
    }

    // Reads back "id:name:amount" rows in id order.
    std::string Rows() {
        odbcCURSOR cur(conn, C("SELECT id, name, amount FROM stmt_test ORDER BY id"), 0, 1, 1, nullptr, 0, nullptr,
                       nullptr, 0, nullptr);
        std::string out;
        for (int ok = cur.GetFirst(); ok; ok = cur.GetNext()) {
            out += std::to_string(cur.ColResultAsLong(1)) + ":" + cur.ColResultAsLPSTR(2) + ":" +
                   std::to_string(static_cast<int>(cur.ColResultAsDouble(3))) + ";";
        }
        return out;
    }
};

struct Row {
    int32_t id;
    char name[41];
    double amount;
};

TEST_P(OdbcStmt, PreparedInsertWithBoundParameters) {
    Row row{5, "five", 2.5};
    char external[] = "outside";
    sPARMBIND parms[3] = {};
    parms[0] = {1, SQL_C_LONG, SQL_INTEGER, 0, 0, offsetof(Row, id), nullptr, 0, 0};
    parms[1] = {2, SQL_C_CHAR, SQL_VARCHAR, 40, 0, offsetof(Row, name), nullptr, SQL_NTS, 0};
    parms[2] = {3, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, offsetof(Row, amount), nullptr, 0, SQL_PARAM_INPUT};
    odbcSTMT stmt(conn, "INSERT INTO stmt_test VALUES (?, ?, ?)", 1, 1, parms, 3, &row);
    EXPECT_FALSE(stmt.ErrorFlag()) << stmt.ErrMsg();
    EXPECT_TRUE(stmt.Prepared());
    EXPECT_TRUE(stmt.Executed());
    EXPECT_EQ(stmt.RowCount(), 1);
    EXPECT_EQ(stmt.NumParams(), 3);
    EXPECT_EQ(stmt.pParmStruct(), &row);

    // Re-execute with new values, one of them taken by address.
    row.id = 6;
    parms[1].valueOffset = PARM_VALUE_BY_ADDRESS;
    parms[1].valueAddress = external;
    stmt.SetParmBindings(parms, 3, &row);
    EXPECT_FALSE(stmt.Executed());
    ASSERT_TRUE(stmt.SetParams());
    EXPECT_EQ(stmt.Execute(), SQL_SUCCESS) << stmt.ErrMsg();
    EXPECT_EQ(Rows(), "5:five:2;6:outside:2;");
}

TEST_P(OdbcStmt, NullTextOnlyBindsTheParameters) {
    Row row{1, "x", 0};
    sPARMBIND parms[1] = {};
    parms[0] = {1, SQL_C_LONG, SQL_INTEGER, 0, 0, offsetof(Row, id), nullptr, 0, 0};
    odbcSTMT stmt(conn, static_cast<const char*>(nullptr), 1, 1, parms, 1, &row);
    EXPECT_FALSE(stmt.ErrorFlag());
    EXPECT_FALSE(stmt.Prepared());
    EXPECT_FALSE(stmt.Executed());
    EXPECT_EQ(stmt.LastParmProcessed(), 1);  // walked past the only entry
    // The bound parameter then serves a direct execution.
    EXPECT_EQ(stmt.ExecDirect("INSERT INTO stmt_test (id) VALUES (?)"), SQL_SUCCESS) << stmt.ErrMsg();
    EXPECT_EQ(stmt.RowCount(), 1);
}

TEST_P(OdbcStmt, ExecuteWithoutPrepareRunsDirectly) {
    odbcSTMT stmt(conn, "INSERT INTO stmt_test VALUES (1, 'a', 1)", 0, 1, nullptr, 0, nullptr);
    EXPECT_FALSE(stmt.ErrorFlag());
    EXPECT_FALSE(stmt.Prepared());
    EXPECT_TRUE(stmt.Executed());
    EXPECT_EQ(stmt.SetParams(), 0);  // no bindings: nothing happens
    EXPECT_FALSE(stmt.ErrorFlag());
}

TEST_P(OdbcStmt, FailingParameterStopsBindingAndIsReported) {
    Row row{9, "nine", 9};
    sPARMBIND parms[3] = {};
    parms[0] = {1, SQL_C_LONG, SQL_INTEGER, 0, 0, offsetof(Row, id), nullptr, 0, 0};
    parms[1] = {2, 999, SQL_VARCHAR, 40, 0, offsetof(Row, name), nullptr, SQL_NTS, 0};  // no such C type
    parms[2] = {3, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, offsetof(Row, amount), nullptr, 0, 0};
    odbcSTMT stmt(conn, "INSERT INTO stmt_test VALUES (?, ?, ?)", 1, 1, parms, 3, &row);
    EXPECT_TRUE(stmt.ErrorFlag());
    EXPECT_FALSE(stmt.Executed());
    EXPECT_EQ(stmt.LastParmProcessed(), 1);
    EXPECT_EQ(stmt.lastRC(), SQL_ERROR);
    EXPECT_EQ(Rows(), "");
}

TEST_P(OdbcStmt, QueriesAnswerZeroWhenTheDriverFails) {
    odbcSTMT stmt(conn, static_cast<const char*>(nullptr), 0, 0, nullptr, 0, nullptr);
    EXPECT_EQ(stmt.GetStmtOption(60000), 0u);
    EXPECT_FALSE(stmt.sqlsuccess());
    EXPECT_EQ(stmt.NumParams(), 0);  // nothing prepared
}

TEST_P(OdbcStmt, RowCountOfAnUpdate) {
    Exec("INSERT INTO stmt_test VALUES (1, 'a', 1)");
    Exec("INSERT INTO stmt_test VALUES (2, 'b', 1)");
    Exec("INSERT INTO stmt_test VALUES (3, 'c', 2)");
    odbcSTMT stmt(conn, "UPDATE stmt_test SET name = 'z' WHERE amount = 1", 0, 1, nullptr, 0, nullptr);
    SQLLEN count = -1;
    EXPECT_EQ(stmt.RowCount(&count), SQL_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Rows(), "1:z:1;2:z:1;3:c:2;");
}

TEST_P(OdbcStmt, DescribeParamFillsTheRecord) {
    odbcSTMT stmt(conn, "INSERT INTO stmt_test (id, name) VALUES (?, ?)", 1, 0, nullptr, 0, nullptr);
    ASSERT_TRUE(stmt.Prepared()) << stmt.ErrMsg();
    sPARMBIND rec;
    rec.ipar = 7;
    rec.valueOffset = 3;
    short rc = stmt.DescribeParam(2, &rec);
    if (!odbcSucceeded(rc)) GTEST_SKIP() << "driver cannot describe parameters";
    EXPECT_EQ(rec.ipar, 0);
    EXPECT_EQ(rec.valueOffset, 0);
    EXPECT_NE(rec.fSqlType, 0);
    EXPECT_EQ(rec.fCType, stmt.CTypeFromSqlType(rec.fSqlType));
    EXPECT_GE(rec.cbValue, 0);  // the nullability
    EXPECT_LE(rec.cbValue, 2);
}

TEST(OdbcStmtTypes, CTypeFromSqlType) {
    OdbcTestConfig::Instance();
    odbcSTMT stmt(static_cast<odbcCONNECT*>(nullptr), static_cast<const char*>(nullptr), 0, 0, nullptr, 0, nullptr);
    struct {
        short sql, c;
    } cases[] = {{SQL_NUMERIC, SQL_C_CHAR}, {SQL_REAL, SQL_C_FLOAT},
                 {SQL_BIGINT, SQL_C_CHAR},  {SQL_LONGVARBINARY, SQL_C_BINARY},
                 {SQL_INTEGER, SQL_C_LONG}, {SQL_SMALLINT, SQL_C_SHORT},
                 {SQL_FLOAT, SQL_C_DOUBLE}, {SQL_TIMESTAMP, SQL_C_TIMESTAMP},
                 {SQL_BIT, SQL_C_BIT},      {SQL_TINYINT, SQL_C_TINYINT},
                 {SQL_DATE, SQL_C_DATE},    {SQL_TIME, SQL_C_TIME},
                 {SQL_VARCHAR, SQL_C_CHAR}, {SQL_WVARCHAR, 0}};
    for (auto& c : cases) EXPECT_EQ(stmt.CTypeFromSqlType(c.sql), c.c) << "SQL type " << c.sql;
    EXPECT_EQ(stmt.GetHstmt(), nullptr);  // no connection: nothing allocated, nothing crashes
    EXPECT_FALSE(odbcSucceeded(stmt.Execute()));
}

TS_ODBC_BACKENDS(OdbcStmt);

}  // namespace
}  // namespace tessaro::database::testing
