#include "tests/database/odbc_fixture.h"

#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tessaro::database::testing {
namespace {

const char* Text(const unsigned char* s) {
    return reinterpret_cast<const char*>(s);
}

class OdbcConnect : public OdbcFixture {
protected:
    const char* Dsn() const { return IsPostgres() ? PgTestServer::kDsn : OdbcTestConfig::kDefaultDsn; }
    long CountRows(const std::string& table) {
        std::string sql = "SELECT COUNT(*) FROM " + table;
        odbcCURSOR cur(conn, C(sql.c_str()), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
        if (cur.ErrorFlag() || !cur.GetFirst()) return -1;
        sCOLBIND* info = cur.ColResultInfo(1);
        if (info && info->fCType == SQL_C_CHAR) return std::atol(cur.ColResultAsLPSTR(1));
        return cur.ColResultAsLong(1);
    }
};

TEST_P(OdbcConnect, DisconnectAndReconnect) {
    EXPECT_EQ(conn->Disconnect(), SQL_SUCCESS);
    EXPECT_FALSE(conn->Connected());
    // Not connected: nothing is called, the previous code comes back.
    conn->SignalRC(-1002);
    EXPECT_EQ(conn->Disconnect(), -1002);
    EXPECT_EQ(conn->Connect(C(Dsn()), C(PgTestServer::kUser), C("")), SQL_SUCCESS);
    EXPECT_TRUE(conn->Connected());
    // Connecting a connected connection disconnects it first.
    EXPECT_TRUE(odbcSucceeded(conn->Connect(C(Dsn()), C(PgTestServer::kUser), C(""))));
    EXPECT_TRUE(conn->Connected());
}

TEST_P(OdbcConnect, FailedConnectLeavesItDisconnectedWithDiagnostic) {
    conn->AutoRetrieve(1);
    EXPECT_EQ(conn->Connect(C("no_such_dsn"), C("u"), C("p")), SQL_ERROR);
    EXPECT_FALSE(conn->Connected());
    EXPECT_STREQ(Text(conn->SqlState()), "IM002");
    EXPECT_NE(std::strstr(Text(conn->ErrMsg()), "source name not found"), nullptr) << Text(conn->ErrMsg());
}

TEST_P(OdbcConnect, ConnectionUsesTheDriversOwnCursors) {
    EXPECT_EQ(conn->GetConnectOption(SQL_ODBC_CURSORS), static_cast<SQLULEN>(SQL_CUR_USE_DRIVER));
    EXPECT_EQ(conn->GetConnectOption(SQL_AUTOCOMMIT), static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON));
}

TEST_P(OdbcConnect, StringOptionLandsInABoundedBuffer) {
    const char* text = conn->GetConnectOptionString(SQL_OPT_TRACEFILE);
    ASSERT_NE(text, nullptr);
    EXPECT_LE(std::strlen(text), static_cast<size_t>(SQL_MAX_OPTION_STRING_LENGTH));
}

TEST_P(OdbcConnect, FailingStatementCarriesSqlStateAndText) {
    odbcSTMT stmt(conn, "SELECT * FROM no_such_table_x", 0, 1, nullptr, 0, nullptr);
    EXPECT_TRUE(stmt.ErrorFlag());
    EXPECT_EQ(stmt.lastRC(), SQL_ERROR);
    EXPECT_EQ(std::strlen(Text(stmt.SqlState())), 5u);
    EXPECT_NE(std::strstr(Text(stmt.ErrMsg()), "no_such_table_x"), nullptr) << stmt.ErrMsg();
}

struct Reported {
    static inline std::vector<std::string> states;
    static void Handler(short, unsigned char* state, long, unsigned char*, odbcBASE*) {
        states.push_back(reinterpret_cast<char*>(state));
    }
    [[noreturn]] static void Throwing(short, unsigned char*, long, unsigned char*, odbcBASE*) {
        throw std::runtime_error("reported");
    }
};

TEST_P(OdbcConnect, ConnectionPolicyReachesItsStatements) {
    Reported::states.clear();
    conn->AutoRetrieve(1);
    conn->AutoReport(1);
    conn->SetErrHandler(Reported::Handler);
    odbcSTMT stmt(conn, "SELECT * FROM no_such_table_y", 0, 1, nullptr, 0, nullptr);
    EXPECT_TRUE(Reported::states.empty()) << Reported::states[0];  // construction: not reported
    EXPECT_EQ(stmt.GetErrHandler(), Reported::Handler);
    stmt.ExecDirect("SELECT * FROM no_such_table_y");
    ASSERT_FALSE(Reported::states.empty());
    EXPECT_EQ(Reported::states[0].size(), 5u);
}

TEST_P(OdbcConnect, ThrowingHandlerIsNeverCalledFromDestructors) {
    conn->AutoRetrieve(2);
    conn->AutoReport(2);
    conn->SetErrHandler(Reported::Throwing);
    auto* cur = conn->AllocCursor(C("SELECT 1"), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
    ASSERT_NE(cur, nullptr);
    conn->DeAllocCursor(cur);
    env->DeAllocConnect(conn);  // disconnects and frees with reporting silenced
    conn = nullptr;
}

TEST_P(OdbcConnect, CommitAndRollBack) {
    Recreate("tx_test", "n INTEGER");
    ASSERT_EQ(conn->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    Exec("INSERT INTO tx_test VALUES (1)");
    EXPECT_EQ(conn->RollBack(), SQL_SUCCESS);
    EXPECT_EQ(CountRows("tx_test"), 0);
    Exec("INSERT INTO tx_test VALUES (2)");
    EXPECT_EQ(conn->Commit(), SQL_SUCCESS);
    Exec("INSERT INTO tx_test VALUES (3)");
    EXPECT_TRUE(odbcSucceeded(env->RollBack()));  // every connection of the environment
    EXPECT_EQ(CountRows("tx_test"), 1);
    Exec("INSERT INTO tx_test VALUES (4)");
    EXPECT_TRUE(odbcSucceeded(env->Commit()));
    conn->SetConnectOption(SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
    EXPECT_EQ(CountRows("tx_test"), 2);
}

TEST_P(OdbcConnect, DriverConnectFamily) {
    std::string in = std::string("DSN=") + Dsn() + ";UID=" + PgTestServer::kUser + ";PWD=;";
    char out[512] = {};
    EXPECT_TRUE(odbcSucceeded(conn->DriverConnectNoPrompt(C(in.c_str()), out, sizeof out))) << conn->ErrMsg();
    EXPECT_TRUE(conn->Connected());
    EXPECT_NE(std::strstr(out, Dsn()), nullptr) << out;
    EXPECT_TRUE(odbcSucceeded(conn->DriverConnectCompleteRequired(nullptr, C(in.c_str()), out, sizeof out)));
    EXPECT_TRUE(conn->Connected());

    // Prompting needs a window; there are none on this platform.
    EXPECT_FALSE(odbcSucceeded(conn->DriverConnectPrompt(nullptr, out, sizeof out)));
    EXPECT_FALSE(conn->Connected());
    conn->SignalRC(SQL_SUCCESS);
    int window = 0;
    EXPECT_EQ(conn->DriverConnectComplete(&window, C(in.c_str()), out, sizeof out), SQL_ERROR);
    EXPECT_EQ(conn->lastRC(), SQL_SUCCESS);  // nothing stored
}

TEST_P(OdbcConnect, Capabilities) {
    EXPECT_STREQ(conn->GetIdentifierQuoteMark(), "\"");
    EXPECT_EQ(conn->lastRC(), SQL_SUCCESS);
    EXPECT_NE(conn->GetFunctions(SQL_API_SQLBINDPARAMETER), 0);
    EXPECT_NE(conn->GetFunctions(SQL_API_SQLEXTENDEDFETCH), 0);
    if (!IsPostgres()) {
        EXPECT_EQ(conn->CursorsCanScroll(), 1);
        EXPECT_EQ(conn->SetPosSupport(), 0x1fu);
        EXPECT_EQ(conn->PosStmtSupport(), 0u);
        EXPECT_EQ(conn->GetFunctions(SQL_API_SQLCOLUMNPRIVILEGES), 0);
    }
    char version[11] = {};
    EXPECT_EQ(conn->GetInfoString(SQL_DRIVER_ODBC_VER, version, sizeof version, nullptr), SQL_SUCCESS);
    EXPECT_EQ(version[0], '0');
}

TEST_P(OdbcConnect, FailingInfoQueryAnswersZeroQuietly) {
    Reported::states.clear();
    conn->AutoRetrieve(2);
    conn->AutoReport(2);
    conn->SetErrHandler(Reported::Handler);
    EXPECT_EQ(conn->GetInfoUDWord(60000), 0u);  // not an information type
    EXPECT_FALSE(conn->sqlsuccess());
    size_t reported = Reported::states.size();
    EXPECT_GE(reported, 1u);
    // The quiet answers never report and leave the connection without error where said.
    EXPECT_EQ(conn->GetIdentifierCase() != 0, true);
    EXPECT_EQ(conn->lastRC(), SQL_SUCCESS);
    EXPECT_EQ(Reported::states.size(), reported);
}

TEST_P(OdbcConnect, NativeSqlNeverReachesACrashingDriver) {
    char out[64] = {};
    long len = 0;
    EXPECT_TRUE(odbcSucceeded(conn->NativeSql(C("SELECT 1"), out, sizeof out, &len)));
    EXPECT_STREQ(out, "SELECT 1");
    EXPECT_EQ(len, 8);
}

TEST_P(OdbcConnect, EnvironmentListsDataSourcesOnceEach) {
    EXPECT_EQ(env->DSN(), nullptr);
    EXPECT_EQ(env->Description(), nullptr);
    std::multiset<std::string> seen;
    for (short rc = env->FirstDataSource(); rc != SQL_NO_DATA_FOUND; rc = env->NextDataSource()) {
        ASSERT_TRUE(odbcSucceeded(rc));
        seen.insert(env->DSN());
        ASSERT_LT(seen.size(), 100u);
    }
    EXPECT_EQ(seen.count(OdbcTestConfig::kDefaultDsn), 1u);
    EXPECT_EQ(seen.count(Dsn()), 1u);

    std::set<std::string> drivers;
    for (short rc = env->FirstDriver(); rc != SQL_NO_DATA_FOUND; rc = env->NextDriver()) {
        ASSERT_TRUE(odbcSucceeded(rc));
        drivers.insert(env->Driver());
        ASSERT_LT(drivers.size(), 100u);
    }
    EXPECT_EQ(drivers.count(kSQLiteDriverName), 1u);
}

TEST_P(OdbcConnect, ConnectionOutlivesItsEnvironment) {
    env.reset();  // the connection only forgets it
    EXPECT_TRUE(conn->Connected());
    odbcCURSOR cur(conn, C("SELECT 1"), 0, 1, 1, nullptr, 0, nullptr, nullptr, 0, nullptr);
    EXPECT_TRUE(cur.GetFirst());
    cur.Close();
    delete conn;
    conn = nullptr;
}

TEST_P(OdbcConnect, StatementOutlivesItsConnection) {
    auto* stmt = conn->AllocStmt(C("SELECT 1"), 0, 1, nullptr, 0, nullptr);
    ASSERT_NE(stmt, nullptr);
    env->DeAllocConnect(conn);
    conn = nullptr;
    EXPECT_EQ(stmt->GetConnect(), nullptr);
    EXPECT_EQ(stmt->GetHstmt(), nullptr);
    EXPECT_FALSE(odbcSucceeded(stmt->Execute()));
    delete stmt;
}

TEST_P(OdbcConnect, DisconnectForgetsStatementHandles) {
    auto* stmt = conn->AllocStmt(C("SELECT 1"), 0, 1, nullptr, 0, nullptr);
    ASSERT_NE(stmt, nullptr);
    stmt->Close();
    // SQLite refuses to disconnect while a statement exists; the statement then keeps its
    // handle. Where the driver manager frees the statement, the object forgets the handle.
    if (odbcSucceeded(conn->Disconnect())) {
        EXPECT_EQ(stmt->GetHstmt(), nullptr);
        EXPECT_FALSE(conn->Connected());
    } else {
        EXPECT_NE(stmt->GetHstmt(), nullptr);
        EXPECT_TRUE(conn->Connected());
        EXPECT_TRUE(odbcSucceeded(stmt->ExecDirect("SELECT 2")));
    }
    conn->DeAllocStmt(stmt);
}

TS_ODBC_BACKENDS(OdbcConnect);

TEST(OdbcConnectWithoutHandle, OperationsSignalMemoryError) {
    OdbcTestConfig::Instance();
    odbcCONNECT conn(static_cast<odbcENV*>(nullptr), C("x"), C("y"), C("z"), 0);
    EXPECT_EQ(conn.GetHdbc(), nullptr);
    EXPECT_EQ(conn.Commit(), SQL_ERROR);
    EXPECT_STREQ(reinterpret_cast<const char*>(conn.SqlState()), "S1001");
    EXPECT_EQ(conn.RollBack(), SQL_ERROR);
    EXPECT_EQ(conn.Connect(C("a"), C("b"), C("c")), SQL_ERROR);
    EXPECT_EQ(conn.Disconnect(), SQL_ERROR);
}

TEST(OdbcConnectWithoutHandle, AllocConnectWithoutLoginDoesNotConnect) {
    OdbcTestConfig::Instance();
    odbcENV env;
    odbcCONNECT* conn = env.AllocConnect(static_cast<char*>(nullptr), nullptr, nullptr, 0);
    ASSERT_NE(conn, nullptr);
    EXPECT_NE(conn->GetHdbc(), nullptr);
    EXPECT_FALSE(conn->Connected());
    EXPECT_EQ(conn->GetEnv(), &env);
    env.DeAllocConnect(conn);
}

TEST(OdbcConnectWithoutHandle, ThreadsSharingAnEnvironmentKeepItsRegistryWhole) {
    // The pool's request threads make and free connections of one environment at once.
    OdbcTestConfig::Instance();
    odbcENV env;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&env] {
            for (int i = 0; i < 300; ++i)
                env.DeAllocConnect(env.AllocConnect(static_cast<char*>(nullptr), nullptr, nullptr, 0));
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(env.ConnectionCount(), 0u);
    odbcCONNECT* conn = env.AllocConnect(static_cast<char*>(nullptr), nullptr, nullptr, 0);
    EXPECT_EQ(env.ConnectionCount(), 1u);
    env.DeAllocConnect(conn);
}

}  // namespace
}  // namespace tessaro::database::testing
