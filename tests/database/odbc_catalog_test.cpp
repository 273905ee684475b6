#include "database/odbc/odbc_catalog_iterators.h"
#include "tests/database/odbc_fixture.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace tessaro::database::testing {
namespace {

struct TableShape {
    const char* name;
    const sCOLBIND* table;
    unsigned short count;
    size_t recordSize;
};

class OdbcCatalogTables : public ::testing::TestWithParam<TableShape> {};

TEST_P(OdbcCatalogTables, EntriesMapTheRecordInOrder) {
    const TableShape& shape = GetParam();
    size_t previousEnd = 0;
    for (unsigned short i = 0; i < shape.count; ++i) {
        const sCOLBIND& b = shape.table[i];
        EXPECT_EQ(b.icol, i + 1) << shape.name;
        EXPECT_GE(b.valueOffset, previousEnd) << shape.name << " column " << i + 1;
        EXPECT_LE(b.valueOffset + static_cast<size_t>(b.cbValueMax), shape.recordSize);
        EXPECT_EQ(b.isPointer, 0);
        EXPECT_EQ(b.szColExtra, nullptr);
        EXPECT_TRUE(b.fCType == SQL_C_CHAR || b.fCType == SQL_C_SHORT || b.fCType == SQL_C_LONG);
        if (b.fCType == SQL_C_SHORT) {
            EXPECT_EQ(b.cbValueMax, 2);
        } else if (b.fCType == SQL_C_LONG) {
            EXPECT_EQ(b.cbValueMax, 4);
        }
        previousEnd = b.valueOffset + static_cast<size_t>(b.cbValueMax);
    }
}

#define TS_SHAPE(Name, Table, Count, Record) \
    TableShape {                             \
        Name, Table, Count, sizeof(Record)   \
    }
INSTANTIATE_TEST_SUITE_P(
    Shapes, OdbcCatalogTables,
    ::testing::Values(TS_SHAPE("Columns", kColumnsRSB, 12, sSQLCOLUMNSRESULTSET),
                      TS_SHAPE("SpecialColumns", kSpecialColumnsRSB, 7, sSQLSPECIALCOLRESULTSET),
                      TS_SHAPE("Tables", kTablesRSB, 5, sSQLTABLESRESULTSET),
                      TS_SHAPE("Statistics", kStatisticsRSB, 12, sSQLSTATISTICSRESULTSET),
                      TS_SHAPE("TypeInfo", kTypeInfoRSB, 13, sSQLTYPEINFORESULTSET),
                      TS_SHAPE("ProcedureColumns", kProcedureColumnsRSB, 13, sPROCEDURECOLUMNSRESULTSET),
                      TS_SHAPE("ColumnPrivileges", kColumnPrivilegesRSB, 8, sCOLUMNPRIVILEGESRESULTSET),
                      TS_SHAPE("Procedures", kProceduresRSB, 7, sPROCEDURESRESULTSET),
                      TS_SHAPE("ForeignKeys", kForeignKeysRSB, 12, sFOREIGNKEYSRESULTSET),
                      TS_SHAPE("TablePrivileges", kTablePrivilegesRSB, 7, sTABLEPRIVILEGESRESULTSET),
                      TS_SHAPE("PrimaryKeys", kPrimaryKeysRSB, 5, sPRIMARYKEYSRESULTSET)));
#undef TS_SHAPE

TEST(OdbcCatalogTablesNamed, DeclaredTypesOfTheNamedTables) {
    EXPECT_STREQ(kPrimaryKeysRSB[4].szColName, "KEY_SEQ");
    EXPECT_EQ(kPrimaryKeysRSB[4].fSqlType, SQL_SMALLINT);
    EXPECT_EQ(kPrimaryKeysRSB[4].fNullable, 1);
    EXPECT_EQ(kPrimaryKeysRSB[2].fNullable, 0);
    EXPECT_EQ(kProceduresRSB[3].fSqlType, SQL_INTEGER);
    EXPECT_EQ(kProcedureColumnsRSB[5].fSqlType, SQL_VARCHAR);  // DATA_TYPE kept as text
    EXPECT_EQ(kProcedureColumnsRSB[6].cbValueMax, 129);        // TYPE_NAME holds "TIMESTAMP"
    EXPECT_EQ(kColumnsRSB[0].szColName[0], 0);
}

class OdbcCatalog : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec("DROP TABLE IF EXISTS cat_child");
        Recreate("cat_parent", "id INTEGER PRIMARY KEY, name VARCHAR(30), remark VARCHAR(5)");
        Exec(
            "CREATE TABLE cat_child (cid INTEGER PRIMARY KEY, parent_id INTEGER "
            "REFERENCES cat_parent(id))");
        Exec("CREATE INDEX cat_parent_name ON cat_parent(name)");
    }
    void TearDown() override {
        // The shared binding tables are never written, whatever ran.
        for (unsigned short i = 0; i < 12; ++i) EXPECT_EQ(kColumnsRSB[i].cbValue, 0);
        for (unsigned short i = 0; i < 5; ++i) EXPECT_EQ(kTablesRSB[i].cbValue, 0);
        OdbcFixture::TearDown();
    }
};

TEST_P(OdbcCatalog, ColumnIteratorWalksTheColumnsInOrder) {
    odbcColumnIterator it(conn, nullptr, nullptr, C("cat_parent"), nullptr);
    ASSERT_TRUE(it.sqlsuccess()) << it.ErrMsg();
    std::vector<std::string> names;
    for (int ok = it.GetFirst(); ok; ok = it.GetNext()) {
        names.push_back(it.pColumnsResultSet()->COLUMN_NAME);
        ASSERT_LT(names.size(), 10u);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"id", "name", "remark"}));
    // Again from the start: a re-query, or the first rowset of a scrollable cursor.
    ASSERT_TRUE(it.GetFirst());
    EXPECT_STREQ(it.pColumnsResultSet()->COLUMN_NAME, "id");
    ASSERT_TRUE(it.GetNext());
    EXPECT_STREQ(it.pColumnsResultSet()->TABLE_NAME, "cat_parent");
    EXPECT_EQ(it.pColumnsResultSet()->DATA_TYPE, SQL_VARCHAR);
    EXPECT_EQ(it.pColumnsResultSet()->PRECISION, 30);
    if (it.Scrollable()) {
        ASSERT_TRUE(it.GetLast());
        EXPECT_STREQ(it.pColumnsResultSet()->COLUMN_NAME, "remark");
        ASSERT_TRUE(it.GetPrev());
        EXPECT_STREQ(it.pColumnsResultSet()->COLUMN_NAME, "name");
    } else {
        EXPECT_EQ(it.GetLast(), 0);
        EXPECT_EQ(it.GetPrev(), 0);
    }
}

TEST_P(OdbcCatalog, NullCatalogValuesNeverKeepThePreviousRow) {
    odbcColumnIterator it(conn, nullptr, nullptr, C("cat_parent"), nullptr);
    sSQLCOLUMNSRESULTSET* rs = it.pColumnsResultSet();
    int rows = 0;
    for (;;) {
        std::memset(rs, 'X', sizeof *rs);  // garbage a NULL column must not show
        if (!(rows == 0 ? it.GetFirst() : it.GetNext())) break;
        ++rows;
        for (const char* field :
             {rs->TABLE_QUALIFIER, rs->TABLE_OWNER, rs->TABLE_NAME, rs->COLUMN_NAME, rs->TYPE_NAME, rs->REMARKS}) {
            EXPECT_NE(std::string(field, 3), "XXX") << "row " << rows;
        }
    }
    EXPECT_EQ(rows, 3);
}

TEST_P(OdbcCatalog, EmptyResultGivesNoFirstRow) {
    odbcColumnIterator it(conn, nullptr, nullptr, C("no_such_table_z"), nullptr);
    EXPECT_EQ(it.GetFirst(), 0);
    EXPECT_EQ(it.GetNext(), 0);
}

TEST_P(OdbcCatalog, TablesKeysIndexesAndRowIdentifiers) {
    odbcTableIterator tables(conn, nullptr, nullptr, C("cat_%"), C("TABLE"));
    std::set<std::string> names;
    for (int ok = tables.GetFirst(); ok; ok = tables.GetNext()) names.insert(tables.pTablesResultSet()->TABLE_NAME);
    EXPECT_EQ(names, (std::set<std::string>{"cat_child", "cat_parent"}));

    odbcPrimaryKeysIterator keys(conn, nullptr, nullptr, C("cat_parent"));
    ASSERT_TRUE(keys.GetFirst()) << keys.ErrMsg();
    EXPECT_STREQ(keys.pPrimaryKeysResultSet()->column_name, "id");
    EXPECT_EQ(keys.pPrimaryKeysResultSet()->KEY_SEQ, 1);

    odbcForeignKeysIterator fks(conn, nullptr, nullptr, C("cat_parent"), nullptr, nullptr, C("cat_child"));
    ASSERT_TRUE(fks.GetFirst()) << fks.ErrMsg();
    EXPECT_STREQ(fks.pForeignKeysResultSet()->FKCOLUMN_NAME, "parent_id");
    EXPECT_STREQ(fks.pForeignKeysResultSet()->PKCOLUMN_NAME, "id");

    odbcStatisticsIterator stats(conn, nullptr, nullptr, C("cat_parent"), SQL_INDEX_ALL, SQL_QUICK);
    std::set<std::string> indexed;
    for (int ok = stats.GetFirst(); ok; ok = stats.GetNext()) indexed.insert(stats.pStatisticsResultSet()->COLUMN_NAME);
    EXPECT_EQ(indexed.count("name"), 1u);

    odbcSpecialColumnIterator special(conn, SQL_BEST_ROWID, nullptr, nullptr, C("cat_parent"), SQL_SCOPE_CURROW,
                                      SQL_NULLABLE);
    ASSERT_TRUE(special.sqlsuccess()) << special.ErrMsg();
    if (!IsPostgres()) {
        ASSERT_TRUE(special.GetFirst()) << special.ErrMsg();
        EXPECT_STREQ(special.pSpecialColsResultSet()->COLUMN_NAME, "_ROWID_");  // pseudo column
    }
}

TEST_P(OdbcCatalog, TypeInfo) {
    odbcTypeInfoIterator it(conn);
    int rows = 0;
    for (int ok = it.GetFirst(); ok; ok = it.GetNext()) ++rows;
    EXPECT_GT(rows, 3);

    sSQLTYPEINFORESULTSET rec{};
    EXPECT_EQ(conn->GetTypeInfo(SQL_INTEGER, rec), SQL_SUCCESS);
    EXPECT_EQ(rec.DATA_TYPE, SQL_INTEGER);
    EXPECT_NE(rec.TYPE_NAME[0], 0);

    sSQLTYPEINFORESULTSET untouched{};
    std::strcpy(untouched.TYPE_NAME, "unchanged");
    short rc = conn->GetTypeInfo(static_cast<unsigned short>(-150), untouched);
    EXPECT_TRUE(rc == SQL_NO_DATA_FOUND || rc == SQL_ERROR) << rc;
    EXPECT_STREQ(untouched.TYPE_NAME, "unchanged");
}

TEST_P(OdbcCatalog, EnumerationsHandEachRowToTheCallback) {
    struct Context {
        int calls = 0;
        short answer = 0;
        std::vector<std::string> names;
    } ctx;
    auto onTable = [](const sSQLTABLESRESULTSET& r, void* p) -> short {
        auto* c = static_cast<Context*>(p);
        ++c->calls;
        c->names.push_back(r.TABLE_NAME);
        return c->answer;
    };
    EXPECT_EQ(conn->EnumTables(nullptr, nullptr, C("cat_%"), C("TABLE"), onTable, &ctx), conn->lastRC());
    EXPECT_EQ(ctx.calls, 2);
    ctx = Context{};
    ctx.answer = 1;
    EXPECT_EQ(conn->EnumTables(nullptr, nullptr, C("cat_%"), C("TABLE"), onTable, &ctx), 1);
    EXPECT_EQ(ctx.calls, 1);

    conn->SignalRC(SQL_SUCCESS);
    auto onColumn = [](const sSQLCOLUMNSRESULTSET&, void* p) -> short {
        ++static_cast<Context*>(p)->calls;
        return 0;
    };
    ctx = Context{};
    EXPECT_EQ(conn->EnumColumns(nullptr, nullptr, C("no_such_table_z"), nullptr, onColumn, &ctx), SQL_SUCCESS);
    EXPECT_EQ(ctx.calls, 0);
    EXPECT_EQ(conn->EnumColumns(nullptr, nullptr, C("cat_child"), nullptr, onColumn, &ctx), SQL_SUCCESS);
    EXPECT_EQ(ctx.calls, 2);

    ctx = Context{};
    EXPECT_TRUE(odbcSucceeded(conn->PrimaryKeys(
        nullptr, nullptr, C("cat_child"),
        [](const sPRIMARYKEYSRESULTSET& r, void* p) -> short {
            static_cast<Context*>(p)->names.push_back(r.column_name);
            return 0;
        },
        &ctx)));
    EXPECT_EQ(ctx.names, (std::vector<std::string>{"cid"}));
}

TEST_P(OdbcCatalog, UnsupportedCatalogFunctionFailsCleanly) {
    conn->AutoRetrieve(1);
    odbcColumnPrivilegesIterator it(conn, nullptr, nullptr, C("cat_parent"), nullptr);
    // Neither driver offers column privileges through the driver manager.
    EXPECT_FALSE(it.sqlsuccess());
    EXPECT_NE(std::strstr(reinterpret_cast<const char*>(it.ErrMsg()), "not support"), nullptr) << it.ErrMsg();
    EXPECT_EQ(it.GetFirst(), 0);
}

TEST_P(OdbcCatalog, IteratorsFromTheConnectionFactory) {
    odbcTableIterator* tables = conn->AllocTableIterator(nullptr, nullptr, C("cat_parent"), nullptr);
    ASSERT_NE(tables, nullptr);
    EXPECT_TRUE(tables->GetFirst());
    conn->DeAllocTableIterator(tables);
    odbcProceduresIterator* procs = conn->AllocProceduresIterator(nullptr, nullptr, C("none_x"));
    ASSERT_NE(procs, nullptr);
    EXPECT_EQ(procs->GetFirst(), 0);
    conn->DeAllocProceduresIterator(procs);
}

TS_ODBC_BACKENDS(OdbcCatalog);

}  // namespace
}  // namespace tessaro::database::testing
