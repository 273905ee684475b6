// A cursor's values read as text, whole, on SQLite and PostgreSQL: longer than one piece,
// longer than the size the driver declares, NULL and empty.
#include <memory>
#include <string>

#include "database/access/odbc_error_page.h"
#include "tests/common/web_error_capture.h"
#include "tests/database/odbc_fixture.h"

namespace tessaro::database::testing {
namespace {

class CursorTextTest : public OdbcFixture {
protected:
    std::unique_ptr<odbcCURSOR> Select(const std::string& sql) {
        auto cursor = std::make_unique<odbcCURSOR>(conn, C(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr);
        cursor->ExecDirect(sql.c_str());
        EXPECT_TRUE(cursor->sqlsuccess()) << sql << ": " << cursor->ErrMsg();
        return cursor;
    }
};

TEST_P(CursorTextTest, ValuesAreReadWholeWhateverTheirSize) {
    Recreate("cursor_text", "id INTEGER, word VARCHAR(4), body TEXT");
    std::string accented;
    for (int i = 0; i < 4; ++i) accented += "\xC3\xA9";  // four characters, eight bytes
    // A piece boundary falls inside a two-byte character.
    std::string longText = "x" + std::string(ODBC_TEXT_PIECE, 'a');
    for (int i = 0; i < 2000; ++i) longText += "\xC3\xA9";
    longText += "end";
    Exec("INSERT INTO cursor_text VALUES (1, '" + accented + "', '" + longText + "')");
    Exec("INSERT INTO cursor_text VALUES (2, NULL, '')");
    auto cursor = Select("SELECT word, body FROM cursor_text ORDER BY id");

    std::string text = "left over";
    bool isNull = true;
    ASSERT_EQ(cursor->Fetch(), SQL_SUCCESS);
    EXPECT_EQ(cursor->GetDataAsText(1, &text, &isNull), SQL_SUCCESS);
    EXPECT_EQ(text, accented);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(cursor->GetDataAsText(2, &text, &isNull), SQL_SUCCESS);
    EXPECT_EQ(text, longText);

    ASSERT_EQ(cursor->Fetch(), SQL_SUCCESS);
    EXPECT_EQ(cursor->GetDataAsText(1, &text, &isNull), SQL_SUCCESS);
    EXPECT_TRUE(isNull);
    EXPECT_EQ(text, "");
    EXPECT_EQ(cursor->GetDataAsText(2, &text, &isNull), SQL_SUCCESS);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(text, "");
    EXPECT_EQ(cursor->Fetch(), SQL_NO_DATA_FOUND);
}

TEST_P(CursorTextTest, AFailedReadIsReportedAsTheCursorsOtherCalls) {
    Recreate("cursor_text", "id INTEGER");
    Exec("INSERT INTO cursor_text VALUES (1)");
    auto cursor = Select("SELECT id FROM cursor_text");
    ASSERT_EQ(cursor->Fetch(), SQL_SUCCESS);
    std::string text = "left over";
    bool isNull = false;
    cursor->AutoRetrieve(1);
    EXPECT_EQ(cursor->GetDataAsText(5, &text, &isNull), SQL_ERROR);
    EXPECT_STRNE(reinterpret_cast<const char*>(cursor->SqlState()), "");
    EXPECT_EQ(text, "");
    // With the engine's policy the failure is the ODBC error page, as for every other call.
    InstallEngineErrorPolicy(*cursor);
    Thrown t = WebErrorOf([&] { cursor->GetDataAsText(5, &text, &isNull); });
    EXPECT_EQ(t.type, "CWebODBCException");
    EXPECT_EQ(t.message.rfind("ODBC Error Code = ", 0), 0u) << t.message;
}

TS_ODBC_BACKENDS(CursorTextTest);

}  // namespace
}  // namespace tessaro::database::testing
