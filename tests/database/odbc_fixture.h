// Shared set-up of the library's tests: a private ODBC configuration, an environment and a
// connection to either the SQLite test database or the private PostgreSQL server.
#pragma once

#include "database/odbc/odbc_connect.h"
#include "database/odbc/odbc_cursor.h"
#include "database/odbc/odbc_env.h"
#include "tests/common/ci_require.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tessaro::database::testing {

enum class Backend { SQLite, Postgres };

inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

inline char* C(const char* s) {
    return const_cast<char*>(s);
}

class OdbcFixture : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        OdbcTestConfig::Instance();
        const char* dsn = OdbcTestConfig::kDefaultDsn;
        if (GetParam() == Backend::Postgres) {
            PgTestServer& pg = PgTestServer::Instance();
            REQUIRE_OR_SKIP(pg.Available(), "PostgreSQL not available: " << pg.Reason());
            dsn = PgTestServer::kDsn;
        }
        env = std::make_unique<odbcENV>();
        ASSERT_EQ(env->lastRC(), SQL_SUCCESS);
        conn = env->AllocConnect(C(dsn), C(PgTestServer::kUser), C(""), 0);
        ASSERT_NE(conn, nullptr);
        ASSERT_TRUE(conn->Connected()) << conn->ErrMsg();
    }

    void TearDown() override {
        if (env && conn) env->DeAllocConnect(conn);
        conn = nullptr;
        env.reset();
    }

    bool IsPostgres() const { return GetParam() == Backend::Postgres; }

    // Runs a statement that returns no rows; fails the test when it does not succeed.
    void Exec(const std::string& sql) {
        odbcSTMT stmt(conn, sql.c_str(), 0, 1, nullptr, 0, nullptr);
        ASSERT_FALSE(stmt.ErrorFlag()) << sql << ": " << stmt.ErrMsg();
    }

    void Recreate(const std::string& table, const std::string& columns) {
        Exec("DROP TABLE IF EXISTS " + table);
        Exec("CREATE TABLE " + table + " (" + columns + ")");
    }

    std::unique_ptr<odbcENV> env;
    odbcCONNECT* conn = nullptr;
};

#define TS_ODBC_BACKENDS(Fixture)                                                                \
    INSTANTIATE_TEST_SUITE_P(Drivers, Fixture,                                                   \
                             ::testing::Values(::tessaro::database::testing::Backend::SQLite,    \
                                               ::tessaro::database::testing::Backend::Postgres), \
                             ::tessaro::database::testing::BackendName)

}  // namespace tessaro::database::testing
