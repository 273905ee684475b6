// Record inserter and updater on SQLite and PostgreSQL: packed records inserted through one
// prepared INSERT, rows of a fetched rowset updated and deleted by their key.
#include "database/odbc/odbc_record.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "tests/database/odbc_fixture.h"

namespace tessaro::database::testing {
namespace {

struct Person {
    int32_t id;
    char name[31];
};

class RecordTest : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Recreate("rec_staff", "id INTEGER PRIMARY KEY, name VARCHAR(30)");
        Recreate("rec_nokey", "a VARCHAR(10)");
        bindings[0].icol = 1;
        bindings[0].fCType = SQL_C_LONG;
        bindings[0].fSqlType = SQL_INTEGER;
        bindings[0].valueOffset = offsetof(Person, id);
        bindings[0].cbValueMax = 4;
        std::strcpy(bindings[0].szColName, "id");
        bindings[1].icol = 2;
        bindings[1].fCType = SQL_C_CHAR;
        bindings[1].fSqlType = SQL_VARCHAR;
        bindings[1].valueOffset = offsetof(Person, name);
        bindings[1].cbValueMax = sizeof(Person::name);
        std::strcpy(bindings[1].szColName, "NAME");
    }

    // The first column of every row, "NULL" for NULL, each followed by ";".
    std::string Column(const char* sql) {
        odbcCURSOR cur(conn, C(sql), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
        std::string out;
        for (int more = cur.GetFirst(); more; more = cur.GetNext()) {
            const char* text = cur.ColResultAsLPSTR(static_cast<unsigned short>(1));
            out += cur.IsColValueNull(static_cast<unsigned short>(1)) || text == nullptr ? "NULL" : text;
            out += ";";
        }
        return out;
    }

    sCOLBIND bindings[2] = {};
    Person own{};
};

TEST_P(RecordTest, InserterSendsPackedRecordsAsParameters) {
    std::unique_ptr<odbcRECINSERTER> inserter(conn->AllocRecInserter("rec_staff", bindings, 2, &own));
    ASSERT_NE(inserter, nullptr);
    ASSERT_FALSE(inserter->ErrorFlag()) << inserter->ErrMsg();
    EXPECT_STREQ(inserter->GetSqlStmt(), "INSERT INTO \"rec_staff\"\nVALUES\n(\t?,\n\t?\n)\n");

    Person ann{1, "O'Neil \"x\"); --"};
    EXPECT_EQ(inserter->InsertRecord(&ann, sizeof ann, nullptr), 0) << inserter->ErrMsg();
    Person nameless{2, "ignored"};
    SQLLEN lengths[2] = {0, SQL_NULL_DATA};
    EXPECT_EQ(inserter->InsertRecord(&nameless, sizeof nameless, lengths), 0) << inserter->ErrMsg();
    own = Person{3, "own buffer"};
    EXPECT_EQ(inserter->InsertRecord(nullptr, 0, nullptr), 0) << inserter->ErrMsg();
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "O'Neil \"x\"); --;NULL;own buffer;");

    EXPECT_EQ(inserter->RowsetRowRecordSize(), 4 + sizeof(Person::name));
    EXPECT_EQ(inserter->InsertRecord(&ann, inserter->RowsetRowRecordSize() - 1, nullptr), ODBC_RC_BAD_PARAMETER);
    // A second row with the same key fails and says so.
    inserter->AutoReport(0);
    EXPECT_NE(inserter->InsertRecord(&ann, sizeof ann, nullptr), 0);
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "O'Neil \"x\"); --;NULL;own buffer;");
}

TEST_P(RecordTest, RecordNeedsATableName) {
    odbcRECINSERTER inserter(conn, nullptr, bindings, 2, &own);
    EXPECT_TRUE(inserter.ErrorFlag());
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(inserter.ErrMsg())).find("requires table name") !=
                std::string::npos);
    // Without bindings the table's own columns are inserted.
    odbcRECINSERTER all(conn, "rec_staff", nullptr, 0, nullptr);
    ASSERT_FALSE(all.ErrorFlag()) << all.ErrMsg();
    EXPECT_STREQ(all.GetSqlStmt(), "INSERT INTO \"rec_staff\"\nVALUES\n(\t?,\n\t?\n)\n");
}

TEST_P(RecordTest, UpdaterChangesAndDeletesRowsByTheirKey) {
    Exec("INSERT INTO rec_staff VALUES (1, 'Ann')");
    Exec("INSERT INTO rec_staff VALUES (2, 'Bob')");
    Exec("INSERT INTO rec_staff VALUES (3, 'Cy')");
    std::unique_ptr<odbcRECUPDATER> updater(
        conn->AllocRecUpdater("rec_staff", "SELECT id, name FROM rec_staff ORDER BY id", nullptr, 0, nullptr, 1,
                              SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 3));
    ASSERT_NE(updater, nullptr);
    ASSERT_FALSE(updater->ErrorFlag()) << updater->ErrMsg();
    ASSERT_EQ(updater->ExtFetchFirst(), 3u) << updater->ErrMsg();

    char* name = static_cast<char*>(updater->ColResultAddr(static_cast<unsigned short>(2), 2));
    ASSERT_NE(name, nullptr);
    std::strcpy(name, "Beatrice");
    SQLLEN lengths[2] = {0, 0};
    EXPECT_EQ(updater->UpdateRecord(2, nullptr, 0, lengths), 1) << updater->ErrMsg();
    EXPECT_TRUE(std::string(updater->GetSqlStmt()).find("\n\tWHERE \"id\" = ?") != std::string::npos)
        << updater->GetSqlStmt();
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "Ann;Beatrice;Cy;");

    EXPECT_EQ(updater->DeleteRecord(3), 1) << updater->ErrMsg();
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "Ann;Beatrice;");
    EXPECT_EQ(updater->DeleteRecord(0), 0);
    EXPECT_EQ(updater->lastRC(), ODBC_RC_BAD_PARAMETER);
    EXPECT_EQ(updater->DeleteRecord(4), 0);
    EXPECT_EQ(updater->UpdateRecord(1, &own, static_cast<unsigned int>(updater->RowsetRowRecordSize() - 1), nullptr),
              0);
    EXPECT_EQ(updater->lastRC(), ODBC_RC_BAD_PARAMETER);
    // Without a record the row is checked all the same: row 0 or one past the rowset would
    // read and write outside the rowset's buffers.
    for (unsigned short row : {0, 4}) {
        EXPECT_EQ(updater->UpdateRecord(row, nullptr, 0, lengths), 0) << row;
        EXPECT_EQ(updater->lastRC(), ODBC_RC_BAD_PARAMETER) << row;
    }
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "Ann;Beatrice;");
}

TEST_P(RecordTest, UpdaterWithoutRecordOrLengthsWritesTheRowAsItStands) {
    Exec("INSERT INTO rec_staff VALUES (1, 'Ann')");
    Exec("INSERT INTO rec_staff VALUES (2, 'Bobby')");
    Exec("INSERT INTO rec_staff VALUES (3, NULL)");
    const char* select = "SELECT id, name FROM rec_staff ORDER BY id";
    std::unique_ptr<odbcRECUPDATER> updater(conn->AllocRecUpdater("rec_staff", select, nullptr, 0, nullptr, 1,
                                                                   SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 3));
    ASSERT_NE(updater, nullptr);
    ASSERT_FALSE(updater->ErrorFlag()) << updater->ErrMsg();
    // The query is the statement text until a change is made.
    EXPECT_STREQ(updater->GetSqlStmt(), select);
    ASSERT_EQ(updater->ExtFetchFirst(), 3u) << updater->ErrMsg();

    // A value longer than the one fetched is written whole, a shorter one without the rest.
    std::strcpy(static_cast<char*>(updater->ColResultAddr(static_cast<unsigned short>(2), 2)), "Beatrice");
    EXPECT_EQ(updater->UpdateRecord(2, nullptr, 0, nullptr), 1) << updater->ErrMsg();
    std::strcpy(static_cast<char*>(updater->ColResultAddr(static_cast<unsigned short>(2), 1)), "Al");
    EXPECT_EQ(updater->UpdateRecord(1, nullptr, 0, nullptr), 1) << updater->ErrMsg();
    // A NULL nobody touched stays NULL.
    EXPECT_EQ(updater->UpdateRecord(3, nullptr, 0, nullptr), 1) << updater->ErrMsg();
    EXPECT_EQ(Column("SELECT name FROM rec_staff ORDER BY id"), "Al;Beatrice;NULL;");
}

TEST_P(RecordTest, UpdaterRefusesRowsWithoutAKeyAndQueriesThatSelectNothing) {
    Exec("INSERT INTO rec_nokey VALUES ('x')");
    Exec("INSERT INTO rec_nokey VALUES ('y')");
    odbcRECUPDATER updater(conn, "rec_nokey", "SELECT a FROM rec_nokey ORDER BY a", nullptr, 0, nullptr, 1,
                           SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 2);
    ASSERT_FALSE(updater.ErrorFlag()) << updater.ErrMsg();
    ASSERT_EQ(updater.ExtFetchFirst(), 2u);
    updater.AutoReport(0);
    SQLLEN lengths[1] = {0};
    std::strcpy(static_cast<char*>(updater.ColResultAddr(static_cast<unsigned short>(1), 1)), "z");
    EXPECT_EQ(updater.UpdateRecord(1, nullptr, 0, lengths), 0);
    EXPECT_EQ(updater.lastRC(), -1024);
    EXPECT_EQ(updater.DeleteRecord(1), 0);
    EXPECT_EQ(Column("SELECT a FROM rec_nokey ORDER BY a"), "x;y;");

    odbcRECUPDATER notSelect(conn, "rec_nokey", "UPDATE rec_nokey SET a = a", nullptr, 0, nullptr, 1,
                             SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 2);
    EXPECT_TRUE(notSelect.ErrorFlag());
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(notSelect.ErrMsg())).find("was not a SELECT statement") !=
                std::string::npos);
}

TS_ODBC_BACKENDS(RecordTest);

}  // namespace
}  // namespace tessaro::database::testing
