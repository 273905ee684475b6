// The report server tsreports: one instance with the window "TS_CrystalServer", running
// one report request at a time on its only thread.
#pragma once

#include <cstdint>
#include <string>

#include "interfaces/report_server.h"

class ConnectionPool;

namespace tessaro::reports {

// The window and messages of the contract with the engine.
using interfaces::kReportServerWindow;
using interfaces::WM_CLOSEREPORTSERVER;
using interfaces::WM_DOREPORT;

// Runs the server until it is told to close; the process's exit code.
int RunReportServer();

// One WM_DOREPORT: runs the request of the folder with a registry root and settings of its
// own (the pool is the server's, not owned). 1 once the response files are written; 0 with
// no response when the folder is no request folder or the registry cannot be opened (both
// logged, as far as the log can still be found).
std::int64_t DoReport(ConnectionPool* pool, const std::string& folder);

}  // namespace tessaro::reports
