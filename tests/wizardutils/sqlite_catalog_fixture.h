// A SQLite data source with two related tables for the wizards' catalogue tests, registered
// in the test programs' private ODBC configuration, plus a fresh runtime root per test.
#pragma once

#include <sqlite3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/common/ci_require.h"
#include "tests/common/odbc_drivers.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/temp_home.h"

namespace tessaro::wizardutils::testing {

inline void RunSql(const std::string& dbPath, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string text = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text;
}

// tsutils, started as a child, loads the ODBC installer library through the driver and
// loses it again when the driver goes, so the driver stack's own allocations show as leaks
// of an unknown module that no suppression can name. Its handlers are checked for leaks in
// the test programs (which suppress the driver stack by name); the child keeps every other
// sanitizer check.
class ChildLeakChecksOff {
public:
    ChildLeakChecksOff() {
        const char* current = std::getenv("ASAN_OPTIONS");
        had_ = current != nullptr;
        saved_ = current ? current : "";
        setenv("ASAN_OPTIONS", (saved_.empty() ? std::string() : saved_ + ":").append("detect_leaks=0").c_str(), 1);
    }
    ~ChildLeakChecksOff() {
        if (had_)
            setenv("ASAN_OPTIONS", saved_.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
    }
    ChildLeakChecksOff(const ChildLeakChecksOff&) = delete;
    ChildLeakChecksOff& operator=(const ChildLeakChecksOff&) = delete;

private:
    bool had_ = false;
    std::string saved_;
};

// "wiz_staff": staff(id, name, dept_id, salary, hired) and dept(dept_id, title) plus a view;
// "wiz_empty": no tables; "wiz_broken": a data source whose driver does not exist.
class SQLiteCatalogTest : public TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        REQUIRE_OR_SKIP(!tessaro::test::SQLiteOdbcDriverPath().empty(), "the SQLite ODBC driver is not installed");
        auto& config = tessaro::database::OdbcTestConfig::Instance();
        std::string db = config.AddSQLiteDsn("wiz_staff");
        RunSql(db,
               "DROP VIEW IF EXISTS staff_names; DROP TABLE IF EXISTS staff; DROP TABLE IF EXISTS dept;"
               "CREATE TABLE dept (dept_id INTEGER PRIMARY KEY, title varchar(40));"
               "CREATE TABLE staff (id INTEGER PRIMARY KEY, name varchar(20), dept_id INTEGER,"
               " salary numeric(10,2), hired DATE, notes TEXT);"
               "CREATE VIEW staff_names AS SELECT name FROM staff;");
        std::string empty = config.AddSQLiteDsn("wiz_empty");
        RunSql(empty, "DROP TABLE IF EXISTS gone; CREATE TABLE gone (x INTEGER); DROP TABLE gone;");
        config.AddDsn("wiz_broken", {{"Driver", "No Such Driver Anywhere"}});
        odbcDir_ = config.Dir();
    }

    std::string odbcDir_;
    ChildLeakChecksOff childLeakChecks_;
};

}  // namespace tessaro::wizardutils::testing
