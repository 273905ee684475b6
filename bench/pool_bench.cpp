// What the connection pool saves: N threads each run a one-row SQLite query per iteration,
// once through the request path (take a pooled connection, query, give it back) and once
// connecting and disconnecting for every query. items_per_second is queries per second.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "database/access/connection_pool.h"
#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "database/access/request_data_sources.h"
#include "support/registry.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/temp_home.h"

namespace {

using tessaro::database::OdbcTestConfig;

const CDataSourceLogin kLogin{OdbcTestConfig::kDefaultDsn, "bench", ""};

// Settings and pool as the engine has them: built once, shared by every request thread.
struct Engine {
    std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
    CRegistrySettings settings{root.get()};
    ConnectionPool pool{&settings};
};

Engine* g_engine = nullptr;

bool FetchOneRow(odbcCURSOR* cursor) {
    cursor->ExecDirect("SELECT 1");
    char text[8] = {};
    SQLLEN length = 0;
    cursor->BindCol(1, SQL_C_CHAR, text, sizeof text, &length);
    bool ok = cursor->Fetch() == SQL_SUCCESS && text[0] == '1';
    cursor->Close();
    return ok;
}

void BM_PooledRequestQuery(benchmark::State& state) {
    for (auto _ : state) {
        CRequestDataSources request(&g_engine->settings, &g_engine->pool);
        if (!FetchOneRow(request.AllocCursor(kLogin))) state.SkipWithError("query failed");
        request.ReleaseConnections(false);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ConnectPerQuery(benchmark::State& state) {
    odbcENV& env = g_engine->pool.GetEnvironment();
    for (auto _ : state) {
        odbcCONNECT* connect = env.AllocConnect(const_cast<char*>(kLogin.dataSource.c_str()),
                                                const_cast<char*>("bench"), const_cast<char*>(""), 0);
        if (!connect || !connect->Connected()) {
            state.SkipWithError("connect failed");
            delete connect;
            break;
        }
        odbcCURSOR* cursor =
            connect->AllocCursor(static_cast<char*>(nullptr), 0, 0, 0, nullptr, 0, nullptr, nullptr, 0, nullptr);
        if (!FetchOneRow(cursor)) state.SkipWithError("query failed");
        delete cursor;
        env.DeAllocConnect(connect);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PooledRequestQuery)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_ConnectPerQuery)->ThreadRange(1, 8)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    const tessaro::test::TempHome home;
    if (home.path().empty()) return 1;
    OdbcTestConfig::Instance();
    int code = 0;
    try {
        g_engine = new Engine;
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } catch (CException* e) {
        fprintf(stderr, "%s\n", e->GetErrorMessage().c_str());
        e->Delete();
        code = 1;
    }
    delete g_engine;
    return code;
}
