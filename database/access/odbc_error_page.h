// The engine's ODBC error handler: every failing ODBC call on the engine's own objects
// becomes a CWebODBCException naming the SQLSTATE, with a hint for common mistakes.
#pragma once

#include <string>

#include "database/odbc/odbc_base.h"
#include "support/web_message.h"

// Chosen by SQLSTATE 07001.
inline constexpr const char* kHintMissingField =
    "<B>Hint</B>: The cause of this error is usually that your query contains a reference to a "
    "field which does not exist. You should verify that the fields included in your query exist "
    "and that you have specified their names correctly.";
// Chosen by "file already in use" in the message.
inline constexpr const char* kHintExclusiveMode =
    "<B>Hint</B>: The cause of this error is usually that you have opened your database in its "
    "native environment using exclusive mode. This is a particular problem for Microsoft Access "
    "because the default open mode for all databases (unless you specify otherwise) is "
    "exclusive. You can (and should) override this behavior in Access using the Multiuser/ODBC "
    "section of the Options dialog.<P>Another possible cause is that you have set up your ODBC "
    "data source to be opened in exclusive mode. Unless you only want one user at a time to "
    "access your database you should never set ODBC data sources to be opened in exclusive mode.";
// Chosen by "'(unknown)'" in the message. The hints name what configures ODBC here: the
// odbc.ini file and the variables the engine service was installed with.
inline constexpr const char* kHintMovedDataSource =
    "<B>Hint</B>: The cause of this error is usually either (1) You have used an incorrect data "
    "source name, or (2) You have changed the location of your data source either by moving it "
    "or renaming one of its parent directories. After moving a data source make sure you update "
    "its entry (the Database line) in the odbc.ini file the engine reads.<P>";
// Chosen by "source name not found" in the message.
inline constexpr const char* kHintCreateDataSource =
    "<B>Hint</B>: In order to use ODBC data sources with Tessaro you must create the data source "
    "as a section of the odbc.ini file the engine reads: the file named by ODBCINI, with its "
    "drivers in odbcinst.ini in the folder named by ODBCSYSINI (scripts/run uses "
    "run-home/odbc/), or the system's /etc/odbc.ini when they are not set. The engine service "
    "takes these variables from the environment of tsengine -INSTALL.<P>";

// The hint for a diagnostic; "" when none applies.
CWebMessage ChooseSqlStateHint(const std::string& sqlState, const std::string& message);

// "ODBC Error Code = <state> (<text>)".
CWebMessage ODBCErrorTitle(const std::string& sqlState);
// The driver's message as text (it can quote request data), then "<P>" and the hint.
CWebMessage ODBCErrorDetail(const std::string& sqlState, const std::string& message);

// The library's error handler: throws new CWebODBCException(title, detail). Never returns.
[[noreturn]] void SqlStateHints(short rc, unsigned char* sqlState, long nativeError, unsigned char* message,
                                odbcBASE* source);

// Gives an ODBC object the engine's error policy: retrieve and report on, SqlStateHints.
void InstallEngineErrorPolicy(odbcBASE& object);
