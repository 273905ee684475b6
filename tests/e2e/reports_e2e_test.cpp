// TSREPORT through the whole road: browser -> lighttpd -> ksml -> tsengine -> tsreports ->
// the print engine library, over a SQLite data source, and the report's errors as pages.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"

namespace {

constexpr const char* kDsn = "e2e_staff";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const char* kStaffReport = R"([Report]
Title=Staff
Columns={staff.id}, {staff.name}, {@Label}
Headings=Id, Name, Label

[Table]
DatabaseLibrary=PDSODBC.DLL
Name=staff
Description=Staff of the company
Fields=id, name, dept, salary
Server=e2e_staff
Table=staff

[Formulas]
Label='none'
)";

class ReportsThroughWebServer : public e2e::SiteTest {
protected:
    void Start(bool withData = true) {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/staff.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        site.WriteDocument("staff.rpt", kStaffReport);
        if (!withData) return;
        std::string setup =
            Query("CREATE TABLE staff (id INTEGER, name VARCHAR(20), dept VARCHAR(10), salary INTEGER)");
        const char* rows[] = {"1, 'Ann', 'Sales', 100", "2, 'Bob', 'Sales', 200", "3, 'Cy', 'Lab', 300",
                              "4, 'Dee', 'Lab', 400", "5, 'Eve', 'Sales', 500"};
        for (const char* row : rows) setup += Query(std::string("INSERT INTO staff VALUES (") + row + ")");
        auto done = Page("setup.tsm", setup + "ready");
        ASSERT_EQ(done.body, "ready") << done.body;
    }
    static std::string Query(const std::string& sql) {
        return std::string("<TSQUERY DATASOURCE=\"") + kDsn + "\">" + sql + "</TSQUERY>";
    }
    std::string ReportPath() const { return site.document_root() + "/staff.rpt"; }
    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(ReportsThroughWebServer, SelectionAndSortFromUrlValuesShapeTheEmbeddedRows) {
    Start();
    auto page =
        Page("report.tsm",
             "before|<TSREPORT REPORT=\"" + ReportPath() + "\" DATASOURCE=\"" + kDsn +
                 "\" ORDERBY=\"#URL.sort# DESC\" @Label=\"#URL.label#\">{staff.id} <= #URL.max#</TSREPORT>|after",
             "sort=name&max=3&label=picked");
    ASSERT_EQ(page.status, 200) << page.error;
    const std::string& body = page.body;
    size_t cy = body.find("<TD>Cy</TD>"), bob = body.find("<TD>Bob</TD>"), ann = body.find("<TD>Ann</TD>");
    ASSERT_NE(cy, std::string::npos) << body;
    ASSERT_NE(bob, std::string::npos) << body;
    ASSERT_NE(ann, std::string::npos) << body;
    EXPECT_LT(cy, bob);
    EXPECT_LT(bob, ann);
    EXPECT_FALSE(Contains(body, "Dee"));
    EXPECT_FALSE(Contains(body, "Eve"));
    // The quoted formula in the report makes the value a text.
    EXPECT_TRUE(Contains(body, "<TD>picked</TD>")) << body;
    // The page keeps only the report's body, without the trailer.
    EXPECT_EQ(body.rfind("before|", 0), 0u) << body;
    EXPECT_FALSE(Contains(body, "<BODY"));
    EXPECT_FALSE(Contains(body, "This report was created using"));
    EXPECT_TRUE(Contains(body, "</TABLE>"));
    EXPECT_EQ(body.substr(body.size() - 6), "|after");
}

TEST_F(ReportsThroughWebServer, FailuresAnswerWithTheirPages) {
    Start();
    auto missing = Page("missing.tsm", "<TSREPORT REPORT=\"" + site.document_root() + "/none.rpt\"></TSREPORT>");
    EXPECT_TRUE(Contains(missing.body, "Error processing TSREPORT tag")) << missing.body;
    EXPECT_TRUE(Contains(missing.body, "either does not exist or is not accessible")) << missing.body;

    auto formula = Page("formula.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" @Missing=\"1\"></TSREPORT>");
    EXPECT_TRUE(Contains(formula.body, "The formula named @Missing could not be found within the report"))
        << formula.body;
    EXPECT_TRUE(Contains(formula.body, "Crystal Library = ")) << formula.body;

    auto syntax = Page("syntax.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\">{staff.id} +</TSREPORT>");
    EXPECT_TRUE(Contains(syntax.body, "Selection Criteria:")) << syntax.body;

    auto logon = Page("logon.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" DATASOURCE=\"no_such_dsn\"></TSREPORT>");
    EXPECT_TRUE(Contains(logon.body, "Error occurred while processing TSREPORT")) << logon.body;
    EXPECT_TRUE(Contains(logon.body, "no_such_dsn")) << logon.body;

    // A table the data source does not have: the print engine's log-on failure.
    std::string broken = kStaffReport;
    broken.replace(broken.find("Table=staff"), 11, "SQL=SELECT id, name, dept, salary FROM nowhere");
    site.WriteDocument("broken.rpt", broken);
    auto query = Page("query.tsm", "<TSREPORT REPORT=\"" + site.document_root() + "/broken.rpt\"></TSREPORT>");
    EXPECT_TRUE(
        Contains(query.body, "The Crystal Reports Engine was unable to successfully log on to the data source."))
        << query.body;

    auto html = Page("html.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" HTMLTYPE=\"FOO\"></TSREPORT>");
    EXPECT_TRUE(Contains(html.body, "The HTMLTYPE you specified (FOO) is invalid.")) << html.body;

    // The report server is still there for the next report.
    auto again = Page("again.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_TRUE(Contains(again.body, "<TD>Eve</TD>")) << again.body;
}

TEST_F(ReportsThroughWebServer, APrintEngineThatIsNotInstalledIsReported) {
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalEngineDLL", "/nonexistent/libtsprint.so"));
    Start(false);
    auto page = Page("report.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_TRUE(Contains(page.body, "could not be located on this server")) << page.body;
}

TEST_F(ReportsThroughWebServer, APrintEngineThatHangsCostsThePageNotTheEngine) {
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalEngineDLL",
                                      std::string(TESSARO_BINARY_DIR) + "/lib/libtsprint_hangs.so"));
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "ServerTimeout", "1"));
    Start(false);
    auto page = Page("report.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_TRUE(Contains(page.body, "The report server did not finish the report within 1 seconds")) << page.body;
    // The report mutex was given back: the next page waits its turn instead of failing as busy.
    auto next = Page("next.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" TIMEOUT=\"10\"></TSREPORT>");
    EXPECT_FALSE(Contains(next.body, "the report server was busy")) << next.body;
}

}  // namespace
