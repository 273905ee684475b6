#include "database/access/odbc_error_page.h"

#include <gtest/gtest.h>

#include <string>

#include "database/odbc/sqlstate_texts.h"
#include "support/web_exception.h"

namespace {

struct PageCase {
    const char* state;
    const char* message;
    const char* title;
    std::string detail;
};

TEST(OdbcErrorPage, TitleAndDetailFollowStateAndMessage) {
    const std::string unixOdbcMissing =
        "[unixODBC][Driver Manager]Data source name not found and no default driver specified";
    const PageCase cases[] = {
        {"S1000", "boom", "ODBC Error Code = S1000 (General error)", "boom<P>"},
        // ODBC 3 and server states are looked up by their ODBC 2 counterpart.
        {"42P01", "no table", "ODBC Error Code = 42P01 (Base table not found)", "no table<P>"},
        {"HY000", "odbc3", "ODBC Error Code = HY000 (General error)", "odbc3<P>"},
        {"XX123", "unknown", "ODBC Error Code = XX123 (General error)", "unknown<P>"},
        {"ZZ999", "unmapped", "ODBC Error Code = ZZ999 ()", "unmapped<P>"},
        {"s1000", "lower", "ODBC Error Code = s1000 ()", "lower<P>"},
        {"08001", "cannot connect", "ODBC Error Code = 08001 (Unable to connect to data source)", "cannot connect<P>"},
        {"07001", "file already in use", "ODBC Error Code = 07001 (Wrong number of parameters)",
         std::string("file already in use<P>") + kHintMissingField},
        {"S1000", "the file already in use", "ODBC Error Code = S1000 (General error)",
         std::string("the file already in use<P>") + kHintExclusiveMode},
        {"S1000", "'(unknown)' source name not found", "ODBC Error Code = S1000 (General error)",
         std::string("&#39;(unknown)&#39; source name not found<P>") + kHintMovedDataSource},
        {"IM002", unixOdbcMissing.c_str(),
         "ODBC Error Code = IM002 (Data source not found and no default driver specified)",
         unixOdbcMissing + "<P>" + kHintCreateDataSource},
        {"S1000", "Source Name Not Found", "ODBC Error Code = S1000 (General error)", "Source Name Not Found<P>"},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " / " + c.message);
        EXPECT_EQ(ODBCErrorTitle(c.state).Html(), c.title);
        EXPECT_EQ(ODBCErrorDetail(c.state, c.message).Html(), c.detail);
    }
}

TEST(OdbcErrorPage, DriverMessageIsEscapedButHintKeepsItsMarkup) {
    std::string detail = ODBCErrorDetail("IM002", "DSN <b>\"x\"</b> & source name not found").Html();
    EXPECT_EQ(detail.find("<b>"), std::string::npos);
    EXPECT_NE(detail.find("DSN &lt;b&gt;"), std::string::npos);
    EXPECT_NE(detail.find("&amp; source name not found<P><B>Hint</B>:"), std::string::npos);
}

TEST(OdbcErrorPage, HandlerThrowsOdbcExceptionWithThePage) {
    unsigned char state[] = "22012";
    unsigned char message[] = "divide by zero";
    try {
        SqlStateHints(-1, state, 0, message, nullptr);
        FAIL() << "no exception";
    } catch (CWebException* e) {
        EXPECT_NE(dynamic_cast<CWebODBCException*>(e), nullptr);
        EXPECT_EQ(e->GetMessage(), "ODBC Error Code = 22012 (Division by zero)<P>");
        EXPECT_EQ(e->GetDetail(), "divide by zero<P><P>");
        e->Delete();
    }
}

TEST(OdbcErrorPage, HandlerToleratesMissingTexts) {
    try {
        SqlStateHints(-1, nullptr, 0, nullptr, nullptr);
        FAIL() << "no exception";
    } catch (CWebException* e) {
        EXPECT_EQ(e->GetMessage(), "ODBC Error Code =  ()<P>");
        e->Delete();
    }
}

TEST(SqlStateTexts, KnownStatesHaveTheirTextsAndOthersNone) {
    const std::pair<const char*, const char*> rows[] = {
        {"01000", "General warning"},
        {"08S01", "Communication link failure"},
        {"22012", "Division by zero"},
        {"23000", "Integrity constraint violation"},
        {"37000", "Syntax error or access violation"},
        {"S0002", "Base table not found"},
        {"S0022", "Column not found"},
        {"S1T00", "Timeout expired"},
        {"IM006", ""},
        {"HY000", ""},
        {"", ""},
        {"S1000 ", ""},
    };
    for (const auto& [state, text] : rows) EXPECT_EQ(GetSqlStateText(state), text) << state;
}

}  // namespace
