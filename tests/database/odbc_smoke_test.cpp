#include "tests/database/odbc_fixture.h"

#include <cstring>

namespace tessaro::database::testing {
namespace {

class OdbcSmoke : public OdbcFixture {};

TEST_P(OdbcSmoke, AutoBoundQueryReturnsInsertedRow) {
    Recreate("smoke", "id INTEGER, name VARCHAR(20)");
    Exec("INSERT INTO smoke VALUES (7, 'seven')");
    odbcCURSOR cur(conn, C("SELECT id, name FROM smoke"), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
    ASSERT_FALSE(cur.ErrorFlag()) << cur.ErrMsg();
    ASSERT_TRUE(cur.GetFirst()) << cur.ErrMsg();
    EXPECT_EQ(cur.ColResultAsLong(1), 7);
    EXPECT_STREQ(cur.ColResultAsLPSTR("NAME"), "seven");
    EXPECT_FALSE(cur.GetNext());
    EXPECT_EQ(cur.lastRC(), SQL_NO_DATA_FOUND);
}

TEST_P(OdbcSmoke, LargeIntegersAreNotWrapped) {
    Recreate("bigint_test", IsPostgres() ? "n BIGINT, m INTEGER" : "n INTEGER, m INTEGER");
    Exec("INSERT INTO bigint_test VALUES (5000000000, -7)");
    odbcCURSOR cur(conn, C("SELECT n, m FROM bigint_test"), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
    ASSERT_TRUE(cur.GetFirst()) << cur.ErrMsg();
    if (cur.ColResultInfo(1)->fCType == SQL_C_CHAR) {
        EXPECT_STREQ(cur.ColResultAsLPSTR(1), "5000000000");  // BIGINT is bound as text
    } else {
        EXPECT_EQ(cur.ColResultAsLong(1), 5000000000L);
        EXPECT_DOUBLE_EQ(cur.ColResultAsDouble(1), 5e9);
    }
    EXPECT_EQ(cur.ColResultAsLong(2), -7);
    EXPECT_EQ(cur.ColResultAsShort("M"), -7);
}

TS_ODBC_BACKENDS(OdbcSmoke);

}  // namespace
}  // namespace tessaro::database::testing
