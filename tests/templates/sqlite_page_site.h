// A template site with a SQLite data source holding a small people table and the
// connection pool: pages run as the engine runs them.
#pragma once

#include <unistd.h>

#include <atomic>
#include <string>

#include <sql.h>
#include <sqlext.h>

#include "engine/templates/template_page.h"
#include "template_test_site.h"
#include "tests/common/file_text.h"
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
        services().AddConnectionPool(registry());
        Exec("CREATE TABLE people (id INTEGER, name VARCHAR(20), region VARCHAR(5))");
        Exec("INSERT INTO people VALUES (1, 'Ann', 'A')");
        Exec("INSERT INTO people VALUES (2, 'Bob', 'A')");
        Exec("INSERT INTO people VALUES (3, 'Cy', 'B')");
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
    std::string ReadBack(const std::string& relative) { return tessaro::test::ReadFileText(docs() + "/" + relative); }
    std::string Query(const std::string& name, const std::string& sql) {
        return "<TSQUERY NAME=\"" + name + "\" DATASOURCE=\"" + dsn_ + "\">" + sql + "</TSQUERY>";
    }

    std::string dsn_;
};
