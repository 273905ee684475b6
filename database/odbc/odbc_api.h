// The driver-manager headers and the forward declarations shared by the ODBC class library.
#pragma once

#include <sql.h>
#include <sqlext.h>

class odbcBASE;
class odbcENV;
class odbcCONNECT;
class odbcSTMT;
class odbcCURSOR;
class odbcBLOB;
class odbcCONNLIST;
class odbcSTMTLIST;
struct sCOLBIND;
struct sPARMBIND;

// Stands in for a window handle: the library only passes it along.
using odbcHWND = void*;

// Return codes the library produces itself, beside the driver manager's.
inline constexpr short ODBC_RC_MEMORY = -1000;
inline constexpr short ODBC_RC_BUFFER_TOO_SMALL = -1001;
inline constexpr short ODBC_RC_BAD_PARAMETER = -1002;
inline constexpr short ODBC_RC_NOT_EXTFETCH = -1003;
inline constexpr short ODBC_RC_BLOB_CORRUPT = -1017;
inline constexpr short ODBC_RC_BLOB_CONVERT = -1018;
inline constexpr short ODBC_RC_BLOB_SIGNATURE = -1025;

inline bool odbcSucceeded(short rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}
