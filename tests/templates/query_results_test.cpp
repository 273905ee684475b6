#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "engine/grammar/template_symbols.h"
#include "engine/server/request_budget.h"
#include "support/registry.h"
#include "support/server_settings.h"
#include "support/web_exception.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/core/query_block.h"
#include "tests/common/ci_require.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"
#include "tests/common/temp_home.h"
#include "tests/common/web_error_capture.h"

namespace {

// A statement handle of the ODBC class library on a connection, as the engine's pool hands out.
std::unique_ptr<odbcCURSOR> CursorOn(odbcCONNECT* connection) {
    return std::make_unique<odbcCURSOR>(connection, static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr,
                                        nullptr, 0, nullptr);
}

// A SQLite data source of its own per test, set up over raw ODBC handles and queried through
// the ODBC class library.
class QueryResultsTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (HasFatalFailure()) return;
        tessaro::database::OdbcTestConfig::Instance();
        // Reached by driver and file rather than by a data source name: the driver manager
        // keeps what it read of odbc.ini for a while, so a name written a moment ago may point
        // to the file of the test before. The name only keys the data source's settings.
        dsn_ = "tags_people";
        std::string connect = std::string("DRIVER=") + tessaro::database::kSQLiteDriverName +
                              ";Database=" + home() + "/data.db";
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)));
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(connect.data()), SQL_NTS,
                                                   nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
        library_ = std::make_unique<odbcENV>();
        connection_ = library_->AllocConnect(static_cast<char*>(nullptr), nullptr, nullptr, 0);
        ASSERT_NE(connection_, nullptr);
        char answer[512] = "";
        connection_->DriverConnectNoPrompt(connect.data(), answer, sizeof answer);
        ASSERT_TRUE(connection_->Connected()) << connection_->ErrMsg();
        Exec("CREATE TABLE people (id INTEGER, name VARCHAR(20), born TIMESTAMP, note TEXT)");
        Exec("INSERT INTO people VALUES (1, 'Ann', '2001-02-03 04:05:06.789', NULL)");
        Exec("INSERT INTO people VALUES (2, 'Bob', '1999-12-31 23:59:59', 'x')");
        Exec("INSERT INTO people VALUES (3, 'Cé', NULL, '')");
        root_ = OpenTessaroRootKey();
        registry_ = std::make_unique<CRegistrySettings>(root_.get());
        settings_ = std::make_unique<CServerSettings>(registry_.get());
    }
    void TearDown() override {
        settings_.reset();
        registry_.reset();
        root_.reset();
        if (connection_) library_->DeAllocConnect(connection_);
        library_.reset();
        if (dbc_) {
            SQLDisconnect(dbc_);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        }
        if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
        TempHomeTest::TearDown();
    }
    void Exec(const std::string& sql) {
        SQLHSTMT stmt = nullptr;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt)));
        SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql;
    }
    void Run(CTSXQueryImp& query) {
        std::unique_ptr<odbcCURSOR> cursor = CursorOn(connection_);
        ASSERT_NE(cursor->GetHstmt(), nullptr);
        query.PrepareExecution(settings_.get());
        query.ExecuteOnCursor(*cursor, [this] { ++timeChecks_; });
    }
    CTSXQueryImp Query(const std::string& sql) {
        CTSXQueryImp query;
        query.SetDataSource(dsn_);
        query.AppendSQL(sql);
        return query;
    }

    std::string dsn_;
    SQLHENV env_ = nullptr;
    SQLHDBC dbc_ = nullptr;
    std::unique_ptr<odbcENV> library_;
    odbcCONNECT* connection_ = nullptr;
    int timeChecks_ = 0;
    std::unique_ptr<CRegistryKey> root_;
    std::unique_ptr<CRegistrySettings> registry_;
    std::unique_ptr<CServerSettings> settings_;
};

TEST_F(QueryResultsTest, RowsAreReadAsTextInOrder) {
    CTSXQueryImp q = Query("  SELECT id, name, born, note FROM people ORDER BY id \n");
    Run(q);
    EXPECT_TRUE(q.IsExecuted());
    EXPECT_EQ(q.GetSQL(), "SELECT id, name, born, note FROM people ORDER BY id");
    ASSERT_EQ(q.GetRowCount(), 3);
    ASSERT_EQ(q.GetColumnCount(), 4);
    EXPECT_EQ(q.GetColumn(1).name, "NAME");
    int name = q.GetColumnIndex("Name"), born = q.GetColumnIndex("BORN"), note = q.GetColumnIndex("note");
    EXPECT_EQ(q.GetColumnValue(0, name), "Ann");
    EXPECT_EQ(q.GetColumnValue(1, name), "Bob");
    EXPECT_EQ(q.GetColumnValue(2, name), "Cé");
    EXPECT_EQ(q.GetColumnValue(0, born), "2001-02-03 04:05:06");
    EXPECT_EQ(q.GetColumnValue(1, born), "1999-12-31 23:59:59");
    EXPECT_EQ(q.GetColumnValue(2, born), "");
    EXPECT_EQ(q.GetColumnValue(0, note), "");
    EXPECT_EQ(q.GetColumnValue(1, note), "x");
    EXPECT_EQ(timeChecks_, 3);
}

TEST_F(QueryResultsTest, PseudoColumnsAndUnknownNames) {
    CTSXQueryImp q = Query("SELECT name FROM people");
    Run(q);
    EXPECT_EQ(q.GetColumnIndex("recordcount"), kColumnRecordCount);
    EXPECT_EQ(q.GetColumnIndex("ReturnValue"), kColumnReturnValue);
    EXPECT_EQ(q.GetColumnIndex("CURRENTROW"), kColumnCurrentRow);
    EXPECT_EQ(q.GetColumnIndex("nothing"), kColumnUnknown);
    EXPECT_EQ(q.GetColumnValue(0, kColumnRecordCount), "3");
    EXPECT_EQ(q.GetColumnValue(0, kColumnReturnValue), "0");
    EXPECT_EQ(q.GetColumnValue(0, kColumnCurrentRow), "1");
    EXPECT_EQ(q.GetColumnValue(2, kColumnCurrentRow), "3");
    EXPECT_EQ(q.GetColumnValue(7, 0), "");
    EXPECT_EQ(q.GetColumnValue(0, 9), "");
}

TEST_F(QueryResultsTest, MaxRowsBoundsTheRowsStored) {
    for (int max : {0, 2, 10}) {
        CTSXQueryImp q = Query("SELECT id FROM people ORDER BY id");
        q.SetMaxRows(max);
        Run(q);
        EXPECT_EQ(q.GetRowCount(), std::min(max, 3)) << max;
        EXPECT_EQ(q.GetColumnCount(), 1);
    }
}

TEST_F(QueryResultsTest, StatementsWithoutResultStoreNothing) {
    CTSXQueryImp q = Query("INSERT INTO people (id, name) VALUES (4, 'Dee')");
    Run(q);
    EXPECT_EQ(q.GetColumnCount(), 0);
    EXPECT_EQ(q.GetColumnValue(0, q.GetColumnIndex("RECORDCOUNT")), "0");
    CTSXQueryImp check = Query("SELECT name FROM people WHERE id = 4");
    Run(check);
    EXPECT_EQ(check.GetColumnValue(0, 0), "Dee");
}

TEST_F(QueryResultsTest, LongAndMultiByteValuesAreNeverCut) {
    std::string longText(100000, 'a');
    longText += "end";
    std::string wide;
    for (int i = 0; i < 3000; ++i) wide += "\xC3\xA9";  // é
    // Declared sizes smaller than the data: the driver reports the declared ones.
    Exec("CREATE TABLE texts (short CHAR(2), big TEXT, num VARCHAR(5))");
    Exec("INSERT INTO texts VALUES ('" + wide.substr(0, 20) + "', '" + longText + "', " +
         "'123456789012345678901234567890.1234567891')");
    Exec("INSERT INTO texts VALUES ('x', '" + wide + "', 1)");
    CTSXQueryImp q = Query("SELECT short, big, num FROM texts");
    Run(q);
    ASSERT_EQ(q.GetRowCount(), 2);
    EXPECT_EQ(q.GetColumnValue(0, 0), wide.substr(0, 20));
    EXPECT_EQ(q.GetColumnValue(0, 1), longText);
    EXPECT_EQ(q.GetColumnValue(1, 1), wide);
    EXPECT_EQ(q.GetColumnValue(0, 2), "123456789012345678901234567890.1234567891");
}

TEST_F(QueryResultsTest, OdbcErrorsCarryTheSqlOnlyWhenShown) {
    CTSXQueryImp hidden = Query("SELECT nope FROM missing_table");
    Thrown t = WebErrorOf([&] { Run(hidden); });
    EXPECT_EQ(t.type, "CWebODBCException");
    EXPECT_EQ(t.message.rfind("ODBC Error Code = ", 0), 0u) << t.message;
    EXPECT_EQ(t.detail.find("SQL = "), std::string::npos);

    CTSXQueryImp shown(true);
    shown.SetDataSource(dsn_);
    shown.AppendSQL("SELECT <b> FROM missing_table");
    Thrown s = WebErrorOf([&] { Run(shown); });
    EXPECT_NE(s.detail.find("SQL = \"SELECT &lt;b&gt; FROM missing_table\"<P>"), std::string::npos) << s.detail;
    EXPECT_FALSE(shown.IsExecuted());
}

TEST_F(QueryResultsTest, SqlAuthorisationPerDataSource) {
    const std::string section = "DataSources\\" + dsn_;
    CTSXQueryImp del = Query("  \n delete FROM people WHERE id = 1");
    Run(del);  // AllowAllSQL missing: everything is allowed

    registry_->Set(section, "AllowAllSQL", "0");
    registry_->Set(section, "DISABLE_DELETE", "1");
    CTSXQueryImp refused = Query("  \n delete FROM people WHERE id = 2");
    Thrown t = WebErrorOf([&] { Run(refused); });
    EXPECT_EQ(t.message, "SQL operation unauthorized.<P>");
    EXPECT_NE(t.detail.find("The SQL operation DELETE is unauthorized for the data source '" + dsn_ + "'."),
              std::string::npos);

    CTSXQueryImp exec = Query("EXEC something");
    Thrown u = WebErrorOf([&] { Run(exec); });
    EXPECT_EQ(u.message, "SQL operation unrecognized<P>");
    EXPECT_NE(u.detail.find("<P>SQL = 'EXEC something'"), std::string::npos);

    CTSXQueryImp select = Query("select name from people");
    Run(select);
    EXPECT_EQ(select.GetRowCount(), 2);
}

TEST(QueryNameTest, ScopeNamesAreRefusedAndNamesAreUpperCased) {
    CTSXQueryImp q;
    q.SetName("people");
    EXPECT_EQ(q.GetName(), "PEOPLE");
    for (const char* scope : {"form", "URL", "Cgi", "HTTP", "variables", "FILE", "cookie", "Client"}) {
        Thrown t = WebErrorOf([&] { q.SetName(scope); });
        EXPECT_EQ(t.message, "Invalid TSQUERY name<P>") << scope;
    }
}

TEST(QueryValidateTest, SqlErrorComesBeforeDataSourceError) {
    CTSXQueryImp q;
    EXPECT_EQ(WebErrorOf([&] { q.ValidateQuery(); }).message, "SQL attribute of TSQUERY tag not specified.<P>");
    q.AppendSQL(" ");
    EXPECT_EQ(WebErrorOf([&] { q.ValidateQuery(); }).message, "SQL attribute of TSQUERY tag not specified.<P>");
    q.AppendSQL("SELECT 1");
    EXPECT_EQ(WebErrorOf([&] { q.ValidateQuery(); }).message, "DataSource attribute of TSQUERY tag not specified.<P>");
}

TEST(QueryDebugLineTest, ShowsNameCountTimeAndTidiedSql) {
    CTSXQueryImp q;
    q.SetName("q");
    q.AppendSQL("\nSELECT a\n\nFROM t\n\n");
    EXPECT_EQ(q.DebugLine(), "\n<B>Q</B> (Records=0, Time=0ms)\nSQL = \nSELECT a\nFROM t\n");
}

TEST(QueryDebugLineTest, StatementTextIsEscapedForTheHtmlBlock) {
    CTSXQueryImp q;
    q.SetName("q");
    q.AppendSQL("SELECT '<script>' & 1");
    EXPECT_EQ(q.DebugLine(), "\n<B>Q</B> (Records=0, Time=0ms)\nSQL = \nSELECT &#39;&lt;script&gt;&#39; &amp; 1\n");
}

// The page as the query tag sees it.
class FakeHost : public CQueryTagHost {
public:
    std::string written;
    std::vector<std::string> executed;
    std::vector<std::string> debugLines;
    void WriteText(const std::string& text) override { written += text; }
    std::string SubstituteSql(const std::string& text) override {
        std::string out = text;
        std::size_t at = out.find("#who#");
        if (at != std::string::npos) out.replace(at, 5, "O''Neil");
        return out;
    }
    void Execute(CTSXQueryImp& query) override { executed.push_back(query.GetSQL()); }
    void AddDebugLine(const std::string& line) override { debugLines.push_back(line); }
    std::string PositionReport() override { return "[line 4]"; }
};

TEST(QueryTagTest, SqlPiecesArriveInTagOrder) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    tag.OnBegin(false, false);
    tag.OnName("\"q\" ", "t.tsm:1");
    tag.OnDataSource(" ds ");
    tag.OnSql("a");
    tag.OnText("b #who#");
    tag.OnText("  \n\t");
    tag.OnSql("c");
    tag.OnText("d");
    tag.OnEnd();
    ASSERT_EQ(host.executed.size(), 1u);
    EXPECT_EQ(host.executed[0], " a cb O''Neild");
    EXPECT_FALSE(tag.IsPending());
    ASSERT_NE(queries.Find("Q"), nullptr);
    EXPECT_EQ(queries.Find("q")->GetDataSource(), "ds");
    EXPECT_EQ(host.written, "");
}

TEST(QueryTagTest, BlockClosedByAnotherTagWritesItsTextAndSendsOnlyItsAttributes) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    tag.OnBegin(false, true);
    tag.OnDataSource("ds");
    tag.OnSql("SELECT 1");
    tag.OnText("<P>text</P>");
    tag.Finish();
    EXPECT_EQ(host.written, "<P>text</P>");
    EXPECT_EQ(host.executed, std::vector<std::string>{" SELECT 1"});
    EXPECT_EQ(host.debugLines.size(), 1u);
    EXPECT_EQ(queries.Find(""), nullptr);
    EXPECT_EQ(WebErrorOf([&] { tag.OnEnd(); }).message, "Invalid syntax for TSQUERY tag<P>");
    EXPECT_EQ(WebErrorOf([&] { tag.OnSql("x"); }).message, "Invalid syntax for TSQUERY tag<P>");
}

TEST(QueryTagTest, NamesMustBeUniqueExceptWhenTheSameTagRunsAgain) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    auto run = [&](const std::string& origin) {
        tag.OnBegin(false, false);
        tag.OnName("q", origin);
        tag.OnDataSource("ds");
        tag.OnSql("SELECT 1");
        tag.OnEnd();
    };
    run("t.tsm:3");
    CTSXQueryImp* first = queries.Find("Q");
    run("t.tsm:3");  // a loop body running the same tag again
    EXPECT_NE(queries.Find("Q"), first);
    EXPECT_EQ(first->GetName(), "Q");  // the earlier result is still alive
    Thrown t = WebErrorOf([&] { run("t.tsm:9"); });
    EXPECT_EQ(t.message, "Duplicate TSQUERY name<P>");
    EXPECT_NE(t.detail.find("existing TSQUERY (Q)"), std::string::npos);
    Thrown blank = WebErrorOf([&] { run(""); });
    EXPECT_EQ(blank.message, "Duplicate TSQUERY name<P>");
}

TEST(QueryTagTest, ANameWrittenWithBlanksIsStillADuplicate) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    auto run = [&](const std::string& name, const std::string& origin) {
        tag.OnBegin(false, false);
        tag.OnName(name, origin);
        tag.OnDataSource("ds");
        tag.OnSql("SELECT 1");
        tag.OnEnd();
    };
    run("q", "t.tsm:3");
    CTSXQueryImp* first = queries.Find("Q");
    // Trimmed before the look-up: otherwise it would pass and replace the first query's rows.
    Thrown t = WebErrorOf([&] { run(" \"q\"\t", "t.tsm:9"); });
    EXPECT_EQ(t.message, "Duplicate TSQUERY name<P>");
    EXPECT_NE(t.detail.find("existing TSQUERY (Q)"), std::string::npos) << t.detail;
    EXPECT_EQ(queries.Find("Q"), first);
}

TEST(QueryTagTest, MaxRowsMustNotBeNegativeAndErrorsNameTheDataSourceWhenShown) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    tag.OnBegin(true, false);
    Thrown t = WebErrorOf([&] { tag.OnMaxRows("-1"); });
    EXPECT_EQ(t.message, "An error occurred while attempting to process a TSQUERY tag.<P>");
    EXPECT_EQ(t.detail,
              "[line 4]The MAXROWS attribute of the TSQUERY tag, which evaluates to -1, must be a "
              "non-negative number.<P>");
    tag.OnMaxRows(" 12abc");
    EXPECT_EQ(tag.Pending()->GetMaxRows(), 12);
    tag.OnDataSource("pubs");
    Thrown v = WebErrorOf([&] { tag.Finish(); });
    // Run before any /TSQUERY and without SQL: the block was left open, and the error says so.
    EXPECT_EQ(v.message, "TSQUERY tag not closed.<P>");
    EXPECT_NE(v.detail.find("Data Source = \"pubs\"<P>"), std::string::npos);
}

TEST(QueryTagTest, TimeoutIsStoredAsWritten) {
    struct Case {
        const char* value;
        int stored;
    } cases[] = {{"30", 30}, {"-1", -1}, {"-5", -5}, {"0", 0}, {"abc", 0}, {" 7s", 7}, {"99999999999", 0x7FFFFFFF}};
    for (const Case& c : cases) {
        FakeHost host;
        CNamedQueries queries;
        CQueryTag tag(host, queries);
        tag.OnBegin(false, false);
        tag.OnTimeout(c.value);
        EXPECT_EQ(tag.Pending()->GetTimeout(), c.stored) << c.value;
    }
}

TEST(QueryTagTest, DataSourceNamedInAnErrorIsEscaped) {
    FakeHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    tag.OnBegin(true, false);
    tag.OnDataSource("<b>ds</b>");
    Thrown t = WebErrorOf([&] { tag.Finish(); });
    EXPECT_NE(t.detail.find("Data Source = \"&lt;b&gt;ds&lt;/b&gt;\"<P>"), std::string::npos) << t.detail;
}

// A host whose substitution runs the open query, as a reference to one of its columns does.
class FinishingHost : public FakeHost {
public:
    CQueryTag* tag = nullptr;
    std::string SubstituteSql(const std::string& text) override {
        if (text.find("#q.") != std::string::npos) tag->Finish();
        return "evaluated";
    }
};

TEST(QueryTagTest, TextThatRunsItsOwnQueryLeavesNothingBehind) {
    FinishingHost host;
    CNamedQueries queries;
    CQueryTag tag(host, queries);
    host.tag = &tag;
    tag.OnBegin(false, false);
    tag.OnName("q", "t.tsm:1");
    tag.OnDataSource("ds");
    tag.OnSql("SELECT a");
    tag.OnText(" WHERE b = '#q.a#'");
    EXPECT_FALSE(tag.IsPending());
    EXPECT_EQ(host.executed, std::vector<std::string>{" SELECT a"});
    EXPECT_EQ(host.written, " WHERE b = '#q.a#'");
    ASSERT_NE(queries.Find("Q"), nullptr);
    // The next query starts clean: nothing of the earlier block reaches its statement.
    tag.OnBegin(false, false);
    tag.OnDataSource("ds");
    tag.OnText("SELECT c");
    tag.OnEnd();
    ASSERT_EQ(host.executed.size(), 2u);
    EXPECT_EQ(host.executed[1], "evaluated");
}

TEST(QueryBlockTest, OnlyTheListedProductionsKeepTheBlockOpen) {
    namespace p = tessaro::grammar::template_grammar::production;
    for (unsigned open :
         {p::items_items_item, p::ifStart_IfTag, p::conditionOpt_empty, p::elseIfStart_ElseIfTag,
          p::setTag_SetTag_SetName_SetEquals_conditionOpt_ConditionEnd, p::item_Text, p::item_EndLoopTag,
          p::loopStart_LoopTag, p::loopAttribute_LoopQuery_attributeValue,
          p::loopAttribute_LoopDelimiters_attributeValue, p::loopAttribute_LoopStep_attributeValue,
          p::item_queryStart_queryAttributesOpt_TagClose, p::queryAttributesOpt_empty,
          p::item_sqlStart_SqlAttribute_attributeValue_SqlEnd, p::item_EndQueryTag, p::attributeValue_Number,
          p::quotedPart_DoubledQuote})
        EXPECT_TRUE(KeepsQueryBlockOpen(open)) << open;
    for (unsigned closing :
         {p::start, p::template_items, p::ifStart_BodyIfTag, p::elseIfStart_BodyElseIfTag, p::item_BreakTag,
          p::loopAttribute_LoopStartRow_attributeValue, p::loopAttribute_LoopEndRow_attributeValue,
          p::item_applicationStart_applicationAttributesOpt_ApplicationEnd, p::item_AbortTag, p::queryStart_QueryTag,
          p::item_section, p::reportAttribute_ReportPassword_attributeValue,
          tessaro::grammar::template_grammar::kProductionCount})
        EXPECT_FALSE(KeepsQueryBlockOpen(closing)) << closing;
}

}  // namespace

namespace {

// The same reading against the PostgreSQL server, whose Unicode driver reports
// wide character types and exact numerics.
TEST(QueryResultsPostgresTest, WideLongAndPreciseValuesAreNeverCut) {
    tessaro::database::OdbcTestConfig::Instance();
    auto& pg = tessaro::database::PgTestServer::Instance();
    REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string dsn = tessaro::database::PgTestServer::kDsn, user = tessaro::database::PgTestServer::kUser;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(dsn.data()), SQL_NTS,
                                         reinterpret_cast<SQLCHAR*>(user.data()), SQL_NTS, nullptr, 0)));
    auto exec = [&](const std::string& sql) {
        SQLHSTMT stmt = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
    };
    const std::string table = "tags_values_" + std::to_string(getpid());
    ASSERT_TRUE(exec("CREATE TABLE " + table + " (id int, w varchar(4), big text, num numeric(40,10), ts timestamp)"));
    std::string accented;
    for (int i = 0; i < 4; ++i) accented += "\xC3\xA9";
    std::string longText(70000, 'z');
    ASSERT_TRUE(exec("INSERT INTO " + table + " VALUES (1, '" + accented + "', '" + longText +
                     "', 123456789012345678901234567890.1234567891, '2001-02-03 04:05:06.789')"));
    ASSERT_TRUE(exec("INSERT INTO " + table + " VALUES (2, NULL, '', NULL, NULL)"));

    CTSXQueryImp q;
    q.SetDataSource(dsn);
    q.AppendSQL("SELECT w, big, num, ts FROM " + table + " ORDER BY id");
    odbcENV library;
    char none[] = "";
    odbcCONNECT* connection = library.AllocConnect(dsn.data(), user.data(), none, 0);
    ASSERT_TRUE(connection != nullptr && connection->Connected());
    Thrown t = WebErrorOf([&] {
        std::unique_ptr<odbcCURSOR> cursor = CursorOn(connection);
        q.PrepareExecution(nullptr);
        q.ExecuteOnCursor(*cursor, {});
    });
    library.DeAllocConnect(connection);
    exec("DROP TABLE " + table);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    ASSERT_EQ(t.message, "") << t.detail;
    ASSERT_EQ(q.GetRowCount(), 2);
    EXPECT_EQ(q.GetColumnValue(0, 0), accented);
    EXPECT_EQ(q.GetColumnValue(0, 1), longText);
    EXPECT_EQ(q.GetColumnValue(0, 2), "123456789012345678901234567890.1234567891");
    EXPECT_EQ(q.GetColumnValue(0, 3), "2001-02-03 04:05:06");
    EXPECT_EQ(q.GetColumnValue(1, 0), "");
    EXPECT_EQ(q.GetColumnValue(1, 3), "");
}

// A connection of the ODBC class library to the tests' PostgreSQL server.
class QueryResultsOnPostgresTest : public ::testing::Test {
protected:
    void SetUp() override {
        tessaro::database::OdbcTestConfig::Instance();
        auto& pg = tessaro::database::PgTestServer::Instance();
        REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
        // Made once the test configuration is in place.
        library = std::make_unique<odbcENV>();
        char none[] = "";
        connection = library->AllocConnect(dsn.data(), user.data(), none, 0);
        ASSERT_TRUE(connection != nullptr && connection->Connected());
    }
    void TearDown() override {
        if (connection != nullptr) library->DeAllocConnect(connection);
    }

    std::string dsn = tessaro::database::PgTestServer::kDsn, user = tessaro::database::PgTestServer::kUser;
    std::unique_ptr<odbcENV> library;
    odbcCONNECT* connection = nullptr;
};

TEST_F(QueryResultsOnPostgresTest, TimeoutGoesToTheStatement) {
    CTSXQueryImp q;
    q.SetDataSource(dsn);
    q.AppendSQL("SELECT 1");
    q.SetTimeout(7);
    std::unique_ptr<odbcCURSOR> cursor = CursorOn(connection);
    q.PrepareExecution(nullptr);
    Thrown t = WebErrorOf([&] { q.ExecuteOnCursor(*cursor, {}); });
    EXPECT_EQ(t.message, "") << t.detail;
    EXPECT_EQ(q.GetRowCount(), 1);
    // The driver keeps what the statement was given.
    EXPECT_EQ(cursor->GetStmtOption(SQL_QUERY_TIMEOUT), 7u);
}

// Counts far beyond what a database does in seconds.
constexpr const char* kSlowCount =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1000000000) SELECT count(*) FROM n";

TEST_F(QueryResultsTest, RowsDrawTheirBytesFromTheBudgetAndGiveThemBack) {
    CRequestBudget budget;
    budget.SetResultByteLimit(2000);
    {
        CTSXQueryImp q = Query("SELECT id, name FROM people ORDER BY id");
        q.UseBudget(&budget);
        Run(q);
        ASSERT_EQ(q.GetRowCount(), 3);
        EXPECT_EQ(q.GetColumnValue(2, 1), "Cé");
        // Each value: its characters, a terminator and 16 bytes; "Cé" has three bytes.
        EXPECT_EQ(budget.ResultBytes(), 3u * (1 + 1 + 16) + 2u * (3 + 1 + 16) + (3 + 1 + 16));
    }
    EXPECT_EQ(budget.ResultBytes(), 0u);

    struct Case {
        const char* what;
        std::string sql;
    } const cases[] = {
        {"too many rows", "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 100000) SELECT i FROM n"},
        {"one value too long", "SELECT printf('%.*c', 1000000, 'x') AS v"},
    };
    for (const Case& c : cases) {
        CTSXQueryImp q = Query(c.sql);
        q.UseBudget(&budget);
        Thrown t = WebErrorOf([&] { Run(q); });
        EXPECT_EQ(t.message, "Query results too large<P>") << c.what;
        EXPECT_NE(t.detail.find("more than 2000 bytes"), std::string::npos) << c.what;
        EXPECT_LE(budget.ResultBytes(), 2000u) << c.what;
    }
    EXPECT_EQ(budget.ResultBytes(), 0u);

    // Rows an extension adds draw too.
    CTSXQueryImp made;
    made.UseBudget(&budget);
    made.AddColumn("A");
    made.AddRow({std::string(1000, 'a')});
    EXPECT_EQ(WebErrorOf([&] { made.AddRow({std::string(1000, 'b')}); }).message, "Query results too large<P>");
    EXPECT_EQ(made.GetRowCount(), 1);
}

TEST_F(QueryResultsTest, AStoppedBudgetCancelsTheStatementAndTheRunFailsWithTheStopsReason) {
    CRequestBudget budget;
    budget.StartClock(30);
    CTSXQueryImp q = Query(kSlowCount);
    q.UseBudget(&budget);
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([&budget] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        budget.Stop(RequestStop::TimedOut);
    });
    Thrown t = WebErrorOf([&] { Run(q); });
    stopper.join();
    EXPECT_EQ(t.message, "Request timed out<P>") << t.detail;
    EXPECT_NE(t.detail.find("allowable limit of 30 seconds"), std::string::npos);
    EXPECT_FALSE(q.IsExecuted());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The connection serves the next statement.
    CTSXQueryImp next = Query("SELECT count(*) FROM people");
    Run(next);
    EXPECT_EQ(next.GetColumnValue(0, 0), "3");
}

TEST_F(QueryResultsOnPostgresTest, AStoppedBudgetCancelsTheStatement) {
    CRequestBudget budget;
    CTSXQueryImp q;
    q.SetDataSource(dsn);
    q.AppendSQL("SELECT pg_sleep(30)");
    q.UseBudget(&budget);
    std::unique_ptr<odbcCURSOR> cursor = CursorOn(connection);
    q.PrepareExecution(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([&budget] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        budget.Stop(RequestStop::Abandoned);
    });
    Thrown t = WebErrorOf([&] { q.ExecuteOnCursor(*cursor, {}); });
    stopper.join();
    EXPECT_EQ(t.message, "Request abandoned<P>") << t.detail;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
