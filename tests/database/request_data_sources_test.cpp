#include "database/access/request_data_sources.h"

#include "database/access/connection_pool.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "tests/database/pool_fixture.h"

namespace tessaro::database::testing {
namespace {

class RequestDataSourcesTest : public PoolFixture {
protected:
    void SetUp() override {
        PoolFixture::SetUp();
        pool_ = std::make_unique<ConnectionPool>(settings());
        set_ = std::make_unique<CRequestDataSources>(settings(), pool_.get());
    }
    void TearDown() override {
        set_.reset();
        pool_.reset();
        PoolFixture::TearDown();
    }

    void Exec(const std::string& sql, const CDataSourceLogin& login = Login()) {
        set_->AllocStmt(login)->ExecDirect(sql.c_str());
    }
    long CountRows(const std::string& table, const CDataSourceLogin& login = Login()) {
        return PoolFixture::CountRows(set_->AllocCursor(login), table);
    }

    std::unique_ptr<ConnectionPool> pool_;
    std::unique_ptr<CRequestDataSources> set_;
};

TEST_F(RequestDataSourcesTest, OneConnectionPerLoginWithinARequest) {
    odbcCONNECT* first = set_->GetConnect(Login("u", "p"));
    EXPECT_EQ(set_->GetConnect(Login("U", "p", "TESSARO_SQLITE")), first);
    EXPECT_EQ(set_->AllocCursor(Login("u", "p"))->GetConnect(), first);
    EXPECT_NE(set_->GetConnect(Login("other", "p")), first);
    EXPECT_NE(set_->GetConnect(Login("u", "P")), first);
    EXPECT_EQ(set_->ConnectionCount(), 3u);
    EXPECT_EQ(pool_->GetStatistics().entries, 3u);
}

TEST_F(RequestDataSourcesTest, ReleaseKeepsConnectionsPooledUnlessClosed) {
    set_->GetConnect(Login("a"));
    set_->GetConnect(Login("b"));
    set_->ReleaseConnections(false);
    EXPECT_EQ(set_->ConnectionCount(), 0u);
    EXPECT_EQ(pool_->GetStatistics().idle, 2u);

    set_->GetConnect(Login("a"));
    set_->ReleaseConnections(true);
    ConnectionPool::Statistics stats = pool_->GetStatistics();
    EXPECT_EQ(stats.entries, 1u);
    EXPECT_EQ(stats.idle, 1u);
}

TEST_F(RequestDataSourcesTest, SetDestroyedWhileHoldingConnectionsClosesThem) {
    set_->GetConnect(Login("a"));
    set_->GetConnect(Login("b"));
    set_.reset();
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);
}

TEST_F(RequestDataSourcesTest, QueriesRunThroughTheRequestsCursors) {
    Exec("CREATE TABLE items (n INTEGER)");
    Exec("INSERT INTO items VALUES (1)");
    Exec("INSERT INTO items VALUES (2)");
    EXPECT_EQ(CountRows("items"), 2);
}

TEST_F(RequestDataSourcesTest, FailingStatementThrowsTheOdbcErrorPage) {
    bool odbc = false;
    auto [title, detail] = Thrown([&] { Exec("SELECT * FROM no_such_table"); }, &odbc);
    EXPECT_TRUE(odbc);
    EXPECT_EQ(title.rfind("ODBC Error Code = ", 0), 0u) << title;
    EXPECT_NE(detail.find("no_such_table"), std::string::npos) << detail;
}

struct AuthorizationCase {
    const char* allowAll;  // nullptr: value missing
    const char* disableUpdate;
    const char* operation;
    bool refused;
};

TEST_F(RequestDataSourcesTest, AuthorizationFollowsAllowAllSqlThenTheOperationsSwitch) {
    const AuthorizationCase cases[] = {
        {nullptr, "1", "UPDATE", false}, {"1", "1", "UPDATE", false}, {"0", "1", "UPDATE", true},
        {"0", "1", "update", true},      {"0", "1", "INSERT", false}, {"0", "0", "UPDATE", false},
        {"0", nullptr, "UPDATE", false},
    };
    for (const AuthorizationCase& c : cases) {
        settings()->DeleteSection("DataSources\\Sales");
        if (c.allowAll) Set("DataSources\\Sales", "AllowAllSQL", c.allowAll);
        if (c.disableUpdate) Set("DataSources\\Sales", "DISABLE_UPDATE", c.disableUpdate);
        auto thrown = Thrown([&] { set_->CheckSQLAuthorization(c.operation, "Sales"); });
        EXPECT_EQ(!thrown.first.empty(), c.refused) << (c.allowAll ? c.allowAll : "-") << " "
                                                    << (c.disableUpdate ? c.disableUpdate : "-") << " " << c.operation;
    }
}

TEST_F(RequestDataSourcesTest, RefusedOperationNamesItAndTheDataSource) {
    Set("DataSources\\<Sales>", "AllowAllSQL", "0");
    Set("DataSources\\<Sales>", "DISABLE_UPDATE", "1");
    auto [title, detail] = Thrown([&] { set_->CheckSQLAuthorization("UPDATE", "<Sales>"); });
    EXPECT_EQ(title, "SQL operation unauthorized.<P>");
    EXPECT_EQ(detail,
              "The SQL operation UPDATE is unauthorized for the data source '&lt;Sales&gt;'. To change SQL "
              "authorizations for data sources you should use the Tessaro Administrator application. Here they are "
              "the values AllowAllSQL and DISABLE_UPDATE of the key DataSources\\&lt;Sales&gt;, set with tsreg (see "
              "README.md, section \"Administering the server\").<P>");
}

TEST_F(RequestDataSourcesTest, CommitKeepsAndRollbackDropsTheWork) {
    Exec("CREATE TABLE t (n INTEGER)");
    EXPECT_TRUE(set_->SupportsTransactions(Login()));

    set_->BeginTransaction(Login());
    Exec("INSERT INTO t VALUES (1)");
    set_->RollbackTransaction(Login());
    EXPECT_EQ(CountRows("t"), 0);
    EXPECT_EQ(set_->GetConnect(Login())->GetConnectOption(SQL_AUTOCOMMIT), static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON));

    set_->BeginTransaction(Login());
    Exec("INSERT INTO t VALUES (1)");
    set_->CommitTransaction(Login());
    EXPECT_EQ(CountRows("t"), 1);
    EXPECT_EQ(set_->GetConnect(Login())->GetConnectOption(SQL_AUTOCOMMIT), static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON));
}

TEST_F(RequestDataSourcesTest, StatementForALoginDifferingInCaseJoinsTheTransaction) {
    CDataSourceLogin begun = Login("Owner", "pw", "Tessaro_SQLite");
    Exec("CREATE TABLE t (n INTEGER)", begun);
    set_->BeginTransaction(begun);
    Exec("INSERT INTO t VALUES (1)", Login("owner", "pw", "tessaro_sqlite"));
    set_->RollbackTransaction(begun);
    EXPECT_EQ(CountRows("t", begun), 0);
    EXPECT_EQ(set_->ConnectionCount(), 1u);
}

TEST(IsolationLevelNames, MapBothWaysWithoutRegardToCase) {
    const std::pair<const char*, unsigned long> rows[] = {
        {"READ_UNCOMMITTED", 1}, {"READ_COMMITTED", 2}, {"REPEATABLE_READ", 4}, {"SERIALIZABLE", 8}, {"VERSIONING", 16},
    };
    for (const auto& [name, level] : rows) {
        EXPECT_EQ(IsolationLevelFromName(name), level);
        EXPECT_EQ(IsolationLevelName(level), name);
    }
    EXPECT_EQ(IsolationLevelFromName("serializable"), 8u);
    EXPECT_EQ(IsolationLevelFromName("Read_Committed"), 2u);
    EXPECT_EQ(IsolationLevelFromName(""), 0u);
    EXPECT_EQ(IsolationLevelFromName("SNAPSHOT"), 0u);
    EXPECT_EQ(IsolationLevelName(0), "");
    EXPECT_EQ(IsolationLevelName(3), "");
}

TEST_F(RequestDataSourcesTest, IsolationNamesAreCheckedAgainstTheDataSource) {
    // The SQLite driver offers serializable transactions only.
    EXPECT_TRUE(Thrown([&] { set_->SetIsolationLevel(Login(), ""); }).first.empty());
    EXPECT_TRUE(Thrown([&] { set_->SetIsolationLevel(Login(), "serializable"); }).first.empty());

    auto unsupported = Thrown([&] { set_->SetIsolationLevel(Login(), "READ_UNCOMMITTED"); });
    EXPECT_EQ(unsupported.first, "ISOLATION specified for TSTRANSACTION not supported by data source.<P>");
    EXPECT_NE(unsupported.second.find("(READ_UNCOMMITTED)"), std::string::npos);

    auto unknown = Thrown([&] { set_->SetIsolationLevel(Login(), "<SNAPSHOT>"); });
    EXPECT_EQ(unknown.first, "ISOLATION specified for TSTRANSACTION not recognized.<P>");
    EXPECT_NE(unknown.second.find("(&lt;SNAPSHOT&gt;)"), std::string::npos);
    EXPECT_NE(unknown.second.find("READ_UNCOMMITTED, READ_COMMITTED, REPEATABLE_READ, SERIALIZABLE and VERSIONING"),
              std::string::npos);
}

TEST_F(RequestDataSourcesTest, CommitRestoresTheDefaultIsolation) {
    unsigned long defaultLevel = set_->GetDefaultIsolation(Login());
    EXPECT_NE(defaultLevel, 0u);
    set_->BeginTransaction(Login());
    set_->SetIsolationLevel(Login(), "SERIALIZABLE");
    set_->CommitTransaction(Login());
    EXPECT_EQ(set_->GetConnect(Login())->GetConnectOption(SQL_TXN_ISOLATION), defaultLevel);
}

TEST_F(RequestDataSourcesTest, DriverConventionsAreReported) {
    EXPECT_EQ(set_->GetIdentifierQuoteChar(Login()).size(), 1u);
    unsigned long location = set_->GetQualifierLocation(Login());
    EXPECT_TRUE(location == SQL_QL_START || location == SQL_QL_END || location == 0 || location == 5000) << location;
    set_->GetQualifierSeparator(Login());
}

TEST_F(RequestDataSourcesTest, WriteSQLInfoFollowsTheDebugSetting) {
    EXPECT_EQ(set_->WriteSQLInfo(), 1);
    Set("Debug", "WriteSQLInfo", "0");
    EXPECT_EQ(set_->WriteSQLInfo(), 0);
    EXPECT_EQ(CRequestDataSources(nullptr, pool_.get()).WriteSQLInfo(), 1);
}

}  // namespace
}  // namespace tessaro::database::testing
