// SQLite's process-wide settings, which it accepts only before it initialises, and its
// start. The registry store starts SQLite here while the program's static objects are made
// (before main, before any thread), so every later user in the process runs with these
// settings: the store's connections and the SQLite ODBC driver's, which share the library.
#pragma once

namespace tessaro::platform {

// Turns SQLite's memory statistics off (they serialise every allocation of every connection
// on one process-wide mutex; nothing here reads them) and initialises SQLite. Idempotent and
// thread-safe; once SQLite has been started by anyone the settings stay as they are,
// quietly. False when SQLite cannot be initialised.
bool StartSqlite();

}  // namespace tessaro::platform
