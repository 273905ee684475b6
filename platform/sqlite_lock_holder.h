// SQLite coordinates processes with POSIX record locks, which belong to the
// process: closing ANY descriptor of a database file drops every lock the
// process holds on it. Anything else in the process that opens and closes the
// registry store (or its -shm file) would then make other processes believe the
// engine had gone, and they would checkpoint and delete the WAL files it still
// writes into.
//
// KeepSqliteLocksPerProcess() routes SQLite's lock calls to one open-file-
// description lock holder per file instead: the file opened anew (a description
// of its own, never shared with a forked process) and closed only when SQLite's
// bookkeeping has closed all of its own descriptors of that file. Other processes still see ordinary conflicting locks; closes elsewhere in
// this process no longer touch them. Installed once, before the first store opens
// and before the first ODBC environment (a driver may be SQLite).
#pragma once

namespace tessaro::platform {

// Idempotent and thread-safe; false when SQLite's file layer cannot be hooked
// (the store then runs with plain process locks).
bool KeepSqliteLocksPerProcess();

}  // namespace tessaro::platform
