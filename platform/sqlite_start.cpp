#include "platform/sqlite_start.h"

#include <sqlite3.h>

namespace tessaro::platform {

namespace {

bool Start() {
    // Refused (SQLITE_MISUSE) when SQLite was initialised already: it then keeps its own.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return sqlite3_initialize() == SQLITE_OK;
}

}  // namespace

bool StartSqlite() {
    static const bool started = Start();
    return started;
}

}  // namespace tessaro::platform
