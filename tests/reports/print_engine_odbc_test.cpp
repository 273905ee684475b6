// The print engine reading its table through ODBC: through the connection handed over with
// PELogOnSQLServerWithPrivateInfo, through a log-on of its own, and a log-on that fails.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include "interfaces/print_api.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/odbc_drivers.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/temp_home.h"

namespace {

constexpr const char* kDsn = "tsprint_staff";

using tessaro::test::ReadFileText;

class PrintEngineOdbc : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(!tessaro::test::SQLiteOdbcDriverPath().empty(), "SQLite ODBC driver not installed");
        tessaro::database::OdbcTestConfig::Instance().AddSQLiteDsn(kDsn);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env)));
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc)));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(m_dbc, (SQLCHAR*)kDsn, SQL_NTS, nullptr, 0, nullptr, 0)));
        for (const char* sql :
             {"DROP TABLE IF EXISTS staff",
              "CREATE TABLE staff (id INTEGER, name VARCHAR(20), dept VARCHAR(10), salary INTEGER)",
              "INSERT INTO staff VALUES (1, 'Ann', 'Sales', 900)", "INSERT INTO staff VALUES (2, 'Bob', 'Lab', 80)",
              "INSERT INTO staff VALUES (3, 'Cy', 'Sales', 1000)"}) {
            SQLHSTMT stmt = nullptr;
            SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
            ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS))) << sql;
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        }
        ASSERT_TRUE(PEOpenEngine());
        m_out = m_folder.path() + "/REPORT.HTM";
    }
    void TearDown() override {
        PECloseEngine();
        if (m_dbc) {
            SQLDisconnect(m_dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        }
        if (m_env) SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    std::string Report(const std::string& server, const std::string& source) {
        return m_folder.write("staff.rpt",
                              "[Report]\nColumns={staff.name}, {staff.salary} * 2\n"
                              "Sort={staff.salary} DESC\n[Table]\nDatabaseLibrary=PDSODBC.DLL\nName=staff\n"
                              "Fields=id, name, dept, salary\nServer=" +
                                  server + "\n" + source + "\n");
    }
    int Print(short job) {
        PEDiskOptions disk{sizeof(PEDiskOptions), m_out.c_str()};
        PEExportOptions options{};
        options.StructSize = sizeof options;
        options.formatType = 2;
        options.destinationOptions = &disk;
        EXPECT_TRUE(PEExportTo(job, &options));
        return PEStartPrintJob(job, 1);
    }

    SQLHENV m_env = nullptr;
    SQLHDBC m_dbc = nullptr;
    tessaro::test::TempFolder m_folder{"tsprintodbc"};
    std::string m_out;
};

TEST_F(PrintEngineOdbc, ReadsThroughTheConnectionHandedOver) {
    short job = PEOpenPrintJob(Report("unused", "Table=staff").c_str());
    ASSERT_GT(job, 0);
    ASSERT_TRUE(PELogOnSQLServerWithPrivateInfo("pdsodbc.dll", m_dbc));
    ASSERT_TRUE(PESetSelectionFormula(job, "{staff.dept} = 'Sales'"));
    ASSERT_TRUE(Print(job)) << PEGetErrorCode(job);
    std::string html = ReadFileText(m_out);
    // Numeric columns sort as numbers: 1000 before 900.
    size_t cy = html.find("<TD>Cy</TD><TD>2000</TD>"), ann = html.find("<TD>Ann</TD><TD>1800</TD>");
    ASSERT_NE(cy, std::string::npos) << html;
    EXPECT_LT(cy, ann);
    EXPECT_EQ(html.find("Bob"), std::string::npos);
}

TEST_F(PrintEngineOdbc, LogsOnItselfWithTheTablesLogOnAndReportsAFailedOne) {
    short job = PEOpenPrintJob(Report(kDsn, "SQL=SELECT id, name, dept, salary FROM staff WHERE id < 3").c_str());
    ASSERT_GT(job, 0);
    ASSERT_TRUE(Print(job)) << PEGetErrorCode(job);
    std::string html = ReadFileText(m_out);
    EXPECT_NE(html.find("<TD>Ann</TD>"), std::string::npos) << html;
    EXPECT_EQ(html.find("<TD>Cy</TD>"), std::string::npos);

    PELogOnInfo logOn{};
    logOn.StructSize = sizeof logOn;
    ASSERT_TRUE(PEGetNthTableLogOnInfo(job, 0, &logOn));
    std::snprintf(logOn.ServerName, sizeof logOn.ServerName, "no_such_data_source");
    ASSERT_TRUE(PESetNthTableLogOnInfo(job, 0, &logOn, 1));
    EXPECT_FALSE(Print(job));
    EXPECT_EQ(PEGetErrorCode(job), 536);

    short bad = PEOpenPrintJob(Report(kDsn, "SQL=SELECT nothing FROM nowhere").c_str());
    EXPECT_FALSE(Print(bad));
    EXPECT_EQ(PEGetErrorCode(bad), 536);
}

}  // namespace
