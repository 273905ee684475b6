// TSREPORT through the whole road: browser -> lighttpd -> ksml -> tsengine -> tsreports ->
// the print engine library, over a SQLite data source, and the report's errors as pages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"
#include "tests/common/text_matchers.h"

namespace {

constexpr const char* kDsn = "e2e_staff";

using tessaro::test::ContainsText;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::Not;

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

// The names of the staff rows a report page shows, "[Ann][Bob]...".
std::string StaffNames(const std::string& body) {
    std::string found;
    for (const char* name : {"Ann", "Bob", "Cy", "Dee", "Eve"})
        if (ContainsText(body, std::string("<TD>") + name + "</TD>")) found += std::string("[") + name + "]";
    return found;
}

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
    // The opening tag of a report on the staff data source, without its closing ">".
    static std::string Open(const std::string& report) {
        return "<TSREPORT REPORT=\"" + report + "\" DATASOURCE=\"" + kDsn + "\"";
    }
    // A selection with the request value d, and the names of the rows it must keep.
    struct Selection {
        std::string body;
        const char* value;
        const char* rows;
    };
    template <std::size_t N>
    void ExpectRows(const std::string& report, const Selection (&selections)[N]) {
        for (const Selection& c : selections) {
            auto page =
                Page("select.tsm", Open(report) + ">" + c.body + "</TSREPORT>", "d=" + e2e::FormEncode(c.value));
            EXPECT_EQ(page.status, 200) << c.body << " " << c.value << page.body;
            EXPECT_EQ(StaffNames(page.body), c.rows) << c.body << " " << c.value << "\n" << page.body;
        }
    }
    // The staff report with a second, unquoted formula Yearly shown as a column.
    std::string YearlyReport() {
        std::string report = kStaffReport;
        report.replace(report.find("{@Label}"), 8, "{@Label}, {@Yearly}");
        report += "Yearly={staff.salary} * 12\n";
        site.WriteDocument("yearly.rpt", report);
        return site.document_root() + "/yearly.rpt";
    }
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
    EXPECT_THAT(body, Not(HasSubstr("Dee")));
    EXPECT_THAT(body, Not(HasSubstr("Eve")));
    // The quoted formula in the report makes the value a text.
    EXPECT_THAT(body, HasSubstr("<TD>picked</TD>"));
    // The page keeps only the report's body, without the trailer.
    EXPECT_EQ(body.rfind("before|", 0), 0u) << body;
    EXPECT_THAT(body, Not(HasSubstr("<BODY")));
    EXPECT_THAT(body, Not(HasSubstr("This report was created using")));
    EXPECT_THAT(body, HasSubstr("</TABLE>"));
    EXPECT_EQ(body.substr(body.size() - 6), "|after");
}

TEST_F(ReportsThroughWebServer, TheBodyMayHoldConditionsVariablesAndOutputSections) {
    Start();
    const std::string open = "<TSREPORT REPORT=\"" + ReportPath() + "\" DATASOURCE=\"" + kDsn + "\">";
    struct Case {
        const char* name;
        std::string body;
        const char* query;
        const char* kept;    // a name in the report
        const char* gone;    // a name not in it
    } cases[] = {
        {"condition taken", "<TSIF URL.max GT 0>{staff.id} <= #URL.max#<TSELSE>{staff.id} >= 5</TSIF>", "max=1",
         "<TD>Ann</TD>", "<TD>Bob</TD>"},
        {"condition not taken", "<TSIF URL.max GT 0>{staff.id} <= #URL.max#<TSELSE>{staff.id} >= 5</TSIF>", "max=0",
         "<TD>Eve</TD>", "<TD>Ann</TD>"},
        {"variable", "<TSSET low = URL.max + 2>{staff.id} = #low#", "max=1", "<TD>Cy</TD>", "<TD>Ann</TD>"},
        {"output section", "<TSOUTPUT>{staff.id} = #URL.max#</TSOUTPUT>", "max=4", "<TD>Dee</TD>", "<TD>Eve</TD>"},
    };
    for (const Case& c : cases) {
        auto page = Page("body.tsm", "[" + open + c.body + "</TSREPORT>]", c.query);
        EXPECT_EQ(page.status, 200) << c.name << page.error << page.body;
        EXPECT_THAT(page.body, HasSubstr(c.kept)) << c.name;
        EXPECT_THAT(page.body, Not(HasSubstr(c.gone))) << c.name;
        EXPECT_EQ(page.body.front(), '[') << c.name;
        EXPECT_EQ(page.body.back(), ']') << c.name;
    }
}

// A request value stays a value of the formula language: inside a text the template opened,
// outside any text, and as a formula set from a tag.
TEST_F(ReportsThroughWebServer, RequestValuesStayValuesInTheSelectionAndFormulas) {
    Start();
    const std::string yearly = YearlyReport();
    const std::string open = Open(yearly);
    const Selection selections[] = {
        {"{staff.dept} = '#URL.d#'", "Lab", "[Cy][Dee]"},
        {"{staff.dept} = '#URL.d#'", "x' or 'a'='a", ""},
        {"{staff.dept} = \"#URL.d#\"", "x\" or \"a\"=\"a", ""},
        {"{staff.dept} = \"#URL.d#\"", "Lab\" or true or \"", ""},
        {"{staff.dept} = #URL.d#", "Lab", "[Cy][Dee]"},
        {"{staff.dept} = #URL.d#", "'Lab' or true", ""},
        {"{staff.id} > #URL.d#", "3", "[Dee][Eve]"},
        {"{staff.id} < #URL.d#", "0 or true", ""},
        {"<TSSET d = URL.d>{staff.dept} = '#d#'", "x' or 'a'='a", ""},
        {"{staff.#URL.d#} = 'Lab'", "dept", "[Cy][Dee]"},
    };
    ExpectRows(yearly, selections);
    // A value cannot end a reference and add a condition: the name it makes is no field.
    auto reference = Page("select.tsm", open + ">{staff.#URL.d#} = 'Lab'</TSREPORT>",
                          "d=" + e2e::FormEncode("dept} = 'Lab' or {staff.dept"));
    EXPECT_EQ(StaffNames(reference.body), "") << reference.body;
    EXPECT_THAT(reference.body, HasSubstr("is not valid for the report file"));

    // A formula set from a tag: a value is a text, whether the report's formula is quoted or not.
    auto formulas =
        Page("formulas.tsm", open + " @Label=\"#URL.l#\" @Yearly=\"#URL.y#\">{staff.id} = 1</TSREPORT>",
             "l=" + e2e::FormEncode("x\" & {staff.salary} & \"") + "&y=" + e2e::FormEncode("{staff.id} * 1000"));
    EXPECT_THAT(formulas.body, AnyOf(HasSubstr("<TD>x&quot; &amp; {staff.salary} &amp; &quot;</TD>"),
                                     HasSubstr("<TD>x\" &amp; {staff.salary} &amp; \"</TD>")));
    EXPECT_THAT(formulas.body, HasSubstr("<TD>{staff.id} * 1000</TD>"));
    EXPECT_THAT(formulas.body, Not(HasSubstr("<TD>1000</TD>")));
    // The template's own formula text, and a number from the request, stay formulas.
    auto own = Page("own.tsm", open + " @Yearly=\"{staff.salary} * #URL.k#\">{staff.id} = 2</TSREPORT>", "k=2");
    EXPECT_THAT(own.body, HasSubstr("<TD>400</TD>"));
}

// What the author writes inside an expression stays formula, and only the characters a value
// gave are quoted: the quotes of "'" & URL.d & "'", and a selection built with IIf and DE.
TEST_F(ReportsThroughWebServer, TheAuthorsQuotesInsideAnExpressionStayFormula) {
    Start();
    const std::string chosen =
        "#IIf(Len(URL.d) GT 0, DE(\"{staff.dept} = '\" & URL.d & \"'\"), DE(\"{staff.id} > 0\"))#";
    const Selection selections[] = {
        {"{staff.dept} = #\"'\" & URL.d & \"'\"#", "Lab", "[Cy][Dee]"},
        {"{staff.dept} = #\"'\" & URL.d & \"'\"#", "x' or 'a'='a", ""},
        {"{staff.dept} = #'\"' & URL.d & '\"'#", "Lab", "[Cy][Dee]"},
        {"{staff.dept} = #'\"' & URL.d & '\"'#", "Lab\" or true or \"", ""},
        {"#\"{staff.dept} = '\" & UCase(URL.d) & \"'\"#", "x' or 'a'='a", ""},
        {"#\"{staff.name} = '\" & Left(URL.d, 20) & \"'\"#", "Dee' or true or 'x", ""},
        {"#\"{staff.name} = '\" & Left(URL.d, 3) & \"'\"#", "Deely", "[Dee]"},
        {chosen, "Lab", "[Cy][Dee]"},
        {chosen, "", "[Ann][Bob][Cy][Dee][Eve]"},
        {chosen, "x' or 'a'='a", ""},
        {chosen, "Lab' or true or 'x", ""},
        {chosen, "O'Neil", ""},
        // DE's own quotes are the author's: its text is a text of the formula.
        {"{staff.name} = #DE(URL.d)#", "Cy", "[Cy]"},
        {"{staff.name} = #DE(URL.d)#", "Cy\" or true or \"", ""},
        {"#Evaluate(DE(\"{staff.dept} = 'Sales' and {staff.id} = \" & URL.d))#", "2", "[Bob]"},
        {"#Evaluate(DE(\"{staff.dept} = 'Sales' and {staff.id} = \" & URL.d))#", "2 or true", ""},
        // A variable holds a value; PreserveSingleQuotes puts the author's formula kept in one in.
        {"<TSSET f = \"{staff.dept} = 'Lab'\">{staff.id} > 3 and #PreserveSingleQuotes(f)#", "", "[Dee]"},
        {"<TSSET f = \"{staff.dept} = 'Lab'\">{staff.id} > 3 and #f#", "", "[Dee][Eve]"},
    };
    ExpectRows(ReportPath(), selections);
    // The same in a formula set from a tag: the author's quotes make the text, the value is in it,
    // and the author's formula text stays a formula.
    auto label = Page("label.tsm", Open(ReportPath()) + " @Label=\"#'''<' & URL.l & '>'''#\">{staff.id} = 1</TSREPORT>",
                      "l=" + e2e::FormEncode("x\" & {staff.salary} & \""));
    EXPECT_THAT(label.body, AnyOf(HasSubstr("<TD>&lt;x&quot; &amp; {staff.salary} &amp; &quot;&gt;</TD>"),
                                  HasSubstr("<TD>&lt;x\" &amp; {staff.salary} &amp; \"&gt;</TD>")));
    auto yearly =
        Page("yearly.tsm",
             Open(YearlyReport()) + " @Yearly=\"#'{staff.salary} * ' & URL.k#\">{staff.id} = 2</TSREPORT>", "k=3");
    EXPECT_THAT(yearly.body, HasSubstr("<TD>600</TD>"));
}

TEST_F(ReportsThroughWebServer, APictureOfTheReportIsServedOnceThroughItsLink) {
    Start();
    // A 1x1 GIF: its bytes must come back unchanged, NULs included.
    const std::string gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
                          "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02" "D\x01\x00;",
                          43);
    site.WriteDocument("pictures/logo.gif", gif);
    std::string report = kStaffReport;
    report.replace(report.find("[Table]"), 0, "Picture=pictures/logo.gif\n\n");
    site.WriteDocument("pictured.rpt", report);
    auto page = Page("pictured.tsm", "<TSREPORT REPORT=\"" + site.document_root() + "/pictured.rpt\"></TSREPORT>");
    ASSERT_EQ(page.status, 200) << page.error << page.body;
    const std::string opening = "<IMG SRC=\"";
    size_t at = page.body.find(opening);
    ASSERT_NE(at, std::string::npos) << page.body;
    at += opening.size();
    std::string link = page.body.substr(at, page.body.find('"', at) - at);
    ASSERT_EQ(link.rfind("/pictured.tsm?Action=GetGraphic&Rnd=", 0), 0u) << link;
    ASSERT_NE(link.find("&File=p"), std::string::npos) << link;
    // Written where GetGraphic serves from, readable by the engine's user only.
    std::string served = site.home() + "/tsr/" + link.substr(link.find("&File=") + 6);
    struct stat info {};
    ASSERT_EQ(::stat(served.c_str(), &info), 0) << served;
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The engine's user: the account the runtime root belongs to (the tests' own user, or the
    // service account when they run as root).
    struct stat root {};
    ASSERT_EQ(::stat(site.home().c_str(), &root), 0);
    EXPECT_EQ(info.st_uid, root.st_uid);

    auto image = site.Get(link);
    ASSERT_EQ(image.status, 200) << image.error << image.body;
    EXPECT_EQ(image.Header("Content-Type"), "image/gif") << image.headers;
    EXPECT_EQ(image.body, gif);
    // Served once: the file is gone, and asking again finds nothing.
    EXPECT_NE(::access(served.c_str(), F_OK), 0);
    auto again = site.Get(link);
    EXPECT_THAT(again.body, HasSubstr("' was not found."));
    EXPECT_NE(again.Header("Content-Type"), "image/gif");
    // The report's own picture stays where the report names it; the request left nothing behind.
    EXPECT_EQ(::access((site.document_root() + "/pictures/logo.gif").c_str(), F_OK), 0);
    EXPECT_TRUE(std::filesystem::is_empty(site.home() + "/tmp/tsr")) << "request folders left";
}

TEST_F(ReportsThroughWebServer, FailuresAnswerWithTheirPages) {
    Start();
    auto missing = Page("missing.tsm", "<TSREPORT REPORT=\"" + site.document_root() + "/none.rpt\"></TSREPORT>");
    EXPECT_THAT(missing.body, HasSubstr("Error processing TSREPORT tag"));
    EXPECT_THAT(missing.body, HasSubstr("either does not exist or is not accessible"));

    auto formula = Page("formula.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" @Missing=\"1\"></TSREPORT>");
    EXPECT_THAT(formula.body, HasSubstr("The formula named @Missing could not be found within the report"));
    EXPECT_THAT(formula.body, HasSubstr("Crystal Library = "));

    auto syntax = Page("syntax.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\">{staff.id} +</TSREPORT>");
    EXPECT_THAT(syntax.body, HasSubstr("Selection Criteria:"));

    auto logon = Page("logon.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" DATASOURCE=\"no_such_dsn\"></TSREPORT>");
    EXPECT_THAT(logon.body, HasSubstr("Error occurred while processing TSREPORT"));
    EXPECT_THAT(logon.body, HasSubstr("no_such_dsn"));
    // The report server's texts are its own HTML: shown as markup, not as text.
    EXPECT_THAT(logon.body, HasSubstr("<B>Hint</B>"));
    EXPECT_THAT(logon.body, HasSubstr("Data Source = \"no_such_dsn\"<P>"));
    EXPECT_THAT(logon.body, Not(HasSubstr("&lt;P&gt;")));
    EXPECT_THAT(logon.body, Not(HasSubstr("&lt;B&gt;")));

    // A table the data source does not have: the print engine's log-on failure.
    std::string broken = kStaffReport;
    broken.replace(broken.find("Table=staff"), 11, "SQL=SELECT id, name, dept, salary FROM nowhere");
    site.WriteDocument("broken.rpt", broken);
    auto query = Page("query.tsm", "<TSREPORT REPORT=\"" + site.document_root() + "/broken.rpt\"></TSREPORT>");
    EXPECT_THAT(query.body,
                HasSubstr("The Crystal Reports Engine was unable to successfully log on to the data source."));

    auto html = Page("html.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" HTMLTYPE=\"FOO\"></TSREPORT>");
    EXPECT_THAT(html.body, HasSubstr("The HTMLTYPE you specified (FOO) is invalid."));
    EXPECT_THAT(html.body, HasSubstr("<UL><LI>STANDARD<LI>NETSCAPE<LI>MICROSOFT</UL>"));
    // ... and the request's values in them are text.
    auto hostile = Page("hostile.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" HTMLTYPE=\"#URL.h#\"></TSREPORT>",
                        "h=" + e2e::FormEncode("<img src=x onerror=alert(1)>"));
    EXPECT_THAT(hostile.body, HasSubstr("The HTMLTYPE you specified (&lt;img src=x onerror=alert(1)&gt;) is invalid."));
    EXPECT_THAT(hostile.body, Not(HasSubstr("<img")));
    auto source = Page("source.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" DATASOURCE=\"#URL.d#\"></TSREPORT>",
                       "d=" + e2e::FormEncode("<img src=x onerror=alert(1)>"));
    EXPECT_THAT(source.body, HasSubstr("Data Source = \"&lt;img src=x onerror=alert(1)&gt;\"<P>"));
    EXPECT_THAT(source.body, Not(HasSubstr("<img")));

    // The report server is still there for the next report.
    auto again = Page("again.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_THAT(again.body, HasSubstr("<TD>Eve</TD>"));
}

TEST_F(ReportsThroughWebServer, TheMarkersAreReadAtTheEnginesFirstReportAndKept) {
    // Set before the first report, a marker counts: the report is cut at its table.
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalTrailer", "</TABLE>"));
    Start();
    const std::string page = Open(ReportPath()) + "></TSREPORT>|end";
    auto first = Page("first.tsm", page);
    ASSERT_EQ(first.status, 200) << first.error;
    EXPECT_THAT(first.body, HasSubstr("<TD>Eve</TD>"));
    EXPECT_THAT(first.body, Not(HasSubstr("</TABLE>")));
    // Changed while the engine runs, it waits for the engine's next start.
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalTrailer", "<TD>Cy"));
    auto second = Page("second.tsm", page);
    EXPECT_THAT(second.body, HasSubstr("<TD>Eve</TD>"));
    EXPECT_THAT(second.body, Not(HasSubstr("</TABLE>")));
    EXPECT_EQ(second.body.substr(second.body.size() - 4), "|end");
}

TEST_F(ReportsThroughWebServer, APrintEngineThatIsNotInstalledIsReported) {
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalEngineDLL", "/nonexistent/libtsprint.so"));
    Start(false);
    auto page = Page("report.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_THAT(page.body, HasSubstr("could not be located on this server"));
}

TEST_F(ReportsThroughWebServer, APrintEngineThatHangsCostsThePageNotTheEngine) {
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "CrystalEngineDLL",
                                      std::string(TESSARO_BINARY_DIR) + "/lib/libtsprint_hangs.so"));
    ASSERT_TRUE(e2e::Site::SetSetting("Reports", "ServerTimeout", "1"));
    Start(false);
    auto page = Page("report.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\"></TSREPORT>");
    EXPECT_THAT(page.body, HasSubstr("The report server did not finish the report within 1 seconds"));
    // The report mutex was given back: the next page waits its turn instead of failing as busy.
    auto next = Page("next.tsm", "<TSREPORT REPORT=\"" + ReportPath() + "\" TIMEOUT=\"10\"></TSREPORT>");
    EXPECT_THAT(next.body, Not(HasSubstr("the report server was busy")));
}

}  // namespace
