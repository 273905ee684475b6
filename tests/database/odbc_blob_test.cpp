#include "database/odbc/odbc_blob.h"
#include "tests/database/odbc_fixture.h"

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tessaro::database::testing {
namespace {

class OdbcLongData : public OdbcFixture {
protected:
    void SetUp() override {
        OdbcFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Recreate("docs", std::string("id INTEGER, body TEXT, data ") + (IsPostgres() ? "BYTEA" : "BLOB"));
    }

    // Inserts one row whose long values are sent as data at execution.
    void Insert(int id, odbcBLOB* text, odbcBLOB* data) {
        struct Params {
            int32_t id;
            odbcBLOB* text;
            odbcBLOB* data;
        } rec{id, text, data};
        sPARMBIND parms[3] = {};
        parms[0] = {1, SQL_C_LONG, SQL_INTEGER, 0, 0, offsetof(Params, id), nullptr, 0, 0};
        parms[1] = {2, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, offsetof(Params, text), nullptr, 0, 0};
        parms[2] = {3, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, offsetof(Params, data), nullptr, 0, 0};
        odbcCURSOR cur(conn, C("INSERT INTO docs VALUES (?, ?, ?)"), 1, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr);
        cur.AutoRetrieve(1);
        ASSERT_FALSE(cur.ErrorFlag()) << cur.ErrMsg();
        text->SetPutCursor(&cur);
        data->SetPutCursor(&cur);
        ASSERT_TRUE(odbcSucceeded(cur.SetParam(parms, 3, &rec))) << cur.ErrMsg();
        // Set for NULL values too: only an execution that asks for data sends any.
        EXPECT_EQ(cur.DataAtExecFlag(), 1);
        EXPECT_TRUE(odbcSucceeded(cur.Execute())) << cur.ErrMsg();
        text->SetPutCursor(nullptr);
        data->SetPutCursor(nullptr);
    }

    std::unique_ptr<odbcCURSOR> Select(int id) {
        std::string sql = "SELECT body, data FROM docs WHERE id = " + std::to_string(id);
        auto cur =
            std::make_unique<odbcCURSOR>(conn, C(sql.c_str()), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
        EXPECT_FALSE(cur->ErrorFlag()) << cur->ErrMsg();
        return cur;
    }
};

TEST_P(OdbcLongData, OneMegabyteTextAndBinaryRoundTrip) {
    std::string text(1 << 20, ' ');
    std::mt19937 random(12);
    for (char& c : text) c = static_cast<char>('!' + random() % 90);
    std::vector<unsigned char> bytes(100000);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    bytes[10] = 0;  // binary values may hold zero bytes

    odbcBLOB textIn(nullptr, 2, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    ASSERT_EQ(textIn.SetLPSTRInBlob(text.c_str()), 0);
    odbcBLOB dataIn(nullptr, 3, 0, SQL_LONGVARBINARY, 0, 65536, 32768);
    ASSERT_EQ(dataIn.SetData(bytes.data(), bytes.size()), 0);
    Insert(1, &textIn, &dataIn);

    auto cur = Select(1);
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_EQ(cur->lastRC(), SQL_SUCCESS);
    odbcBLOB* textOut = cur->ColResultAsBLOB(1);
    ASSERT_NE(textOut, nullptr);
    EXPECT_EQ(textOut->GetcbValue(), static_cast<SQLLEN>(text.size() + 1));
    ASSERT_NE(textOut->GetLPSTRFromBlob(0), nullptr);
    EXPECT_TRUE(std::string(textOut->GetLPSTRFromBlob(0)) == text);
    odbcBLOB* dataOut = cur->ColResultAsBLOB(2);
    ASSERT_NE(dataOut, nullptr) << "type " << cur->ColResultInfo(2)->fSqlType << " width "
                                << cur->ColResultInfo(2)->cbValueMax;
    ASSERT_EQ(dataOut->GetcbValue(), static_cast<SQLLEN>(bytes.size()));
    EXPECT_EQ(std::memcmp(dataOut->GetMem(0), bytes.data(), bytes.size()), 0);
}

TEST_P(OdbcLongData, LongParametersSentByTheConstructor) {
    std::string text(70000, 'q');  // more than one piece
    odbcBLOB body(nullptr, 0, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    body.SetLPSTRInBlob(text.c_str());
    struct Params {
        int32_t id;
        odbcBLOB* body;
    } rec{7, &body};
    sPARMBIND parms[2] = {};
    parms[0] = {1, SQL_C_LONG, SQL_INTEGER, 0, 0, offsetof(Params, id), nullptr, 0, 0};
    parms[1] = {2, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, offsetof(Params, body), nullptr, 0, 0};
    body.SetParamNumber(2);
    {
        odbcCURSOR insert(conn, C("INSERT INTO docs (id, body) VALUES (?, ?)"), 1, 1, 0, parms, 2, &rec, nullptr, 0,
                          nullptr);
        EXPECT_FALSE(insert.ErrorFlag()) << insert.ErrMsg();
        EXPECT_EQ(body.PutCursor(), &insert);
    }
    auto cur = Select(7);
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    ASSERT_NE(cur->ColResultAsBLOB(1), nullptr);
    EXPECT_TRUE(std::string(cur->ColResultAsBLOB(1)->GetLPSTRFromBlob(0)) == text);
}

TEST_P(OdbcLongData, NullAndEmptyValues) {
    odbcBLOB nullText(nullptr, 2, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    odbcBLOB emptyData(nullptr, 3, 0, SQL_LONGVARBINARY, 0, 65536, 32768);
    emptyData.SetData(nullptr, 0);
    EXPECT_TRUE(emptyData.IsEmpty());
    Insert(2, &nullText, &emptyData);
    odbcBLOB emptyText(nullptr, 2, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    emptyText.SetLPSTRInBlob("");
    odbcBLOB nullData(nullptr, 3, 0, SQL_LONGVARBINARY, 0, 65536, 32768);
    Insert(3, &emptyText, &nullData);

    auto cur = Select(2);
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_TRUE(cur->ColResultAsBLOB(1)->IsNull());
    EXPECT_EQ(cur->ColResultAsBLOB(1)->GetLPSTRFromBlob(0), nullptr);
    EXPECT_TRUE(cur->ColResultAsBLOB(2)->IsEmpty());
    cur = Select(3);
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_TRUE(cur->ColResultAsBLOB(1)->IsEmpty());
    EXPECT_TRUE(cur->ColResultAsBLOB(2)->IsNull());

    // Only NULL values: the execution asks for no data, and the row holds the NULLs.
    odbcBLOB onlyNullText(nullptr, 2, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    odbcBLOB onlyNullData(nullptr, 3, 0, SQL_LONGVARBINARY, 0, 65536, 32768);
    Insert(4, &onlyNullText, &onlyNullData);
    cur = Select(4);
    ASSERT_TRUE(cur->GetFirst()) << cur->ErrMsg();
    EXPECT_TRUE(cur->ColResultAsBLOB(1)->IsNull());
    EXPECT_TRUE(cur->ColResultAsBLOB(2)->IsNull());
}

TEST_P(OdbcLongData, GetDataAnswersCodesForNullAndEmpty) {
    odbcCURSOR cur(conn, C("SELECT NULL, '', 'abc'"), 0, 1, 0, nullptr, 0, nullptr, nullptr, 0, nullptr);
    ASSERT_EQ(cur.Fetch(), SQL_SUCCESS) << cur.ErrMsg();
    odbcBLOB a(&cur, 1, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    EXPECT_EQ(a.GetData(), ODBC_BLOB_NULL);
    EXPECT_EQ(cur.lastRC(), SQL_SUCCESS);
    EXPECT_TRUE(a.IsNull());
    odbcBLOB b(&cur, 2, 0, SQL_LONGVARCHAR, 0, 65536, 32768);
    EXPECT_EQ(b.GetData(), ODBC_BLOB_EMPTY);
    EXPECT_EQ(b.GetcbValue(), 0);
    odbcBLOB c(&cur, 3, 0, SQL_LONGVARCHAR, 0, 65536, 2);  // tiny pieces
    EXPECT_EQ(c.GetData(), SQL_SUCCESS);
    EXPECT_STREQ(c.GetLPSTRFromBlob(0), "abc");
    EXPECT_EQ(c.GetcbValue(), 4);
}

TEST_P(OdbcLongData, PicturesAndBlocksKeepTheStoredFormat) {
    odbcCURSOR cur(conn, C("SELECT 1"), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr);
    odbcBLOB blob(&cur, 1, 0, SQL_LONGVARBINARY, 0, 65536, 32768);
    odbcBitmapInfo bitmap;
    bitmap.width = 3;
    bitmap.height = 2;
    bitmap.widthBytes = 4;
    bitmap.planes = 1;
    bitmap.bitsPixel = 8;
    bitmap.bits = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(blob.SetBitmapInBlob(&bitmap), 0);
    EXPECT_EQ(blob.Size(), 29u + 8u);
    EXPECT_TRUE(blob.HasFormat(ODBC_BLOB_BITMAP_MARK));
    EXPECT_FALSE(blob.HasFormat(ODBC_BLOB_METAFILE_MARK));
    odbcBitmapInfo back;
    ASSERT_EQ(blob.GetBitmapFromBlob(&back), 0);
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.bits, bitmap.bits);

    // A metafile is not a bitmap: refused without a message, the output untouched.
    odbcMetaFilePict picture;
    picture.mappingMode = 8;
    picture.xExt = 100;
    picture.yExt = 50;
    picture.bits = {9, 9, 9};
    ASSERT_EQ(blob.SetMetaFilePictInBlob(&picture), 0);
    EXPECT_TRUE(blob.HasFormat(ODBC_BLOB_METAFILE_MARK));
    odbcBitmapInfo untouched;
    untouched.width = 77;
    EXPECT_EQ(blob.GetBitmapFromBlob(&untouched), ODBC_RC_BLOB_SIGNATURE);
    EXPECT_EQ(cur.lastRC(), ODBC_RC_BLOB_SIGNATURE);
    EXPECT_STREQ(reinterpret_cast<const char*>(cur.ErrMsg()), "");
    EXPECT_EQ(untouched.width, 77);
    odbcMetaFilePict pictureBack;
    ASSERT_EQ(blob.GetMetaFilePictFromBlob(&pictureBack), 0);
    EXPECT_EQ(pictureBack.xExt, 100);
    EXPECT_EQ(pictureBack.bits, picture.bits);

    // A bitmap record that claims more bits than stored is corrupt.
    std::vector<unsigned char> bad(29, 0);
    std::memset(bad.data(), ODBC_BLOB_BITMAP_MARK, 5);
    bad[5 + 8] = 100;   // height
    bad[5 + 12] = 100;  // width in bytes
    bad[5 + 16] = 1;    // planes
    blob.SetData(bad.data(), bad.size());
    cur.AutoRetrieve(1);
    EXPECT_EQ(blob.GetBitmapFromBlob(&back), SQL_ERROR);
    EXPECT_STREQ(reinterpret_cast<const char*>(cur.ErrMsg()), "[Quorvex][VRM]BLOB contains corrupt data.");

    odbcMemBlock block;
    block.bytes = {4, 5, 6};
    EXPECT_EQ(blob.SetHGlobalInBlob(&block), 0);
    std::unique_ptr<odbcMemBlock> copy(blob.GetHGlobalFromBlob(0));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->bytes, block.bytes);
    odbcMemBlock empty;
    EXPECT_EQ(blob.SetHGlobalInBlob(&empty), 0);
    EXPECT_TRUE(blob.IsNull());
    EXPECT_EQ(blob.GetHGlobalFromBlob(0), nullptr);
}

TEST(OdbcBlob, TextHelpersAndParameterNumbers) {
    odbcBLOB blob(nullptr, 4, 100, SQL_LONGVARCHAR, 0, 0, 0);
    EXPECT_TRUE(blob.IsNull());
    EXPECT_EQ(blob.ParamNumber(), 4);
    EXPECT_EQ(blob.SetParamNumber(9), 4);
    EXPECT_EQ(blob.SetParamNumber(0), 9);
    EXPECT_EQ(blob.ParamNumber(), 4);
    EXPECT_EQ(blob.SetLPSTRInBlob(nullptr), 0);
    EXPECT_EQ(blob.GetcbValue(), 1);
    EXPECT_STREQ(blob.GetLPSTRFromBlob(0), "");
    EXPECT_EQ(blob.SetLPSTRInBlob("hello"), 0);
    EXPECT_EQ(blob.GetcbValue(), 6);
    char* fresh = blob.GetLPSTRFromBlob(3);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(blob.Size(), 3u);
    blob.SetNull();
    EXPECT_TRUE(blob.IsNull());
    EXPECT_EQ(blob.GetLPSTRFromBlob(0), nullptr);
    // Data set into the buffer a NULL value kept is the value, not NULL any more.
    ASSERT_EQ(blob.SetData("ab", 3), 0);
    EXPECT_FALSE(blob.IsNull());
    EXPECT_EQ(blob.GetcbValue(), 3);
    EXPECT_STREQ(blob.GetLPSTRFromBlob(0), "ab");
    blob.ReleaseMem();
    EXPECT_EQ(blob.Size(), 0u);
}

// Binary SQL types travel as bytes: as characters the driver would read them as hex digits,
// and a zero byte would end the value.
TEST(OdbcBlob, BinaryTypesKeepTheirZeroBytes) {
    for (short type : {SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY}) {
        odbcBLOB blob(nullptr, 1, 0, type, 0, 0, 0);
        ASSERT_EQ(blob.SetData("a\0b", 3), 0);
        EXPECT_EQ(blob.SendLength(), 3) << type;
    }
    odbcBLOB text(nullptr, 1, 0, SQL_VARCHAR, 0, 0, 0);
    ASSERT_EQ(text.SetData("a\0b", 3), 0);
    EXPECT_EQ(text.SendLength(), 1);
}

TS_ODBC_BACKENDS(OdbcLongData);

}  // namespace
}  // namespace tessaro::database::testing
