// The database tags through the whole road (browser -> lighttpd -> ksml -> tsengine) on a
// SQLite data source: form posts that insert and update rows, the Insert action, a
// transaction that keeps both of its rows or neither, and query tables.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"
#include "e2e_odbc.h"
#include "site_test.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kDsn = "e2e_staff";

class DbTagsThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "SQLite ODBC driver not installed";
        odbc_.emplace(site.home(), kDsn, site.home() + "/staff.db");
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        auto setup = Page("setup.tsm", Query("CREATE TABLE staff (id INTEGER PRIMARY KEY, name VARCHAR(30), note "
                                             "VARCHAR(30))") +
                                           Query("CREATE TABLE codes (code VARCHAR(10) UNIQUE)") + "ready");
        ASSERT_EQ(setup.status, 200) << setup.error << site.WebServerLog();
        ASSERT_EQ(setup.body, "ready") << setup.body;
        site.WriteDocument("rows.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                                           "\">SELECT id, name, COALESCE(note, 'NULL') AS note FROM staff ORDER BY "
                                           "id</TSQUERY><TSOUTPUT QUERY=\"q\">#id#:#name#:#note#;</TSOUTPUT>");
    }

    static std::string Query(const std::string& sql) {
        return "<TSQUERY DATASOURCE=\"" + std::string(kDsn) + "\">" + sql + "</TSQUERY>";
    }

    e2e::HttpResponse Post(const std::string& target, const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: application/x-www-form-urlencoded"}, body);
    }

    std::string Rows() { return site.Get("/rows.tsm").body; }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(DbTagsThroughWebServer, InsertPostAddsOneRowAndAForgedFieldIsRefused) {
    site.WriteDocument("insert.tsm", "<TSINSERT DATASOURCE=\"" + std::string(kDsn) + "\" TABLENAME=\"staff\">saved");
    auto saved = Post("/insert.tsm", "id=1&name=O%27Neil&note=");
    ASSERT_EQ(saved.status, 200) << saved.error;
    EXPECT_EQ(saved.body, "saved");
    EXPECT_EQ(Rows(), "1:O'Neil:NULL;");

    auto forged = Post("/insert.tsm", "id=2&name=Bob&name%29%3B+DROP+TABLE+staff%3B+--=x");
    EXPECT_THAT(forged.body, HasSubstr("Field name not found in the specified table."));
    EXPECT_EQ(Rows(), "1:O'Neil:NULL;");
}

TEST_F(DbTagsThroughWebServer, UpdatePostChangesOnlyTheKeyedRow) {
    ASSERT_EQ(Page("fill.tsm", Query("INSERT INTO staff VALUES (1, 'Ann', 'a')") +
                                   Query("INSERT INTO staff VALUES (2, 'Bob', 'b')") + "ok")
                  .body,
              "ok");
    site.WriteDocument("update.tsm", "<TSUPDATE DATASOURCE=\"" + std::string(kDsn) + "\" TABLENAME=\"staff\">done");
    auto done = Post("/update.tsm", "id=2&name=Bea&note=");
    ASSERT_EQ(done.status, 200) << done.error;
    EXPECT_EQ(done.body, "done");
    EXPECT_EQ(Rows(), "1:Ann:a;2:Bea:NULL;");
    auto keyless = Post("/update.tsm", "name=Everyone");
    EXPECT_THAT(keyless.body, HasSubstr("Primary key field id not found."));
    EXPECT_EQ(Rows(), "1:Ann:a;2:Bea:NULL;");
    // The key's value is checked like any other before it selects a row.
    auto wordKey = Post("/update.tsm", "id=two&name=Everyone");
    EXPECT_THAT(wordKey.body, HasSubstr("Form Entries Incomplete or Invalid"));
    EXPECT_THAT(wordKey.body, Not(HasSubstr("done")));
    EXPECT_EQ(Rows(), "1:Ann:a;2:Bea:NULL;");
}

TEST_F(DbTagsThroughWebServer, InsertActionRedirectsAndUnknownActionsAreNamed) {
    const std::string form = "DATASOURCE=" + std::string(kDsn) + "&TABLENAME=staff&NEXTPAGE=/rows.tsm&id=5&name=Eve";
    auto refused = Post("/rows.tsm?action=Insert", form);
    EXPECT_THAT(refused.body, HasSubstr("Insert and Update Actions Not Permitted"));
    ASSERT_TRUE(e2e::Site::SetSetting("DataSources\\" + std::string(kDsn), "AllowIUActions", "1"));
    auto inserted = Post("/rows.tsm?action=Insert", form);
    EXPECT_EQ(inserted.Header("Location").find("/rows.tsm"), 0u) << inserted.headers << inserted.body;
    EXPECT_EQ(Rows(), "5:Eve:NULL;");

    auto unknown = Post("/rows.tsm?action=Insret", form);
    EXPECT_THAT(unknown.body, HasSubstr("The action 'Insret' is not recognized by this script."));
    EXPECT_EQ(Rows(), "5:Eve:NULL;");
}

TEST_F(DbTagsThroughWebServer, TransactionKeepsBothRowsOrNeither) {
    auto both = Page("both.tsm", "<TSTRANSACTION>" + Query("INSERT INTO codes VALUES ('a')") +
                                     Query("INSERT INTO codes VALUES ('b')") + "</TSTRANSACTION>ok");
    EXPECT_EQ(both.body, "ok");
    auto clash = Page("clash.tsm", "<TSTRANSACTION>" + Query("INSERT INTO codes VALUES ('c')") +
                                       Query("INSERT INTO codes VALUES ('c')") + "</TSTRANSACTION>ok");
    EXPECT_THAT(clash.body, HasSubstr("was rolled back"));
    auto codes = Page("codes.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                                       "\">SELECT code FROM codes ORDER BY code</TSQUERY>"
                                       "<TSOUTPUT QUERY=\"q\">#code#;</TSOUTPUT>");
    EXPECT_EQ(codes.body, "a;b;");
}

TEST_F(DbTagsThroughWebServer, QueryTablesPreformattedAndHtml) {
    ASSERT_EQ(Page("fill.tsm", Query("INSERT INTO staff VALUES (1, 'Ann', 'a')") +
                                   Query("INSERT INTO staff VALUES (2, 'Bob', 'b')") + "ok")
                  .body,
              "ok");
    const std::string query =
        "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) + "\">SELECT id, name FROM staff ORDER BY id</TSQUERY>";
    auto pre = Page("pre.tsm", query +
                                   "<TSTABLE QUERY=\"q\" HEADERLINES=\"1\"><TSCOL TEXT=\"#name#\" WIDTH=\"4\" "
                                   "HEADER=\"Who\"><TSCOL TEXT=\"#id#\" WIDTH=\"2\" ALIGN=\"RIGHT\"></TSTABLE>");
    EXPECT_EQ(pre.body, "<PRE>\nWho       \nAnn    1  \nBob    2  \n</PRE>\n");
    auto html = Page("html.tsm", query +
                                     "<TSTABLE QUERY=\"q\" HTMLTABLE><TSCOL TEXT=\"#name#\" WIDTH=\"50\">"
                                     "</TSTABLE>");
    EXPECT_EQ(html.body,
              "<TABLE  ><TR><TD  ALIGN=LEFT  WIDTH=50% >Ann</TD></TR>\n"
              "<TR><TD  ALIGN=LEFT  WIDTH=50% >Bob</TD></TR>\n</TABLE>\n");
}

TEST_F(DbTagsThroughWebServer, TableHeaderReadsTheTableQuerysFirstRow) {
    ASSERT_EQ(Page("fill.tsm", Query("INSERT INTO staff VALUES (1, 'Ann', 'Sales')") +
                                   Query("INSERT INTO staff VALUES (2, 'Bob', 'Stock')") + "ok")
                  .body,
              "ok");
    auto table = Page("dept.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                                      "\">SELECT name, note AS dept FROM staff ORDER BY id</TSQUERY>"
                                      "<TSTABLE QUERY=\"q\" HEADERLINES=\"1\"><TSCOL HEADER=\"#dept#\" "
                                      "TEXT=\"#name#\" WIDTH=\"5\"></TSTABLE>");
    ASSERT_EQ(table.status, 200) << table.error << table.body;
    EXPECT_EQ(table.body, "<PRE>\nSales  \nAnn    \nBob    \n</PRE>\n");
}

}  // namespace

namespace {

// The same pages on the private PostgreSQL server, whose data source the engine finds in the
// tests' ODBC configuration.
class DbTagsOnPostgresThroughWebServer : public e2e::SiteTest {
protected:
    static void SetUpTestSuite() {
        // Before any site's private TMPDIR, which the server's user cannot reach.
        tessaro::database::OdbcTestConfig::Instance();
        tessaro::database::PgTestServer::Instance();
    }

    void SetUp() override {
        auto& pg = tessaro::database::PgTestServer::Instance();
        ASSERT_TRUE(pg.Available()) << "PostgreSQL not available: " << pg.Reason();
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        auto made =
            Page("setup.tsm", Query("DROP TABLE IF EXISTS " + staff_) + Query("DROP TABLE IF EXISTS " + codes_) +
                                  Query("CREATE TABLE " + staff_ + " (id int PRIMARY KEY, name varchar(30))") +
                                  Query("CREATE TABLE " + codes_ + " (code varchar(10) UNIQUE)") + "ready");
        ASSERT_EQ(made.body, "ready") << made.error << made.body;
    }

    void TearDown() override {
        if (site.port() != 0)
            Page("drop.tsm", Query("DROP TABLE IF EXISTS " + staff_) + Query("DROP TABLE IF EXISTS " + codes_));
    }

    static std::string Login() {
        return std::string("DATASOURCE=\"") + tessaro::database::PgTestServer::kDsn + "\" USERNAME=\"" +
               tessaro::database::PgTestServer::kUser + "\"";
    }
    static std::string Query(const std::string& sql) { return "<TSQUERY " + Login() + ">" + sql + "</TSQUERY>"; }
    std::string Names(const std::string& table) {
        return Page("names.tsm", "<TSQUERY NAME=\"q\" " + Login() + ">SELECT name FROM " + table +
                                     " ORDER BY id</TSQUERY><TSOUTPUT QUERY=\"q\">#name#;</TSOUTPUT>")
            .body;
    }
    e2e::HttpResponse Post(const std::string& target, const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: application/x-www-form-urlencoded"}, body);
    }

    const std::string staff_ = "e2e_staff_" + std::to_string(getpid());
    const std::string codes_ = "e2e_codes_" + std::to_string(getpid());
};

TEST_F(DbTagsOnPostgresThroughWebServer, InsertUpdateAndTransaction) {
    site.WriteDocument("insert.tsm", "<TSINSERT " + Login() + " TABLENAME=\"public." + staff_ + "\">saved");
    EXPECT_EQ(Post("/insert.tsm", "id=1&name=O%27Neil").body, "saved");
    EXPECT_EQ(Post("/insert.tsm", "id=2&name=Bob").body, "saved");
    auto forged = Post("/insert.tsm", "id=3&name%29%3B+DROP+TABLE+x%3B+--=x");
    EXPECT_THAT(forged.body, HasSubstr("Field name not found in the specified table."));

    site.WriteDocument("update.tsm", "<TSUPDATE " + Login() + " TABLENAME=\"" + staff_ + "\">done");
    EXPECT_EQ(Post("/update.tsm", "id=2&name=Bea").body, "done");
    EXPECT_EQ(Names(staff_), "O'Neil;Bea;");

    auto rolled = Page("rolled.tsm", "<TSTRANSACTION>" + Query("INSERT INTO " + codes_ + " VALUES ('c')") +
                                         Query("INSERT INTO " + codes_ + " VALUES ('c')") + "</TSTRANSACTION>");
    EXPECT_THAT(rolled.body, HasSubstr("was rolled back"));
    auto kept = Page("kept.tsm", "<TSTRANSACTION>" + Query("INSERT INTO " + codes_ + " VALUES ('a')") +
                                     Query("INSERT INTO " + codes_ + " VALUES ('b')") + "</TSTRANSACTION>ok");
    EXPECT_EQ(kept.body, "ok");
    auto codes = Page("codes.tsm", "<TSQUERY NAME=\"q\" " + Login() + ">SELECT code FROM " + codes_ +
                                       " ORDER BY code</TSQUERY><TSOUTPUT QUERY=\"q\">#code#;</TSOUTPUT>");
    EXPECT_EQ(codes.body, "a;b;");
}

}  // namespace
