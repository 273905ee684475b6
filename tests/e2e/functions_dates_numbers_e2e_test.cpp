// Built-in functions for dates, numbers and branching through the whole road: browser ->
// lighttpd -> ksml -> tsengine, with a SQLite data source whose date and money columns are
// formatted, and an ODBC date literal built by the template for a follow-up query.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"

namespace {

constexpr const char* kDsn = "e2e_orders";

class FunctionsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is needed";
        odbc_.emplace(site.home(), kDsn, site.home() + "/orders.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        auto setup = Page("setup.tsm",
                          Query("", "CREATE TABLE orders (id INTEGER, placed VARCHAR(19), amount REAL)") +
                              Query("", "INSERT INTO orders VALUES (1, '2024-02-29 10:30:00', 1234.5)") +
                              Query("", "INSERT INTO orders VALUES (2, '2024-03-01 08:05:00', -0.5)") +
                              Query("", "INSERT INTO orders VALUES (3, '2024-03-02 23:59:59', 1234567.891)") + "ready");
        ASSERT_EQ(setup.status, 200) << setup.error << site.WebServerLog();
        ASSERT_EQ(setup.body, "ready") << setup.body;
    }

    static std::string Query(const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"" + kDsn +
               "\">" + sql + "</TSQUERY>";
    }

    std::string Body(const std::string& file, const std::string& text) {
        auto page = Page(file, text);
        EXPECT_EQ(page.status, e2e::StatusOfPage(page.body)) << page.error << site.WebServerLog();
        return page.body;
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(FunctionsThroughWebServer, AcceptanceLine) {
    EXPECT_EQ(Body("accept.tsm",
                   "<TSOUTPUT>#DecimalFormat(0.999)#|#DollarFormat(-1234.5)#|"
                   "#DateFormat(CreateDate(2024,2,29),\"mmm d, yyyy\")#|"
                   "#DateDiff(\"d\",CreateDate(2024,1,1),CreateDate(2024,3,1))#|"
                   "#IIf(1 GT 2, DE(\"a\"), DE(\"b\"))#|#Round(2.5)#|#BitAnd(12,10)#</TSOUTPUT>"),
              "1.00|($1,234.50)|Feb 29, 2024|60|b|3|8");
}

TEST_F(FunctionsThroughWebServer, QueryColumnsFormattedAndALiteralForTheNextQuery) {
    const std::string page =
        Query("q", "SELECT id, placed, amount FROM orders ORDER BY id") +
        "<TSOUTPUT QUERY=\"q\">#DateFormat(placed, \"dddd, mmmm d, yyyy\")# #TimeFormat(placed, \"h:mm tt\")# "
        "#DollarFormat(amount)# #NumberFormat(amount, \"9,999,999.99\")#;</TSOUTPUT>"
        "<TSSET since = CreateODBCDate(DateAdd(\"d\", 1, CreateDate(2024, 2, 29)))>" +
        Query("later", "SELECT id FROM orders WHERE placed >= #since# ORDER BY id") +
        "<TSOUTPUT>[#since#]</TSOUTPUT><TSOUTPUT QUERY=\"later\">#id#,</TSOUTPUT>";
    EXPECT_EQ(Body("orders.tsm", page),
              "Thursday, February 29, 2024 10:30 AM $1,234.50     1,234.50;"
              "Friday, March 1, 2024 8:05 AM ($0.50)        -0.50;"
              "Saturday, March 2, 2024 11:59 PM $1,234,567.89 1,234,567.89;"
              "[{d '2024-03-01'}]2,3,");
}

TEST_F(FunctionsThroughWebServer, BranchingAndNestedEvaluation) {
    const std::string page =
        "<TSSET total = 1234.5><TSSET limit = 1000>"
        "<TSOUTPUT>#IIf(total GT limit, DE(\"over \") & \" & DollarFormat(total)\", DE(\"fine\"))#|"
        "#Evaluate(\"SetVariable('doubled', total * 2)\", DE(\"x\"))#|</TSOUTPUT><TSOUTPUT>#doubled#|"
        "#Evaluate(DE(\"Week: \") & \" & Week(CreateDate(1996,12,31))\")#|"
        "#IIf(IsNumeric(\"12 \"), DE(\"numeric\"), DE(\"text\"))#</TSOUTPUT>";
    EXPECT_EQ(Body("branch.tsm", page), "over $1,234.50|x|2469|Week: 53|text");
}

TEST_F(FunctionsThroughWebServer, ClientVariablesAndPathsOfTheRunningTemplate) {
    // The paths are those of the requested (main) template, also inside an included one, as
    // the disk names it.
    site.WriteDocument(
        "paths.tsm",
        "<TSOUTPUT>#GetFileFromPath(GetTemplatePath())#|"
        "#GetFileFromPath(ExpandPath(\"sub/../data.txt\"))#|"
        "#GetDirectoryFromPath(GetTemplatePath()) IS GetDirectoryFromPath(ExpandPath(\"x\"))#</TSOUTPUT>");
    EXPECT_EQ(Body("paths_run.tsm", "<TSINCLUDE TEMPLATE=\"paths.tsm\">"), "paths_run.tsm|data.txt|YES");
    site.WriteDocument("data.txt", "x");
    EXPECT_EQ(Body("exists.tsm",
                   "<TSOUTPUT>#FileExists(ExpandPath(\"data.txt\"))#|#FileExists(ExpandPath(\"none.txt\"))#|"
                   "#FileExists(GetTemplatePath())#|#FileExists(GetDirectoryFromPath(GetTemplatePath()))#"
                   "</TSOUTPUT>"),
              "YES|NO|YES|NO");
    const std::string client =
        Body("client.tsm",
             "<TSAPPLICATION NAME=\"shop\" CLIENTMANAGEMENT=\"yes\"><TSSET Client.color = \"red\">"
             "<TSOUTPUT>[#GetClientVariablesList()#]#DeleteClientVariable(\"color\")#</TSOUTPUT>"
             "<TSOUTPUT>[#GetClientVariablesList()#]</TSOUTPUT>");
    EXPECT_NE(client.find("COLOR"), std::string::npos) << client;
    EXPECT_NE(client.find("]YES["), std::string::npos) << client;
    EXPECT_EQ(client.substr(client.size() - 2), "[]") << client;
    EXPECT_EQ(client.substr(client.rfind('[')).find("COLOR"), std::string::npos) << client;
}

TEST_F(FunctionsThroughWebServer, FaultsAreReportedNotPrinted) {
    const std::string bad = Body("bad.tsm", "<TSOUTPUT>#DateFormat(10000000)#</TSOUTPUT>");
    EXPECT_NE(bad.find("Attempt to perform an invalid date operation"), std::string::npos) << bad;
    const std::string loop =
        Body("loop.tsm", "<TSSET again = \"Evaluate(again)\"><TSOUTPUT>#Evaluate(again)#</TSOUTPUT>");
    EXPECT_NE(loop.find("An error has occurred while processing the expression"), std::string::npos) << loop;
    // The engine is still there after both.
    EXPECT_EQ(Body("after.tsm", "<TSOUTPUT>#Round(-2.5)#</TSOUTPUT>"), "-2");
}

// A visitor's number that an operator takes past the range of a real stops the page with
// the reason; no INF or NAN reaches the page, nor the SQL built from the value.
TEST_F(FunctionsThroughWebServer, ArithmeticPastTheRealRangeIsAnErrorPage) {
    site.WriteDocument("range.tsm", "<TSSET limit = URL.n * 10>" +
                                        Query("q", "SELECT COUNT(*) AS n FROM orders WHERE amount < #limit#") +
                                        "<TSOUTPUT>[#limit#] #q.n#</TSOUTPUT>");
    for (const char* n : {"1e308", "-1.7E308"}) {
        auto page = site.Get(std::string("/range.tsm?n=") + n);
        EXPECT_EQ(page.status, 500) << n << "\n" << page.body;
        EXPECT_NE(page.body.find("The result of the multiplication is too large for a real number"), std::string::npos)
            << n << "\n"
            << page.body;
        EXPECT_EQ(page.body.find("INF"), std::string::npos) << page.body;
    }
    auto fine = site.Get("/range.tsm?n=1e307");
    EXPECT_EQ(fine.status, 200) << fine.body;
    EXPECT_EQ(fine.body, "[1E+308] 3");
}

// Val, CreateTimeSpan and a number mask take a visitor's number past what they can hold to
// an error page as well; what lies within stays a number, in the SQL too.
TEST_F(FunctionsThroughWebServer, VisitorsNumbersPastWhatAFunctionHoldsAreErrorPages) {
    site.WriteDocument("val.tsm", Query("q", "SELECT COUNT(*) AS n FROM orders WHERE amount < #Val(URL.n)#") +
                                      "<TSOUTPUT>#q.n#</TSOUTPUT>");
    EXPECT_EQ(site.Get("/val.tsm?n=1e307").body, "3");
    EXPECT_EQ(site.Get("/val.tsm?n=abc").body, "1");
    EXPECT_EQ(site.Get("/val.tsm?n=1e-400").body, "1");
    for (const char* n : {"1e999", "-1e400"}) {
        auto page = site.Get(std::string("/val.tsm?n=") + n);
        EXPECT_EQ(page.status, 500) << n << "\n" << page.body;
        EXPECT_NE(page.body.find("The function Val has no finite result for the argument"), std::string::npos)
            << page.body;
        EXPECT_NE(page.body.find(n), std::string::npos) << page.body;
        EXPECT_EQ(page.body.find("INF"), std::string::npos) << page.body;
    }
    site.WriteDocument("span.tsm", "<TSOUTPUT>#CreateTimeSpan(URL.d, URL.h, 0, 0)#</TSOUTPUT>");
    EXPECT_EQ(site.Get("/span.tsm?d=1&h=12").body, "1.5");
    auto span = site.Get("/span.tsm?d=1.79e308&h=1e308");
    EXPECT_EQ(span.status, 500) << span.body;
    EXPECT_NE(span.body.find("The result of the function CreateTimeSpan(days, hours, minutes, seconds) is too large "
                             "for a real number"),
              std::string::npos)
        << span.body;
    site.WriteDocument("mask.tsm", "<TSOUTPUT>#NumberFormat(URL.n, \"+999\")#</TSOUTPUT>");
    EXPECT_EQ(site.Get("/mask.tsm?n=12").body, "+ 12");
    auto mask = site.Get("/mask.tsm?n=-1e19");
    EXPECT_EQ(mask.status, 500) << mask.body;
    EXPECT_NE(mask.body.find("must be a number smaller than 9223372036854775808 in absolute value"), std::string::npos)
        << mask.body;
}

TEST_F(FunctionsThroughWebServer, DateMaskLiteralsAreWrittenAsTheyStand) {
    EXPECT_EQ(Body("masks.tsm",
                   "<TSOUTPUT>#DateFormat(CreateDate(2024,2,29), \"dd':'-mm-':'yy\")#|"
                   "#DateFormat(CreateDateTime(2024,2,29,9,5,0), \"yyyy hh:nn\")#|"
                   "#TimeFormat(CreateTime(9,5,0), \"HH'h'dd:mm\")#</TSOUTPUT>"),
              "29:-02-:24|2024 hh:nn|09hdd:05");
}

}  // namespace
