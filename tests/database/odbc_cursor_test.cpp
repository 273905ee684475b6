#include "database/odbc/odbc_blob.h"
#include "tests/database/odbc_fixture.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace tessaro::database::testing {
namespace {

class OdbcCursor : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Recreate("people",
                 "id INTEGER PRIMARY KEY, name VARCHAR(10), note VARCHAR(10000), "
                 "score FLOAT, body TEXT");
        Exec("INSERT INTO people VALUES (1, 'ann', 'n1', 1.5, 'b1')");
        Exec("INSERT INTO people VALUES (2, NULL, NULL, NULL, NULL)");
        Exec("INSERT INTO people VALUES (3, 'cy', '', 3.5, '')");
        Exec("INSERT INTO people VALUES (4, 'dee', 'n4', 4.5, 'b4')");
        Exec("INSERT INTO people VALUES (5, 'eve', 'n5', 5.5, 'b5')");
    }

    odbcCURSOR* Open(const char* sql, int execute = 1) {
        cursor_.reset(new odbcCURSOR(conn, C(sql), 0, execute, 1, nullptr, 0, nullptr, nullptr, 0, nullptr));
        return cursor_.get();
    }

    std::string LongText(odbcCURSOR* cur, unsigned short col, unsigned short row = 0) {
        odbcBLOB* blob = row ? cur->ColResultAsBLOB(col, row) : cur->ColResultAsBLOB(col);
        if (!blob) return "<no blob>";
        if (blob->IsNull()) return "<null>";
        char* text = blob->GetLPSTRFromBlob(0);
        return text ? text : "";
    }

    // SQLite integers are bound 64 bits wide, the server's 32.
    size_t IntWidth() const { return IsPostgres() ? 4 : 8; }
    long ReadInt(const unsigned char* p) const {
        if (IntWidth() == 4) {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
        int64_t v;
        std::memcpy(&v, p, 8);
        return static_cast<long>(v);
    }
    void WriteInt(unsigned char* p, long value) const {
        if (IntWidth() == 4) {
            int32_t v = static_cast<int32_t>(value);
            std::memcpy(p, &v, 4);
        } else {
            int64_t v = value;
            std::memcpy(p, &v, 8);
        }
    }

    std::unique_ptr<odbcCURSOR> cursor_;
};

TEST_P(OdbcCursor, AutoBindWidthsFollowTheDescribedTypes) {
    odbcCURSOR* cur = Open("SELECT id, name, note, score, body FROM people ORDER BY id");
    ASSERT_FALSE(cur->ErrorFlag()) << cur->ErrMsg();
    sCOLBIND* name = cur->ColResultInfo("name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->cbValueMax, 11);
    EXPECT_EQ(name->fCType, SQL_C_CHAR);
    EXPECT_EQ(cur->ColResultInfo(1)->fCType, IsPostgres() ? SQL_C_LONG : SQL_C_SBIGINT);
    EXPECT_EQ(cur->ColResultInfo(4)->fCType, SQL_C_DOUBLE);
    // Text wider than the bind cap is read whole as long data.
    EXPECT_EQ(cur->ColResultInfo(3)->fSqlType, SQL_LONGVARCHAR);
    EXPECT_EQ(cur->ColResultInfo(5)->fSqlType, SQL_LONGVARCHAR);
    EXPECT_GE(cur->StructSize(), cur->RowsetRowRecordSize());
    EXPECT_EQ(cur->RowsetRowRecordSize(), IntWidth() + 11 + 8 + 8 + 8u);
}

TEST_P(OdbcCursor, NoExtraByteBindsTheExactWidth) {
    odbcCURSOR* cur = Open("SELECT name FROM people", 0);
    cur->SetNoExtraByteOnStrings(1);
    ASSERT_EQ(cur->ExecDirect("SELECT name FROM people"), SQL_SUCCESS);
    ASSERT_NE(cur->ColResultInfo(1), nullptr);
    EXPECT_EQ(cur->ColResultInfo(1)->cbValueMax, 10);
    EXPECT_EQ(cur->GetNoExtraByteOnStrings(), 1);
}

TEST_P(OdbcCursor, WalksRowsWithGetFirstAndGetNext) {
    odbcCURSOR* cur = Open("SELECT id, name, note, score, body FROM people ORDER BY id");
    EXPECT_EQ(cur->GetNext(), 0);  // the first row is taken with GetFirst
    ASSERT_EQ(cur->GetFirst(), 1);
    EXPECT_EQ(cur->ColResultAsLong("ID"), 1);
    EXPECT_STREQ(cur->ColResultAsLPSTR("Name"), "ann");
    EXPECT_EQ(LongText(cur, 3), "n1");
    EXPECT_EQ(LongText(cur, 5), "b1");
    EXPECT_DOUBLE_EQ(cur->ColResultAsDouble(4), 1.5);
    EXPECT_EQ(cur->GetFirst(), 0);  // no fresh result any more
    ASSERT_EQ(cur->GetNext(), 1);
    // NULLs: zero bytes for bound columns, NULL long values, and the fetch still succeeds.
    EXPECT_EQ(cur->lastRC(), SQL_SUCCESS);
    EXPECT_TRUE(cur->IsColValueNull(2));
    EXPECT_STREQ(cur->ColResultAsLPSTR(2), "");
    EXPECT_EQ(std::string(cur->ColResultAsLPSTR(2), 11), std::string(11, '\0'));
    EXPECT_EQ(cur->ColResultAsDouble(4), 0.0);
    EXPECT_EQ(LongText(cur, 3), "<null>");
    EXPECT_EQ(LongText(cur, 5), "<null>");
    ASSERT_EQ(cur->GetNext(), 1);
    EXPECT_EQ(cur->lastRC(), SQL_SUCCESS);
    EXPECT_TRUE(cur->ColResultAsBLOB(3)->IsEmpty());
    EXPECT_TRUE(cur->ColResultAsBLOB(5)->IsEmpty());
    EXPECT_EQ(cur->GetNext(), 1);
    EXPECT_EQ(cur->GetNext(), 1);
    EXPECT_EQ(cur->GetNext(), 0);
    EXPECT_EQ(cur->lastRC(), SQL_NO_DATA_FOUND);
}

TEST_P(OdbcCursor, LongVarcharValueIsNotCut) {
    std::string value(6000, 'x');
    value[5999] = 'E';
    Exec("UPDATE people SET note = '" + value + "' WHERE id = 4");
    odbcCURSOR* cur = Open("SELECT note FROM people WHERE id = 4");
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_EQ(LongText(cur, 1), value);
    EXPECT_EQ(cur->ColResultAsBLOB(1)->GetcbValue(), 6001);  // the length counts the terminator
}

TEST_P(OdbcCursor, CallerBindingsIntoARecord) {
    struct Person {
        int32_t id;
        char name[11];
        double score;
    } rec{};
    sCOLBIND cols[3] = {};
    cols[0].icol = 1;
    cols[0].fCType = SQL_C_LONG;
    cols[0].valueOffset = offsetof(Person, id);
    cols[0].cbValueMax = 4;
    cols[1].icol = 2;
    cols[1].fCType = SQL_C_CHAR;
    cols[1].valueOffset = offsetof(Person, name);
    cols[1].cbValueMax = sizeof rec.name;
    std::strcpy(cols[1].szColName, "NAME");
    cols[2].icol = 3;
    cols[2].fCType = SQL_C_DOUBLE;
    cols[2].valueOffset = offsetof(Person, score);
    cols[2].cbValueMax = 8;
    odbcCURSOR cur(conn, C("SELECT id, name, score FROM people WHERE id >= 4 ORDER BY id"), 1, 1, 0, nullptr, 0,
                   nullptr, cols, 3, &rec);
    ASSERT_FALSE(cur.ErrorFlag()) << cur.ErrMsg();
    EXPECT_EQ(cur.pResultSet(), &rec);
    ASSERT_TRUE(cur.GetFirst());
    EXPECT_EQ(rec.id, 4);
    EXPECT_STREQ(rec.name, "dee");
    EXPECT_EQ(cols[1].cbValue, 3);
    EXPECT_STREQ(cur.ColResultAsLPSTR("name"), "dee");
    ASSERT_TRUE(cur.GetNext());
    EXPECT_EQ(rec.id, 5);
    EXPECT_DOUBLE_EQ(rec.score, 5.5);
}

TEST_P(OdbcCursor, BindingStopsAtTheFirstFailingColumn) {
    struct {
        int32_t a;
        int32_t b;
        int32_t c;
    } rec{};
    sCOLBIND cols[3] = {};
    for (unsigned short i = 0; i < 3; ++i) {
        cols[i].icol = i + 1;
        cols[i].fCType = SQL_C_LONG;
        cols[i].valueOffset = 4 * i;
        cols[i].cbValueMax = 4;
    }
    cols[1].fCType = 999;  // not a C type
    odbcCURSOR* cur = Open("SELECT id, id, id FROM people", 1);
    cur->FreeColBindings();
    EXPECT_EQ(cur->BindCol(cols, 3, &rec), SQL_ERROR);
    EXPECT_EQ(cur->LastColProcessed(), 1);
}

TEST_P(OdbcCursor, NameLookupIgnoresCaseAndTakesTheFirstMatch) {
    odbcCURSOR* cur = Open("SELECT 1 AS dup, 2 AS DUP, name FROM people WHERE id = 1");
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_EQ(cur->ColResultInfo("Dup")->icol, 1);
    EXPECT_EQ(cur->ColResultInfo("NAME")->icol, 3);
    EXPECT_EQ(cur->ColResultInfo("missing"), nullptr);
    EXPECT_EQ(cur->ColResultAddr("missing"), nullptr);
    EXPECT_EQ(cur->ColResultAsLong("missing"), 0);
    EXPECT_EQ(cur->ColResultAddr(9), nullptr);
    // Rows exist only in rowset mode.
    EXPECT_EQ(cur->ColResultAddr(3, 1), nullptr);
    EXPECT_NE(cur->ColResultAddr(3), nullptr);
    EXPECT_FALSE(cur->IsColValueNull(3, 1));
    EXPECT_EQ(cur->SetColValueNull(3, 1), 0);
    EXPECT_EQ(cur->SetColValueNull(3), 1);
    EXPECT_TRUE(cur->IsColValueNull("name"));
}

TEST_P(OdbcCursor, EnumResultsStopsWhereTheCallbackSays) {
    odbcCURSOR* cur = Open("SELECT id FROM people ORDER BY id");
    std::vector<long> seen;
    auto collect = [](odbcCURSOR* c, void* ctx) -> short {
        auto* out = static_cast<std::vector<long>*>(ctx);
        out->push_back(c->ColResultAsLong(1));
        return out->size() == 3 ? 42 : 0;
    };
    EXPECT_EQ(cur->EnumResults(collect, &seen), 42);
    EXPECT_EQ(seen, (std::vector<long>{1, 2, 3}));
    EXPECT_EQ(cur->EnumResults([](odbcCURSOR*, void*) -> short { return 0; }, nullptr), SQL_NO_DATA_FOUND);
}

TEST_P(OdbcCursor, RowsetFetchWithRowAccessors) {
    odbcCURSOR* cur = Open("SELECT id, name FROM people ORDER BY id", 0);
    ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 2))) << cur->ErrMsg();
    EXPECT_EQ(cur->GetExtFetchRowCount(), 2);
    ASSERT_TRUE(odbcSucceeded(cur->ExecDirect("SELECT id, name FROM people ORDER BY id"))) << cur->ErrMsg();
    EXPECT_EQ(cur->ExtFetchFirst(), 2u);
    ASSERT_TRUE(cur->sqlsuccess()) << cur->ErrMsg();
    EXPECT_EQ(cur->ColResultAsLong(1, 1), 1);
    EXPECT_EQ(cur->ColResultAsLong(1, 2), 2);
    EXPECT_STREQ(cur->ColResultAsLPSTR("name", 1), "ann");
    EXPECT_TRUE(cur->IsColValueNull("name", 2));
    EXPECT_FALSE(cur->IsColValueNull("name", 1));
    EXPECT_EQ(std::string(cur->ColResultAsLPSTR(2, 2), 11), std::string(11, '\0'));
    EXPECT_EQ(cur->GetExtFetchStatus(1), SQL_ROW_SUCCESS);
    EXPECT_EQ(cur->GetExtFetchStatus(3), 0);
    EXPECT_EQ(cur->ColResultAddr(1, 3), nullptr);
    SQLLEN* lengths = cur->ColResultSizeArray("name");
    ASSERT_NE(lengths, nullptr);
    EXPECT_EQ(lengths[0], 3);
    EXPECT_EQ(lengths[1], SQL_NULL_DATA);

    EXPECT_EQ(cur->ExtFetchNext(), 2u);
    EXPECT_EQ(cur->ColResultAsLong(1, 1), 3);
    EXPECT_EQ(cur->GetLast(), 1);
    EXPECT_EQ(cur->GetExtFetchType(), SQL_FETCH_LAST);
    EXPECT_EQ(cur->ColResultAsLong(1, static_cast<unsigned short>(cur->GetExtFetchRow())), 5);
    EXPECT_EQ(cur->ExtFetchAbsolute(2), 2u);
    EXPECT_EQ(cur->GetExtFetchRelAbsRow(), 2);
    EXPECT_EQ(cur->ColResultAsLong(1, 1), 2);
}

TEST_P(OdbcCursor, FailedLongColumnReadFailsTheFetch) {
    // The first long column cannot be read; the second can. The fetch must not succeed.
    sCOLBIND cols[2] = {};
    cols[0].icol = 9;
    cols[1].icol = 2;
    for (unsigned short i = 0; i < 2; ++i) {
        cols[i].fCType = SQL_C_CHAR;
        cols[i].fSqlType = SQL_LONGVARCHAR;
        cols[i].valueOffset = static_cast<uint32_t>(i * sizeof(odbcBLOB*));
    }
    odbcBLOB* record[2] = {};
    odbcCURSOR cur(conn, C("SELECT id, body FROM people WHERE id = 1"), 0, 1, 0, nullptr, 0, nullptr, cols, 2, record);
    ASSERT_FALSE(cur.ErrorFlag()) << cur.ErrMsg();
    cur.AutoRetrieve(1);
    EXPECT_FALSE(odbcSucceeded(cur.Fetch()));
    EXPECT_NE(cur.SqlState()[0], 0);
}

TEST_P(OdbcCursor, RowsetSetUpAfterBindingRebindsTheColumns) {
    // Bound for single rows first: a rowset must never be fetched into those buffers.
    odbcCURSOR* cur = Open("SELECT id, name FROM people ORDER BY id");
    ASSERT_FALSE(cur->ErrorFlag()) << cur->ErrMsg();
    for (unsigned short rows : {3, 5}) {
        ASSERT_TRUE(odbcSucceeded(cur->Close())) << cur->ErrMsg();
        ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, rows))) << cur->ErrMsg();
        ASSERT_TRUE(odbcSucceeded(cur->ExecDirect("SELECT id, name FROM people ORDER BY id"))) << cur->ErrMsg();
        ASSERT_EQ(cur->ExtFetchFirst(), rows) << cur->ErrMsg();
        EXPECT_EQ(cur->ColResultAsLong(1, rows), rows);
        EXPECT_TRUE(cur->IsColValueNull("name", 2));
        EXPECT_STREQ(cur->ColResultAsLPSTR("name", 3), "cy");
    }
}

TEST_P(OdbcCursor, LongColumnsInARowsetAreReadPerRow) {
    odbcCURSOR* cur = Open("SELECT id, body FROM people ORDER BY id", 0);
    cur->AutoRetrieve(1);
    ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 2)));
    short rc = cur->ExecDirect("SELECT id, body FROM people ORDER BY id");
    if (!IsPostgres()) {
        // The SQLite driver cannot position within a rowset: refused, never misread.
        EXPECT_EQ(rc, SQL_ERROR);
        EXPECT_STREQ(reinterpret_cast<const char*>(cur->ErrMsg()),
                     "[Quorvex][VRM]Not set up for extended fetch operations.");
        return;
    }
    ASSERT_TRUE(odbcSucceeded(rc)) << cur->ErrMsg();
    EXPECT_EQ(cur->ExtFetchFirst(), 2u);
    EXPECT_EQ(LongText(cur, 2, 1), "b1");
    EXPECT_EQ(LongText(cur, 2, 2), "<null>");
    EXPECT_EQ(cur->ExtFetchNext(), 2u);
    EXPECT_EQ(LongText(cur, 2, 1), "");
    EXPECT_EQ(LongText(cur, 2, 2), "b4");
}

TEST_P(OdbcCursor, RowCopiesToAndFromAPackedRecord) {
    odbcCURSOR* cur = Open("SELECT id, name FROM people ORDER BY id", 0);
    cur->AutoRetrieve(1);
    ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 3)));
    ASSERT_TRUE(odbcSucceeded(cur->ExecDirect("SELECT id, name FROM people ORDER BY id")));
    ASSERT_EQ(cur->ExtFetchFirst(), 3u);
    size_t size = cur->RowsetRowRecordSize();
    ASSERT_EQ(size, IntWidth() + 11u);
    std::vector<unsigned char> packed(size);
    size_t used = 99;
    EXPECT_EQ(cur->MoveRowsetRowToRecord(3, packed.data(), size, &used), SQL_SUCCESS);
    EXPECT_EQ(used, size);
    EXPECT_EQ(ReadInt(packed.data()), 3);
    EXPECT_STREQ(reinterpret_cast<char*>(packed.data() + IntWidth()), "cy");

    // One byte short: everything but the last column, and "buffer too small".
    std::vector<unsigned char> small(size - 1, 0xEE);
    EXPECT_EQ(cur->MoveRowsetRowToRecord(1, small.data(), small.size(), &used), 1);
    EXPECT_EQ(used, IntWidth());
    EXPECT_EQ(ReadInt(small.data()), 1);
    EXPECT_EQ(small[IntWidth()], 0xEE);

    EXPECT_EQ(cur->MoveRowsetRowToRecord(0, packed.data(), size, &used), SQL_ERROR);
    EXPECT_STREQ(reinterpret_cast<const char*>(cur->ErrMsg()), "[Quorvex][VRM]Bad parameter.");

    // Into the rowset buffer, then cleared.
    WriteInt(packed.data(), 77);
    EXPECT_EQ(cur->MoveRecordToRowsetRow(2, packed.data(), size, &used), SQL_SUCCESS);
    EXPECT_EQ(cur->ColResultAsLong(1, 2), 77);
    EXPECT_EQ(cur->ClearRowsetBuffer(), SQL_SUCCESS);
    EXPECT_EQ(cur->ColResultAsLong(1, 2), 0);
    EXPECT_STREQ(cur->ColResultAsLPSTR(2, 1), "");
}

TEST_P(OdbcCursor, RowCopyRefusesRowsItDoesNotHave) {
    odbcCURSOR* cur = Open("SELECT id, name FROM people WHERE id = 1", 0);
    cur->AutoRetrieve(1);
    ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_READ_ONLY, SQL_CURSOR_STATIC, 2)));
    ASSERT_TRUE(odbcSucceeded(cur->ExecDirect("SELECT id, name FROM people WHERE id = 1")));
    ASSERT_EQ(cur->ExtFetchFirst(), 1u);
    unsigned char packed[64];
    size_t used = 0;
    EXPECT_EQ(cur->MoveRowsetRowToRecord(2, packed, sizeof packed, &used), SQL_ERROR);
    EXPECT_EQ(cur->NativeError(), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(cur->ErrMsg()), "[Quorvex][VRM]Bad parameter.");

    odbcCURSOR* single = Open("SELECT id FROM people WHERE id = 1");
    single->AutoRetrieve(1);
    ASSERT_TRUE(single->GetFirst());
    EXPECT_EQ(single->MoveRowsetRowToRecord(2, packed, sizeof packed, &used), SQL_ERROR);
    EXPECT_STREQ(reinterpret_cast<const char*>(single->ErrMsg()),
                 "[Quorvex][VRM]Not set up for extended fetch operations.");
    EXPECT_EQ(single->MoveRowsetRowToRecord(1, packed, sizeof packed, &used), SQL_SUCCESS);
    EXPECT_EQ(used, IntWidth());
}

TEST_P(OdbcCursor, CursorNameRoundTrips) {
    odbcCURSOR* cur = Open("SELECT id FROM people", 0);
    char name[64] = {};
    EXPECT_EQ(cur->GetCursorName(name, sizeof name, nullptr), SQL_SUCCESS);
    if (!IsPostgres()) {
        EXPECT_NE(name[0], 0);  // the SQLite driver keeps names of its own
        return;
    }
    EXPECT_EQ(cur->SetCursorName(C("people_cursor")), SQL_SUCCESS);
    EXPECT_EQ(cur->GetCursorName(name, sizeof name, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(name, "people_cursor");
}

TEST_P(OdbcCursor, PositionedUpdateThroughTheRowset) {
    odbcCURSOR* cur = Open("SELECT id, name FROM people WHERE id = 3", 0);
    ASSERT_TRUE(odbcSucceeded(cur->ExtFetchSetup(SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, 1)));
    ASSERT_TRUE(odbcSucceeded(cur->ExecDirect("SELECT id, name FROM people WHERE id = 3")));
    ASSERT_EQ(cur->ExtFetchFirst(), 1u);
    EXPECT_EQ(cur->PositionToRow(1), SQL_SUCCESS) << cur->ErrMsg();
    std::strcpy(cur->ColResultAsLPSTR(2, 1), "zed");
    cur->ColResultSizeArray(2)[0] = SQL_NTS;
    EXPECT_TRUE(odbcSucceeded(cur->UpdateRow(1))) << cur->ErrMsg();
    cursor_.reset();
    odbcCURSOR* check = Open("SELECT name FROM people WHERE id = 3");
    ASSERT_TRUE(check->GetFirst());
    EXPECT_STREQ(check->ColResultAsLPSTR(1), "zed");
}

TS_ODBC_BACKENDS(OdbcCursor);

}  // namespace
}  // namespace tessaro::database::testing
