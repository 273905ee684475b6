#include "database/access/connection_pool.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "database/access/login_store.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/access/odbc_error_page.h"
#include "database/access/password_scrambler.h"
#include "support/ini_helpers.h"
#include "platform/home.h"
#include "tests/database/pool_fixture.h"
#include "tests/common/ci_require.h"
#include "tests/common/pg_test_server.h"

namespace tessaro::database::testing {
namespace {

class ConnectionPoolTest : public PoolFixture {
protected:
    void SetUp() override {
        PoolFixture::SetUp();
        pool_ = std::make_unique<ConnectionPool>(settings());
    }
    void TearDown() override {
        pool_.reset();
        PoolFixture::TearDown();
    }

    // Runs a statement through a statement of the entry; the error page on failure.
    static void Exec(PooledConnection* entry, const std::string& sql) { entry->AllocStmt()->ExecDirect(sql.c_str()); }
    static long CountRows(PooledConnection* entry, const std::string& table) {
        return PoolFixture::CountRows(entry->AllocCursor(), table);
    }
    // Hands the entry back; deletes it when the pool gives it up. True when it stayed pooled.
    bool Release(PooledConnection* entry, bool close = false) {
        PooledConnection* out = pool_->ReleaseConnection(entry, close);
        delete out;
        return out == nullptr;
    }

    std::unique_ptr<ConnectionPool> pool_;
};

TEST_F(ConnectionPoolTest, SequentialRequestsReuseOneConnection) {
    PooledConnection* first = nullptr;
    for (int i = 0; i < 200; ++i) {
        PooledConnection* entry = pool_->GetOpenConnection(Login());
        if (i == 0) first = entry;
        ASSERT_EQ(entry, first);
        ASSERT_TRUE(entry->IsConnected());
        entry->AllocCursor()->ExecDirect("SELECT 1");
        ASSERT_TRUE(Release(entry));
    }
    ConnectionPool::Statistics stats = pool_->GetStatistics();
    EXPECT_EQ(stats.entries, 1u);
    EXPECT_EQ(stats.idle, 1u);
    EXPECT_EQ(stats.connects, 1u);
}

TEST_F(ConnectionPoolTest, ConcurrentHoldersOfOneLoginGetTheirOwnConnections) {
    PooledConnection* a = pool_->GetOpenConnection(Login());
    PooledConnection* b = pool_->GetOpenConnection(Login());
    EXPECT_NE(a, b);
    EXPECT_NE(a->GetConnect(), b->GetConnect());
    EXPECT_TRUE(Release(a));
    EXPECT_TRUE(Release(b));
    // The oldest idle entry is handed out first.
    PooledConnection* again = pool_->GetOpenConnection(Login());
    EXPECT_EQ(again, a);
    EXPECT_TRUE(Release(again));
    EXPECT_EQ(pool_->GetStatistics().entries, 2u);
    EXPECT_EQ(pool_->GetStatistics().connects, 2u);
}

TEST_F(ConnectionPoolTest, ThreadsTakingAndReturningNeverShareAConnection) {
    constexpr int kThreads = 6, kRounds = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int r = 0; r < kRounds; ++r) {
                PooledConnection* entry = pool_->GetOpenConnection(Login());
                if (entry->CursorCount() != 0) ++failures;
                entry->AllocCursor();
                if (entry->CursorCount() != 1) ++failures;
                delete pool_->ReleaseConnection(entry, false);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    ConnectionPool::Statistics stats = pool_->GetStatistics();
    EXPECT_LE(stats.entries, static_cast<std::size_t>(kThreads));
    EXPECT_EQ(stats.entries, stats.idle);
    EXPECT_EQ(stats.connects, stats.entries);
}

TEST_F(ConnectionPoolTest, LoginsMatchDataSourceAndUserWithoutCaseAndPasswordExactly) {
    PooledConnection* entry = pool_->GetOpenConnection(Login("Admin", "Pw"));
    ASSERT_TRUE(Release(entry));
    EXPECT_EQ(pool_->GetConnection(Login("ADMIN", "Pw", "TESSARO_SQLITE")), entry);
    PooledConnection* other = pool_->GetConnection(Login("admin", "pw"));
    EXPECT_NE(other, entry);
    EXPECT_EQ(other->GetKey().password, "pw");
    delete pool_->ReleaseConnection(other, true);
    EXPECT_TRUE(Release(entry));
}

TEST_F(ConnectionPoolTest, CloseFlagAndMaintainConnectZeroTakeTheEntryOut) {
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    EXPECT_EQ(pool_->ReleaseConnection(entry, true), entry);
    delete entry;
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);

    Set("DataSources\\tessaro_sqlite", "MaintainConnect", "0");
    EXPECT_EQ(pool_->GetMaintainConnect(kDsn), 0);
    entry = pool_->GetOpenConnection(Login());
    EXPECT_EQ(pool_->ReleaseConnection(entry, false), entry);
    delete entry;
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);
    EXPECT_EQ(pool_->GetStatistics().connects, 2u);
}

TEST_F(ConnectionPoolTest, ReleaseFreesCursorsAndStatements) {
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    entry->AllocCursor();
    entry->AllocCursor();
    entry->AllocStmt();
    EXPECT_EQ(entry->CursorCount(), 2u);
    EXPECT_EQ(entry->StatementCount(), 1u);
    ASSERT_TRUE(Release(entry));
    EXPECT_EQ(entry->CursorCount(), 0u);
    EXPECT_EQ(entry->StatementCount(), 0u);
}

TEST_F(ConnectionPoolTest, UnknownDataSourceGivesTheHintAndLeavesNothingInThePool) {
    bool odbc = false;
    auto [title, detail] = Thrown([&] { pool_->GetOpenConnection(Login("", "", "no_such_dsn")); }, &odbc);
    EXPECT_TRUE(odbc);
    EXPECT_EQ(title, "ODBC Error Code = IM002 (Data source not found and no default driver specified)<P>");
    EXPECT_NE(detail.find(kHintCreateDataSource), std::string::npos) << detail;
    ConnectionPool::Statistics stats = pool_->GetStatistics();
    EXPECT_EQ(stats.entries, 0u);
    EXPECT_EQ(stats.connects, 0u);
}

TEST_F(ConnectionPoolTest, OverlongOrNulLoginTextIsRefused) {
    auto [title, detail] = Thrown([&] { pool_->GetConnection(Login(std::string(2000, 'u'))); });
    EXPECT_EQ(title, "Error attempting to retrieve connection for data source.<P>");
    EXPECT_FALSE(Thrown([&] { pool_->GetConnection(Login("", std::string("a\0b", 3))); }).first.empty());
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);
}

TEST_F(ConnectionPoolTest, TransactionLeftOpenIsRolledBackBeforeTheNextRequest) {
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    Exec(entry, "CREATE TABLE t (n INTEGER)");
    entry->GetConnect()->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    Exec(entry, "INSERT INTO t VALUES (1)");
    ASSERT_TRUE(Release(entry));

    PooledConnection* next = pool_->GetOpenConnection(Login());
    ASSERT_EQ(next, entry);
    EXPECT_EQ(next->GetConnect()->GetConnectOption(SQL_AUTOCOMMIT), static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON));
    EXPECT_EQ(CountRows(next, "t"), 0);
    ASSERT_TRUE(Release(next));
}

TEST_F(ConnectionPoolTest, BrokenConnectionIsNotPooledAgain) {
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    entry->MarkBroken();
    EXPECT_EQ(pool_->ReleaseConnection(entry, false), entry);
    delete entry;
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);
}

TEST(ConnectionLostStates, LinkFailuresAreRecognised) {
    for (const char* state : {"08S01", "08003", "08007", "08001", "HYT01", "57P01"})
        EXPECT_TRUE(IsConnectionLostState(state)) << state;
    for (const char* state : {"S1000", "S1T00", "23000", "", "08", "42P01"})
        EXPECT_FALSE(IsConnectionLostState(state)) << state;
}

TEST_F(ConnectionPoolTest, EntryNotConnectedAnyMoreIsConnectedAgain) {
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    entry->GetConnect()->Disconnect();
    ASSERT_TRUE(Release(entry));
    PooledConnection* again = pool_->GetOpenConnection(Login());
    ASSERT_EQ(again, entry);
    EXPECT_TRUE(again->IsConnected());
    EXPECT_EQ(pool_->GetStatistics().connects, 2u);
    ASSERT_TRUE(Release(again));
}

TEST_F(ConnectionPoolTest, EmptyUserConnectsWithTheStoredLogin) {
    Set("DataSources\\tessaro_sqlite", "UserID", "stored");
    Set("DataSources\\tessaro_sqlite", "Password", PasswordScrambler().Scramble("pw"));
    PooledConnection* entry = pool_->GetOpenConnection(Login("", "given"));
    // The stored login was taken (and moved into the file); the key stays as asked.
    EXPECT_EQ(GetIniString(kDsn, "DBUserID", "<absent>", kLoginStoreFile), "stored");
    EXPECT_EQ(entry->GetKey().user, "");
    EXPECT_EQ(entry->GetKey().password, "given");
    ASSERT_TRUE(Release(entry));

    // A named user never consults the store.
    Set("DataSources\\other", "UserID", "x");
    PooledConnection* named = pool_->GetOpenConnection(Login("me", "", kDsn));
    EXPECT_EQ(Get("DataSources\\other", "UserID"), "x");
    ASSERT_TRUE(Release(named));
}

class LockHeldPool : public ConnectionPool {
public:
    explicit LockHeldPool(CRegistrySettings* settings) : ConnectionPool(settings, 50) {}
    tessaro::platform::TimedMutex& Mutex() { return m_mutex; }
};

TEST_F(ConnectionPoolTest, LockTimeoutsAreReportedInWords) {
    LockHeldPool pool(settings());
    PooledConnection* entry = pool.GetOpenConnection(Login());
    std::atomic<bool> locked{false}, done{false};
    std::thread holder([&] {
        pool.Mutex().lock();
        locked = true;
        while (!done) std::this_thread::yield();
        pool.Mutex().unlock();
    });
    while (!locked) std::this_thread::yield();
    auto get = Thrown([&] { pool.GetConnection(Login()); });
    auto release = Thrown([&] { pool.ReleaseConnection(entry, true); });
    done = true;
    holder.join();
    EXPECT_EQ(get.first, "Error attempting to retrieve connection for data source.<P>");
    EXPECT_EQ(get.second, "The mutex was not signaled within the expected time period.<P>");
    EXPECT_EQ(release.first, "Error attempting to release connection.<P>");
    EXPECT_EQ(release.second, get.second);
    delete pool.ReleaseConnection(entry, true);
}

TEST(OdbcTraceFile, NamedAfterTheLogFolder) {
    EXPECT_EQ(ODBCTraceFileName("C:\\logs"), "C:\\logs\\ODBC.LOG");
    EXPECT_EQ(ODBCTraceFileName("C:\\logs\\"), "C:\\logs\\ODBC.LOG");
    EXPECT_EQ(ODBCTraceFileName(""), "\\ODBC.LOG");
    EXPECT_EQ(ODBCTraceDiskPath("/var/log/ts", false), "/var/log/ts/ODBC.LOG");
    EXPECT_EQ(ODBCTraceDiskPath("", true), tessaro::platform::WindowsDirectory() + "/ODBC.LOG");
}

TEST_F(ConnectionPoolTest, TraceSettingIsAppliedAtEveryHandOut) {
    // The driver manager answers "on" for every connection once asked, so the trace file
    // tells whether the setting reached the connection.
    PooledConnection* entry = pool_->GetOpenConnection(Login());
    std::string before = entry->GetConnect()->GetConnectOptionString(SQL_OPT_TRACEFILE);
    ASSERT_TRUE(Release(entry));
    Set("Logging", "LogFilePath", home() + "\\log");
    Set("Server", "TraceODBC", "1");
    entry = pool_->GetOpenConnection(Login());
    EXPECT_STREQ(entry->GetConnect()->GetConnectOptionString(SQL_OPT_TRACEFILE), (home() + "/log/ODBC.LOG").c_str());
    EXPECT_NE(before, home() + "/log/ODBC.LOG");
    Set("Server", "TraceODBC", "0");
    ASSERT_TRUE(Release(entry));
    entry = pool_->GetOpenConnection(Login());
    ASSERT_TRUE(Release(entry));
}

TEST_F(ConnectionPoolTest, OpenedAndClosedConnectionsAreTracedWithThePoolsSize) {
    std::filesystem::create_directories(home() + "/log");
    Set("Logging", "LogFilePath", home() + "/log");
    Set("Server", "TraceODBC", "1");
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(Release(pool_->GetOpenConnection(Login())));
    EXPECT_FALSE(Release(pool_->GetOpenConnection(Login()), true));
    Set("Server", "TraceODBC", "0");

    std::ifstream in(home() + "/log/ODBC.LOG");
    std::string line, opened, closing;
    int openedCount = 0;
    while (std::getline(in, line)) {
        if (line.find("Opened a connection") != std::string::npos) {
            opened = line;
            ++openedCount;
        }
        if (line.find("Closing a connection") != std::string::npos) closing = line;
    }
    EXPECT_EQ(openedCount, 1);
    EXPECT_NE(opened.find("to data source 'tessaro_sqlite': the pool holds 1 connections, 1 opened since start-up."),
              std::string::npos)
        << opened;
    EXPECT_NE(closing.find("the pool holds 0 connections"), std::string::npos) << closing;
}

TEST_F(ConnectionPoolTest, UnknownServerLoginGivesTheServersLoginFailure) {
    PgTestServer& pg = PgTestServer::Instance();
    REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
    auto [title, detail] =
        Thrown([&] { pool_->GetOpenConnection(Login("no_such_user", "wrong", PgTestServer::kDsn)); });
    EXPECT_EQ(title.rfind("ODBC Error Code = ", 0), 0u) << title;
    EXPECT_NE(detail.find("no_such_user"), std::string::npos) << detail;
    EXPECT_EQ(pool_->GetStatistics().entries, 0u);
}

TEST_F(ConnectionPoolTest, ConnectionKilledByTheServerIsDroppedAtRelease) {
    PgTestServer& pg = PgTestServer::Instance();
    REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
    CDataSourceLogin login = Login(PgTestServer::kUser, "", PgTestServer::kDsn);
    PooledConnection* victim = pool_->GetOpenConnection(login);
    PooledConnection* killer = pool_->GetOpenConnection(login);
    odbcCURSOR* cursor = victim->AllocCursor();
    cursor->ExecDirect("SELECT pg_backend_pid()");
    char pid[32] = {};
    SQLLEN length = 0;
    cursor->BindCol(1, SQL_C_CHAR, pid, sizeof pid, &length);
    cursor->Fetch();
    cursor->Close();
    Exec(killer, std::string("SELECT pg_terminate_backend(") + pid + ")");

    bool odbc = false;
    EXPECT_FALSE(Thrown([&] { Exec(victim, "SELECT 1"); }, &odbc).first.empty());
    EXPECT_TRUE(odbc);
    EXPECT_EQ(pool_->ReleaseConnection(victim, false), victim);
    delete victim;
    EXPECT_TRUE(Release(killer));
    EXPECT_EQ(pool_->GetStatistics().entries, 1u);
}

TEST(ConnectionPoolWithoutSettings, KeepsConnectionsByDefault) {
    OdbcTestConfig::Instance();
    ConnectionPool pool(nullptr);
    EXPECT_EQ(pool.GetMaintainConnect("x"), 1);
}

}  // namespace
}  // namespace tessaro::database::testing
