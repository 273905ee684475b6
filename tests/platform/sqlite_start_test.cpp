#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "platform/sqlite_start.h"

using namespace tessaro::platform;

namespace {

// A connection that does real work: a table of a few thousand rows, an index and a query.
void Exercise(sqlite3* db) {
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (id INTEGER, name TEXT)", nullptr, nullptr, nullptr), SQLITE_OK);
    std::string insert = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000) "
                         "INSERT INTO t SELECT i, printf('row %d', i) FROM n";
    ASSERT_EQ(sqlite3_exec(db, insert.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE INDEX t_name ON t (name)", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "SELECT count(*) FROM t WHERE name LIKE 'row 1%'", nullptr, nullptr, nullptr),
              SQLITE_OK);
}

}  // namespace

// SQLite was started before this test ran (the registry store starts it while the program's
// static objects are made); SQLite's own counters show that it keeps no memory statistics:
// with them on, a connection's allocations add up to megabytes here.
TEST(SqliteStartTest, SqliteKeepsNoMemoryStatisticsInAProgramThatLinksTheStore) {
    ASSERT_TRUE(StartSqlite());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    Exercise(db);
    sqlite3_int64 current = -1, highest = -1;
    ASSERT_EQ(sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &current, &highest, 0), SQLITE_OK);
    EXPECT_EQ(current, 0);
    EXPECT_EQ(highest, 0);
    EXPECT_EQ(sqlite3_memory_used(), 0);
    sqlite3_close(db);
}

// Asked again once SQLite runs (its settings are then fixed), the start answers quietly.
TEST(SqliteStartTest, StartingAgainAfterSqliteRunsIsQuiet) {
    // Started first, as every program of the system does: opened before it, SQLite would keep
    // its statistics for the rest of this process, whatever test runs next.
    ASSERT_TRUE(StartSqlite());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    EXPECT_TRUE(StartSqlite());
    EXPECT_TRUE(StartSqlite());
    EXPECT_EQ(sqlite3_exec(db, "SELECT 1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}
