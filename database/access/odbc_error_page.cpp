#include "database/access/odbc_error_page.h"

#include "database/odbc/odbc_sqlstate.h"
#include "database/odbc/sqlstate_texts.h"
#include "support/web_exception.h"

namespace {

std::string Text(const unsigned char* text) {
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

}  // namespace

CWebMessage ChooseSqlStateHint(const std::string& sqlState, const std::string& message) {
    if (sqlState == "07001") return kHintMissingField;
    if (message.find("file already in use") != std::string::npos) return kHintExclusiveMode;
    if (message.find("'(unknown)'") != std::string::npos) return kHintMovedDataSource;
    if (message.find("source name not found") != std::string::npos) return kHintCreateDataSource;
    return {};
}

CWebMessage ODBCErrorTitle(const std::string& sqlState) {
    // Drivers answer in ODBC 3 or their own states; the texts are kept by ODBC 2 state.
    char odbc2[6];
    std::string text = GetSqlStateText(tessaro::database::Odbc2SqlState(sqlState.c_str(), odbc2));
    return CWebMessage("ODBC Error Code = ") + sqlState + " (" + text + ")";
}

CWebMessage ODBCErrorDetail(const std::string& sqlState, const std::string& message) {
    return CWebMessage::Value(message) + "<P>" + ChooseSqlStateHint(sqlState, message);
}

void SqlStateHints(short, unsigned char* sqlState, long, unsigned char* message, odbcBASE*) {
    std::string state = Text(sqlState), text = Text(message);
    throw new CWebODBCException(ODBCErrorTitle(state), ODBCErrorDetail(state, text));
}

void InstallEngineErrorPolicy(odbcBASE& object) {
    object.AutoRetrieve(1);
    object.AutoReport(1);
    object.SetErrHandler(SqlStateHints);
}
