// A template site with a SQLite data source holding a small people table, the
// connection pool and the expression language: pages run as the engine runs them.
#pragma once

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "database/access/connection_pool.h"
#include "engine/expressions/expression_driver.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/template_page.h"
#include "template_test_site.h"
#include "tests/common/odbc_test_config.h"

class CoreTagsPage : public TemplateSite {
protected:
    void SetUp() override {
        // Made before the site points TMPDIR into this test's home, which goes away.
        auto& config = tessaro::database::OdbcTestConfig::Instance();
        TemplateSite::SetUp();
        static std::atomic<int> counter{0};
        dsn_ = "coretags" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        config.AddSQLiteDsn(dsn_, home() + "/data.db");
        CreateConnectionPool(nullptr);
        CWDBBasePage::SetDataSourceFactory(MakePooledDataSourceSet);
        // The expression language is process-wide; other suites expect the stand-in.
        loadedEvaluator_ = GetExpressionDriver() == nullptr;
        LoadExpressionEvaluator();
        Exec("CREATE TABLE people (id INTEGER, name VARCHAR(20), region VARCHAR(5))");
        Exec("INSERT INTO people VALUES (1, 'Ann', 'A')");
        Exec("INSERT INTO people VALUES (2, 'Bob', 'A')");
        Exec("INSERT INTO people VALUES (3, 'Cy', 'B')");
    }

    void TearDown() override {
        if (loadedEvaluator_) FreeExpressionEvaluator();
        TemplateSite::TearDown();
    }

    void Exec(const std::string& sql) {
        SQLHENV env = nullptr;
        SQLHDBC dbc = nullptr;
        SQLHSTMT stmt = nullptr;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        ASSERT_TRUE(
            SQL_SUCCEEDED(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(dsn_.data()), SQL_NTS, nullptr, 0, nullptr, 0)));
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql;
    }

    PageOutcome Run(const std::string& text, const std::string& query = {}) {
        Write("page.tsm", text);
        return RunPage<CQueryPage>(Script("/page.tsm", query));
    }
    std::string ReadBack(const std::string& relative) {
        std::ifstream in(docs() + "/" + relative);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Query(const std::string& name, const std::string& sql) {
        return "<TSQUERY NAME=\"" + name + "\" DATASOURCE=\"" + dsn_ + "\">" + sql + "</TSQUERY>";
    }

    std::string dsn_;
    bool loadedEvaluator_ = false;
};
