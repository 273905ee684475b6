// String, pattern, list and page-format functions through the whole road: browser ->
// lighttpd -> ksml -> tsengine, on URL, form and query values, with a SQLite data source.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"

namespace {

using ::testing::HasSubstr;

constexpr const char* kDsn = "e2e_functions";

class StringFunctionsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is needed";
        odbc_.emplace(site.home(), kDsn, site.home() + "/names.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        auto setup = Page("setup.tsm", Query("", "CREATE TABLE names (id INTEGER, name VARCHAR(20))") +
                                           Query("", "INSERT INTO names VALUES (1, 'Ann')") +
                                           Query("", "INSERT INTO names VALUES (2, 'O''Brien')") +
                                           Query("", "INSERT INTO names VALUES (3, 'Cy')") + "ready");
        ASSERT_EQ(setup.status, 200) << setup.error << site.WebServerLog();
        ASSERT_EQ(setup.body, "ready") << setup.body;
    }

    static std::string Query(const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + "DATASOURCE=\"" + kDsn +
               "\">" + sql + "</TSQUERY>";
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(StringFunctionsThroughWebServer, OneFunctionOfEachFamily) {
    auto page = Page("accept.tsm",
                     "<TSOUTPUT>#Len(Trim(\"  ab \"))#|#UCase(\"\xC3\xA9\")#|#ListGetAt(\"a,,b;c\", 2, \",;\")#|"
                     "#Replace(\"aaa\",\"a\",\"b\",\"ALL\")#|#URLEncodedFormat(\"a b&c\")#</TSOUTPUT>");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "2|\xC3\x89|b|bbb|a+b%26c");
}

TEST_F(StringFunctionsThroughWebServer, UrlFormAndQueryValues) {
    const std::string text =
        "<TSOUTPUT>#URLEncodedFormat(URL.q)#|#ListLen(URL.ids)#|#GetToken(URL.q, 2)#|#HTMLEditFormat(URL.h)#"
        "</TSOUTPUT>" +
        Query("q", "SELECT id, name FROM names ORDER BY id") +
        "<TSOUTPUT>|#ValueList(q.name)#|#QuotedValueList(Q.NAME)#|#ValueList(q.id)#|"
        "#ListFind(ValueList(q.name), \"Cy\")#</TSOUTPUT>";
    // The value of q is "a b&c" and the Latin-1 byte 0xE9, sent percent-encoded.
    auto page = Page("values.tsm", text, "q=a+b%26c%E9&ids=1,2,,3&h=%3Cb%3E%26");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "a+b%26c%E9|3|b&c\xE9|&lt;b&gt;&amp;|Ann,O'Brien,Cy|'Ann','O''Brien','Cy'|1,2,3|3");

    site.WriteDocument("form.tsm",
                       "<TSOUTPUT>#UCase(Form.who)#|#ListAppend(Form.list, Form.who, \";\")#|"
                       "#Replace(Form.who, \" \", \"_\", \"ALL\")#</TSOUTPUT>");
    auto posted = e2e::HttpRequest(site.port(), "POST", "/form.tsm",
                                   {"Content-Type: application/x-www-form-urlencoded"}, "who=ann+lee&list=x%3By");
    ASSERT_EQ(posted.status, 200) << posted.error;
    EXPECT_EQ(posted.body, "ANN LEE|x;y;ann lee|ann_lee");

    // The column-list names are checked: a wrong column is the author's error.
    auto wrong = Page("wrong.tsm", Query("q", "SELECT id FROM names") + "<TSOUTPUT>#ValueList(q.nothing)#</TSOUTPUT>");
    EXPECT_THAT(wrong.body, HasSubstr("must be pointing to a valid column name"));
}

TEST_F(StringFunctionsThroughWebServer, ColumnListOfASharedNameListsTheFirstSuchColumn) {
    // A join selects two columns named ID, and an alias may be given twice: the name means the
    // first of them, whatever column the driver reports last.
    auto page = Page("join.tsm",
                     Query("", "CREATE TABLE pets (id INTEGER, owner INTEGER)") +
                         Query("", "INSERT INTO pets VALUES (10, 1)") + Query("", "INSERT INTO pets VALUES (30, 3)") +
                         Query("j",
                               "SELECT names.id, pets.id FROM names JOIN pets ON pets.owner = names.id "
                               "ORDER BY names.id") +
                         Query("r",
                               "SELECT pets.id, names.id FROM names JOIN pets ON pets.owner = names.id "
                               "ORDER BY names.id") +
                         Query("x", "SELECT 1 AS x, 2 AS x") +
                         "<TSOUTPUT>#ValueList(j.id)#|#QuotedValueList(j.ID)#|#ValueList(r.Id)#|#ValueList(x.x)#"
                         "</TSOUTPUT>");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(page.body, "1,3|'1','3'|10,30|1");
}

TEST_F(StringFunctionsThroughWebServer, HugeResultIsAnErrorPageAndTheEngineKeepsServing) {
    const auto started = std::chrono::steady_clock::now();
    auto huge = Page("huge.tsm", "<TSOUTPUT>#RepeatString(\"x\", 2147483647)#</TSOUTPUT>");
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(huge.status, 500) << huge.error;
    EXPECT_THAT(huge.body, HasSubstr("An error has occurred while processing the expression"));
    EXPECT_THAT(huge.body, HasSubstr("RepeatString(String, Count) would be longer than the limit of 16777216 bytes"));
    EXPECT_LT(seconds, 10);

    auto after = Page("after.tsm", "<TSOUTPUT>#Len(RepeatString(\"ab\", 1000))#</TSOUTPUT>");
    ASSERT_EQ(after.status, 200) << after.error;
    EXPECT_EQ(after.body, "2000");

    // The limit is the server's setting, read for each request.
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFunctionResultBytes", "1000"));
    auto limited = site.Get("/after.tsm");
    EXPECT_THAT(limited.body, HasSubstr("would be longer than the limit of 1000 bytes"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFunctionResultBytes", "2000"));
    EXPECT_EQ(site.Get("/after.tsm").body, "2000");
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxFunctionResultBytes", "16777216"));
}

}  // namespace
