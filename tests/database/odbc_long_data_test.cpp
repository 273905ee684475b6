// Long columns (long text, long binary) through the record inserter and updater on SQLite
// and PostgreSQL: each value travels through its odbcBLOB as data at execution, never as the
// bytes of the record slot that holds the odbcBLOB; NULLs never clear more than the slot.
// The updater's ways (SQLSetPos, a positioned statement, the key values) are each run where
// the driver offers them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/odbc/odbc_blob.h"
#include "database/odbc/odbc_record.h"
#include "tests/database/odbc_fixture.h"

namespace tessaro::database::testing {
namespace {

constexpr std::size_t kFiveMegabytes = 5 * 1024 * 1024;

std::string LongText(std::size_t n) {
    std::string text(n, ' ');
    uint32_t state = 12345;
    for (char& c : text) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>('a' + (state >> 16) % 26);
    }
    return text;
}

std::string LongBinary(std::size_t n) {
    std::string bytes(n, '\0');
    uint32_t state = 777;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// The value of a long column after a fetch: its bytes, or "<NULL>".
std::string LongValue(odbcCURSOR& cursor, unsigned short column, bool text) {
    odbcBLOB* blob = cursor.ColResultAsBLOB(column);
    if (blob == nullptr) return "<no long column>";
    if (blob->IsNull()) return "<NULL>";
    const char* data = static_cast<const char*>(blob->GetMem(0));
    if (data == nullptr) return std::string();
    std::size_t n = static_cast<std::size_t>(blob->GetcbValue());
    return text ? std::string(data, strnlen(data, n)) : std::string(data, n);
}

class LongDataTest : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcTestConfig::Instance();
        std::string dsn = OdbcTestConfig::kDefaultDsn;
        if (IsPostgres()) {
            PgTestServer& pg = PgTestServer::Instance();
            REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
            dsn = PostgresDsn(true);
        }
        Connect(dsn);
    }

    // A data source on the private server; updatable: the driver's updatable cursors are on
    // (they give SQLSetPos updates and deletes). bytea is described as long binary.
    static std::string PostgresDsn(bool updatable) {
        PgTestServer& pg = PgTestServer::Instance();
        std::string name = updatable ? "tessaro_pg_updatable" : "tessaro_pg_positioned";
        OdbcTestConfig::Instance().AddDsn(name, {{"Driver", kPostgresDriverName},
                                                 {"Servername", pg.SocketDir()},
                                                 {"Port", std::to_string(pg.Port())},
                                                 {"Database", "postgres"},
                                                 {"Username", PgTestServer::kUser},
                                                 {"Password", ""},
                                                 {"UpdatableCursors", updatable ? "1" : "0"},
                                                 {"ByteaAsLongVarBinary", "1"}});
        return name;
    }

    void Connect(const std::string& dsn) {
        if (env && conn) env->DeAllocConnect(conn);
        conn = nullptr;
        env = std::make_unique<odbcENV>();
        ASSERT_EQ(env->lastRC(), SQL_SUCCESS);
        conn = env->AllocConnect(C(dsn.c_str()), C(PgTestServer::kUser), C(""), 0);
        ASSERT_NE(conn, nullptr);
        ASSERT_TRUE(conn->Connected()) << conn->ErrMsg();
    }

    std::string BinaryType() const { return IsPostgres() ? "bytea" : "BLOB"; }

    // Writes an integer into a bound column of the cursor's own record, at its bound width.
    static void SetInteger(odbcCURSOR& cursor, unsigned short column, unsigned short row, int64_t value) {
        sCOLBIND* b = cursor.ColResultInfo(column);
        void* at = row ? cursor.ColResultAddr(column, row) : cursor.ColResultAddr(column);
        ASSERT_NE(at, nullptr);
        if (b->fCType == SQL_C_SBIGINT) {
            std::memcpy(at, &value, sizeof value);
        } else {
            int32_t narrow = static_cast<int32_t>(value);
            std::memcpy(at, &narrow, sizeof narrow);
        }
    }

    // Every row of "SELECT id, <text column>, <binary column> ..." as read back.
    struct Row {
        std::string text;
        std::string bytes;
    };
    std::vector<Row> ReadLongRows(const std::string& sql) {
        std::vector<Row> rows;
        odbcCURSOR cursor(conn, C(sql.c_str()), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
        EXPECT_FALSE(cursor.ErrorFlag()) << cursor.ErrMsg();
        for (int more = cursor.GetFirst(); more; more = cursor.GetNext())
            rows.push_back({LongValue(cursor, 2, true), LongValue(cursor, 3, false)});
        return rows;
    }

    // The first column of every row as text, "NULL" for NULL, each followed by ";".
    std::string Column(const std::string& sql) {
        odbcCURSOR cur(conn, C(sql.c_str()), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
        std::string out;
        for (int more = cur.GetFirst(); more; more = cur.GetNext()) {
            sCOLBIND* b = cur.ColResultInfo(static_cast<unsigned short>(1));
            if (odbcIsLongType(b->fSqlType))
                out += LongValue(cur, 1, true) == "<NULL>" ? "NULL" : LongValue(cur, 1, true);
            else if (cur.IsColValueNull(static_cast<unsigned short>(1)))
                out += "NULL";
            else
                out += cur.ColResultAsLPSTR(static_cast<unsigned short>(1));
            out += ";";
        }
        return out;
    }
};

TEST_P(LongDataTest, FiveMegabytesOfTextAndBinaryGoInAndComeBackByteForByte) {
    Recreate("lob_items", "id INTEGER PRIMARY KEY, t TEXT, b " + BinaryType());
    // Without bindings the inserter binds the table's own columns into its own record.
    odbcRECINSERTER inserter(conn, "lob_items", nullptr, 0, nullptr);
    ASSERT_FALSE(inserter.ErrorFlag()) << inserter.ErrMsg();
    ASSERT_TRUE(odbcIsLongType(inserter.ColResultInfo(static_cast<unsigned short>(2))->fSqlType));
    ASSERT_EQ(inserter.ColResultInfo(static_cast<unsigned short>(3))->fSqlType, SQL_LONGVARBINARY);

    const std::string text = LongText(kFiveMegabytes);
    const std::string bytes = LongBinary(kFiveMegabytes);
    SetInteger(inserter, 1, 0, 1);
    ASSERT_EQ(inserter.ColResultAsBLOB(static_cast<unsigned short>(2))->SetData(text.data(), text.size()), 0);
    ASSERT_EQ(inserter.ColResultAsBLOB(static_cast<unsigned short>(3))->SetData(bytes.data(), bytes.size()), 0);
    EXPECT_EQ(inserter.InsertRecord(nullptr, 0, nullptr), 0) << inserter.ErrMsg() << inserter.GetStmtObject()->ErrMsg();

    SetInteger(inserter, 1, 0, 2);
    SQLLEN nulls[3] = {0, SQL_NULL_DATA, SQL_NULL_DATA};
    EXPECT_EQ(inserter.InsertRecord(nullptr, 0, nulls), 0) << inserter.ErrMsg();

    SetInteger(inserter, 1, 0, 3);
    ASSERT_EQ(inserter.ColResultAsBLOB(static_cast<unsigned short>(2))->SetLPSTRInBlob("short"), 0);
    ASSERT_EQ(inserter.ColResultAsBLOB(static_cast<unsigned short>(3))->SetData("\0\x01\xff", 3), 0);
    EXPECT_EQ(inserter.InsertRecord(nullptr, 0, nullptr), 0) << inserter.ErrMsg();

    std::vector<Row> rows = ReadLongRows("SELECT id, t, b FROM lob_items ORDER BY id");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].text.size(), text.size());
    EXPECT_TRUE(rows[0].text == text);
    EXPECT_EQ(rows[0].bytes.size(), bytes.size());
    EXPECT_TRUE(rows[0].bytes == bytes);
    EXPECT_EQ(rows[1].text, "<NULL>");
    EXPECT_EQ(rows[1].bytes, "<NULL>");
    EXPECT_EQ(rows[2].text, "short");
    EXPECT_EQ(rows[2].bytes, std::string("\0\x01\xff", 3));
}

// The SQLite driver wants long data lengths announced (SQL_NEED_LONG_DATA_LEN "Y"), the
// PostgreSQL driver does not; the announced length is the bytes sent.
TEST_P(LongDataTest, DataAtExecutionIndicatorTakesTheFormTheDriverAsksFor) {
    EXPECT_EQ(odbcBLOB::DataAtExecIndicator(conn, 10), IsPostgres() ? SQL_LEN_DATA_AT_EXEC(0) : SQL_LEN_DATA_AT_EXEC(10));
    EXPECT_EQ(odbcBLOB::DataAtExecIndicator(nullptr, 10), SQL_DATA_AT_EXEC);
    EXPECT_TRUE(conn->sqlsuccess() || conn->lastRC() == SQL_SUCCESS_WITH_INFO);
}

// A caller's record holds an odbcBLOB pointer where a long column lies; its declared size
// (here 10 MB) is the column's, not the slot's.
TEST_P(LongDataTest, CallerBindingsSendLongColumnsThroughTheirObjectsAndNullsClearOnlyTheSlot) {
    Recreate("lob_caller", "id INTEGER PRIMARY KEY, t TEXT, b " + BinaryType());
    struct Record {
        int32_t id;
        odbcBLOB* text;
        odbcBLOB* bytes;
    } record{};
    sCOLBIND cols[3] = {};
    const struct {
        short cType, sqlType;
        uint32_t offset;
        SQLLEN size;
        const char* name;
    } layout[] = {{SQL_C_LONG, SQL_INTEGER, offsetof(Record, id), 4, "id"},
                  {SQL_C_CHAR, SQL_LONGVARCHAR, offsetof(Record, text), 10 * 1024 * 1024, "t"},
                  {SQL_C_BINARY, SQL_LONGVARBINARY, offsetof(Record, bytes), 10 * 1024 * 1024, "b"}};
    for (unsigned short i = 0; i < 3; ++i) {
        cols[i].icol = static_cast<unsigned short>(i + 1);
        cols[i].fCType = layout[i].cType;
        cols[i].fSqlType = layout[i].sqlType;
        cols[i].valueOffset = layout[i].offset;
        cols[i].cbValueMax = layout[i].size;
        std::strcpy(cols[i].szColName, layout[i].name);
    }
    odbcRECINSERTER inserter(conn, "lob_caller", cols, 3, &record);
    ASSERT_FALSE(inserter.ErrorFlag()) << inserter.ErrMsg();
    ASSERT_NE(record.text, nullptr);
    ASSERT_NE(record.bytes, nullptr);
    odbcBLOB* const text = record.text;

    record.id = 1;
    SQLLEN lengths[3] = {0, SQL_NULL_DATA, SQL_NULL_DATA};
    EXPECT_EQ(inserter.InsertRecord(nullptr, 0, lengths), 0) << inserter.ErrMsg();
    EXPECT_EQ(record.text, text) << "the slot still holds its object";

    record.id = 2;
    ASSERT_EQ(record.text->SetLPSTRInBlob("two"), 0);
    ASSERT_EQ(record.bytes->SetData("\x02\x00\x02", 3), 0);
    SQLLEN present[3] = {4, 0, 0};
    EXPECT_EQ(inserter.InsertRecord(nullptr, 0, present), 0) << inserter.ErrMsg();
    EXPECT_EQ(present[0], 4);  // an integer's length is its width

    std::vector<Row> rows = ReadLongRows("SELECT id, t, b FROM lob_caller ORDER BY id");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "<NULL>");
    EXPECT_EQ(rows[0].bytes, "<NULL>");
    EXPECT_EQ(rows[1].text, "two");
    EXPECT_EQ(rows[1].bytes, std::string("\x02\x00\x02", 3));
}

// Row 2 of a three-row result is updated and deleted, with and without a long column. The
// PostgreSQL driver (updatable cursors on) takes SQLSetPos; the SQLite driver changes rows
// through SQLSetPos but reports no row count, so the updater names the row by its key there.
// The SQLite driver reads long columns only in rowsets of one row: there row 2 is the second
// rowset.
TEST_P(LongDataTest, UpdaterChangesAndDeletesRowTwoOfThreeWithAndWithoutALongColumn) {
    const std::string longText = LongText(100000);
    for (bool withLong : {false, true}) {
        SCOPED_TRACE(withLong ? "with a long column" : "without a long column");
        Recreate("upd_items", "id INTEGER PRIMARY KEY, name VARCHAR(20), t TEXT");
        Exec("INSERT INTO upd_items VALUES (1, 'Ann', 'one')");
        Exec("INSERT INTO upd_items VALUES (2, 'Bob', 'two')");
        Exec("INSERT INTO upd_items VALUES (3, 'Cy', 'three')");
        std::string select = withLong ? "SELECT id, name, t FROM upd_items ORDER BY id"
                                      : "SELECT id, name FROM upd_items ORDER BY id";
        const bool oneRowRowsets = withLong && !IsPostgres();
        odbcRECUPDATER updater(conn, "upd_items", select.c_str(), nullptr, 0, nullptr, 1, SQL_CONCUR_LOCK,
                               SQL_CURSOR_STATIC, oneRowRowsets ? 1 : 3);
        ASSERT_FALSE(updater.ErrorFlag()) << updater.ErrMsg();
        ASSERT_EQ(updater.ExtFetchFirst(), oneRowRowsets ? 1u : 3u) << updater.ErrMsg();
        if (oneRowRowsets) {
            ASSERT_EQ(updater.ExtFetchNext(), 1u);
        }
        const unsigned short row = oneRowRowsets ? 1 : 2;

        char* name = static_cast<char*>(updater.ColResultAddr(static_cast<unsigned short>(2), row));
        ASSERT_NE(name, nullptr);
        std::strcpy(name, "Beatrice");
        if (withLong) {
            odbcBLOB* blob = updater.ColResultAsBLOB(static_cast<unsigned short>(3), row);
            ASSERT_NE(blob, nullptr);
            ASSERT_EQ(blob->SetData(longText.data(), longText.size()), 0);
        }
        SQLLEN lengths[3] = {0, 0, 0};
        EXPECT_EQ(updater.UpdateRecord(row, nullptr, 0, lengths), 1)
            << updater.ErrMsg() << " / " << updater.GetStmtObject()->ErrMsg();
        const bool byKey = std::string(updater.GetSqlStmt()).find("\n\tWHERE \"id\" = ?") != std::string::npos;
        EXPECT_EQ(byKey, !IsPostgres()) << updater.GetSqlStmt();
        EXPECT_EQ(Column("SELECT name FROM upd_items ORDER BY id"), "Ann;Beatrice;Cy;");
        if (withLong) {
            EXPECT_TRUE(Column("SELECT t FROM upd_items WHERE id = 2") == longText + ";");
            // The rowset's long columns still hold their objects.
            EXPECT_EQ(LongValue(updater, 3, true), oneRowRowsets ? longText : "one");
            lengths[2] = SQL_NULL_DATA;
            EXPECT_EQ(updater.UpdateRecord(row, nullptr, 0, lengths), 1) << updater.ErrMsg();
            EXPECT_EQ(Column("SELECT t FROM upd_items ORDER BY id"), "one;NULL;three;");
        }

        EXPECT_EQ(updater.DeleteRecord(row), 1) << updater.ErrMsg() << " / " << updater.GetStmtObject()->ErrMsg();
        EXPECT_EQ(Column("SELECT name FROM upd_items ORDER BY id"), "Ann;Cy;");
        EXPECT_EQ(updater.DeleteRecord(0), 0);
        EXPECT_EQ(updater.lastRC(), ODBC_RC_BAD_PARAMETER);
    }
}

// The positioned statement ("WHERE CURRENT OF" the cursor) is taken only when the driver
// reports SQL_POSITIONED_STATEMENTS, which neither driver does; forced, it must fail soundly:
// the SQLite driver cannot position for it, the PostgreSQL driver's cursors have no name on
// the server. Nothing is changed either way.
class PositionedStatementUpdater : public odbcRECUPDATER {
public:
    using odbcRECUPDATER::odbcRECUPDATER;

protected:
    Way UpdateWay() override { return Way::PositionedStatement; }
    Way DeleteWay() override { return Way::PositionedStatement; }
};

TEST_P(LongDataTest, PositionedStatementsThatTheDriverRefusesChangeNothing) {
    Recreate("pos_items", "id INTEGER PRIMARY KEY, name VARCHAR(20)");
    Exec("INSERT INTO pos_items VALUES (1, 'Ann')");
    Exec("INSERT INTO pos_items VALUES (2, 'Bob')");
    Exec("INSERT INTO pos_items VALUES (3, 'Cy')");
    PositionedStatementUpdater updater(conn, "pos_items", "SELECT id, name FROM pos_items ORDER BY id", nullptr, 0,
                                       nullptr, 1, SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, 3);
    ASSERT_FALSE(updater.ErrorFlag()) << updater.ErrMsg();
    ASSERT_EQ(updater.ExtFetchFirst(), 3u);
    updater.AutoReport(0);
    std::strcpy(static_cast<char*>(updater.ColResultAddr(static_cast<unsigned short>(2), 2)), "Beatrice");
    SQLLEN lengths[2] = {0, 0};
    const long updated = updater.UpdateRecord(2, nullptr, 0, lengths);
    if (IsPostgres()) {
        // Positioned on row 2, the statement is built and refused by the server.
        EXPECT_EQ(updated, 0);
        EXPECT_EQ(updater.lastRC(), -1010);
        EXPECT_EQ(std::string(updater.GetSqlStmt()).rfind("UPDATE \"pos_items\"\n\tSET\t\"id\" = ? ,\n\t\t\"name\" = ? "
                                                          "\n\tWHERE CURRENT OF ",
                                                          0),
                  0u)
            << updater.GetSqlStmt();
        EXPECT_EQ(updater.DeleteRecord(2), 0);
        EXPECT_EQ(updater.lastRC(), -1011);
    } else {
        // A positioning that fails returns the record's code, and nothing is sent.
        EXPECT_EQ(updated, -1012);
        EXPECT_EQ(updater.DeleteRecord(2), 0);
        EXPECT_EQ(updater.lastRC(), -1012);
    }
    EXPECT_EQ(Column("SELECT name FROM pos_items ORDER BY id"), "Ann;Bob;Cy;");
}

TS_ODBC_BACKENDS(LongDataTest);

}  // namespace
}  // namespace tessaro::database::testing
