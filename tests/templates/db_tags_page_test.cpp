// TSINSERT, TSUPDATE, TSTRANSACTION and TSTABLE on a SQLite data source, and the
// Insert and Update actions: pages run as the engine runs them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/templates/pages/inserter_page.h"
#include "engine/templates/pages/insert_update.h"
#include "engine/templates/tags/table/table_engine.h"
#include "platform/clock.h"
#include "tests/common/pg_test_server.h"
#include "support/text_helpers.h"
#include "sqlite_page_site.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class DbTagsPage : public CoreTagsPage {
protected:
    void SetUp() override {
        CoreTagsPage::SetUp();
        Exec(
            "CREATE TABLE staff (id INTEGER PRIMARY KEY, name VARCHAR(30), note VARCHAR(40), salary INTEGER, "
            "hired DATE)");
        Exec("CREATE TABLE codes (code VARCHAR(10) UNIQUE)");
        Exec("CREATE TABLE notes (a VARCHAR(10), b VARCHAR(10))");
    }

    static std::map<std::string, std::string> PostRequest(const std::string& script, const std::string& query,
                                                          const std::string& body) {
        std::map<std::string, std::string> cgi = Script(script, query);
        cgi["REQUEST_METHOD"] = "POST";
        cgi["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
        cgi["CONTENT_LENGTH"] = std::to_string(body.size());
        return cgi;
    }

    PageOutcome Post(const std::string& text, const std::string& body) {
        Write("post.tsm", text);
        return RunPage<CQueryPage>(PostRequest("/post.tsm", "", body), body);
    }

    PageOutcome Action(const std::string& action, const std::string& body) {
        return RunPage<CInserterPage>(PostRequest("/any.tsm", "action=" + action, body), body);
    }

    // The values of the query's column v, each followed by ";".
    std::string Values(const std::string& sql) {
        PageOutcome out = Run(Query("s", sql) + "<TSOUTPUT QUERY=\"s\">#v#;</TSOUTPUT>");
        EXPECT_FALSE(out.failed) << sql << ": " << out.title << out.detail;
        return out.body;
    }

    std::string Tag(const std::string& tag, const std::string& attributes = "") {
        return "<" + tag + " DATASOURCE=\"" + dsn_ + "\" " + attributes + ">";
    }
};

TEST_F(DbTagsPage, InsertAddsOneRowWithQuotesAndLeavesEmptyFieldsOut) {
    PageOutcome out = Post(Tag("TSINSERT", "TABLENAME=\"staff\"") + "done",
                           "id=7&name=O%27Neil+%22x%22&note=&salary=1200&hired=2024-01-31");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "done");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "1;");
    EXPECT_EQ(Values("SELECT name AS v FROM staff WHERE id = 7"), "O'Neil \"x\";");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff WHERE note IS NULL"), "1;");
    EXPECT_EQ(Values("SELECT salary AS v FROM staff"), "1200;");
    EXPECT_EQ(Values("SELECT hired AS v FROM staff"), "2024-01-31;");

    // A timestamp keeps its time; a date that is none is refused.
    Exec("CREATE TABLE stamps (id INTEGER PRIMARY KEY, at TIMESTAMP)");
    PageOutcome stamped = Post(Tag("TSINSERT", "TABLENAME=\"stamps\""), "id=1&at=2024-01-31+10%3A30%3A15");
    ASSERT_FALSE(stamped.failed) << stamped.title << stamped.detail;
    EXPECT_THAT(Values("SELECT at AS v FROM stamps"), HasSubstr("2024-01-31 10:30:15"));
    PageOutcome notDate = Post(Tag("TSINSERT", "TABLENAME=\"stamps\"") + "after", "id=2&at=someday");
    EXPECT_THAT(notDate.body, HasSubstr("is not correctly formatted"));

    // Bytes that are no text of any kind arrive as they were sent.
    PageOutcome bytes = Post(Tag("TSINSERT", "TABLENAME=\"staff\""), "id=8&note=%01%FE%7F%27%5C");
    ASSERT_FALSE(bytes.failed) << bytes.title << bytes.detail;
    EXPECT_EQ(Values("SELECT note AS v FROM staff WHERE id = 8"), "\x01\xFE\x7F'\\;");
}

TEST_F(DbTagsPage, TheDateKeywordsAreStoredAsTheDatesTheyName) {
    // A bound value is data: the date itself, never the escape that would name it in SQL text.
    const std::string before = tessaro::platform::FormatLocalTimeNow("%Y-%m-%d");
    PageOutcome out = Post(Tag("TSINSERT", "TABLENAME=\"staff\""), "id=1&hired=CurrentDate%28+%29");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    const std::string after = tessaro::platform::FormatLocalTimeNow("%Y-%m-%d");
    std::string stored = Values("SELECT hired AS v FROM staff");
    EXPECT_TRUE(stored == before + ";" || stored == after + ";") << stored;
}

TEST_F(DbTagsPage, ForgedColumnNameIsRefusedBeforeAnyStatement) {
    const std::string forged[] = {"name%29%3B+DROP+TABLE+staff%3B+--", "nam%25", "n_me", "%22name%22"};
    for (const std::string& field : forged) {
        PageOutcome out = Post(Tag("TSINSERT", "TABLENAME=\"staff\""), "id=1&" + field + "=x");
        ASSERT_TRUE(out.failed) << field;
        EXPECT_EQ(out.title, "Field name not found in the specified table.<P>") << field;
    }
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "0;");
}

TEST_F(DbTagsPage, TableNamesAreCheckedAgainstTheCatalog) {
    struct Case {
        const char* table;
        const char* title;
    } cases[] = {
        {"staff; DROP TABLE staff", "The table 'staff; DROP TABLE staff' was not found in the data source '"},
        {"st%", "The table 'st%' was not found in the data source '"},
        {"staff x", "The table 'staff x' was not found in the data source '"},
        {"a.b.c.d", "Invalid ODBC table name (contains more than 2 qualifiers)<P>"},
    };
    for (const Case& c : cases) {
        PageOutcome out = Post(Tag("TSINSERT", std::string("TABLENAME=\"") + c.table + "\""), "id=1");
        ASSERT_TRUE(out.failed) << c.table;
        EXPECT_EQ(out.title.rfind(c.title, 0), 0u) << out.title;
    }
    PageOutcome none = Post(Tag("TSINSERT"), "id=1");
    EXPECT_EQ(none.title, "Invalid KSINSERT Tag<P>");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "0;");
}

TEST_F(DbTagsPage, FormFieldsLimitTheColumnsAndValuesAreChecked) {
    PageOutcome limited =
        Post(Tag("TSINSERT", "TABLENAME=\"STAFF\" FORMFIELDS=\"id, name\""), "id=1&name=Ann&salary=lots&other=x");
    ASSERT_FALSE(limited.failed) << limited.title << limited.detail;
    EXPECT_EQ(Values("SELECT name AS v FROM staff WHERE salary IS NULL"), "Ann;");

    PageOutcome invalid = Post(Tag("TSINSERT", "TABLENAME=\"staff\"") + "after", "id=2&name=Bob&salary=lots");
    ASSERT_FALSE(invalid.failed) << invalid.title;
    EXPECT_THAT(invalid.body, HasSubstr("<UL><LI>"));
    EXPECT_THAT(invalid.body, Not(HasSubstr("after")));
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "1;");

    PageOutcome empty = Post(Tag("TSINSERT", "TABLENAME=\"staff\""), "name=&note=");
    ASSERT_TRUE(empty.failed);
    EXPECT_EQ(empty.title, "No values to insert into the table staff.<P>");
}

TEST_F(DbTagsPage, UpdateChangesTheRowItsKeySelectsOnly) {
    Exec("INSERT INTO staff (id, name, note) VALUES (1, 'Ann', 'a'), (2, 'Bob', 'b'), (3, 'Cy', 'c')");
    PageOutcome out = Post(Tag("TSUPDATE", "TABLENAME=\"staff\"") + "ok", "id=2&name=Bea&note=");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "ok");
    EXPECT_EQ(Values("SELECT name || '/' || COALESCE(note, 'NULL') AS v FROM staff ORDER BY id"),
              "Ann/a;Bea/NULL;Cy/c;");

    PageOutcome noKey = Post(Tag("TSUPDATE", "TABLENAME=\"staff\""), "name=All");
    EXPECT_EQ(noKey.title, "Primary key field id not found.<P>");
    PageOutcome emptyKey = Post(Tag("TSUPDATE", "TABLENAME=\"staff\""), "id=&name=All");
    EXPECT_EQ(emptyKey.title, "Primary key field id is empty.<P>");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff WHERE name = 'All'"), "0;");
}

TEST_F(DbTagsPage, UpdateOfATableWithoutKeyUsesTheRowId) {
    Exec("INSERT INTO notes VALUES ('x', '1'), ('y', '2')");
    PageOutcome out = Post(Tag("TSUPDATE", "TABLENAME=\"notes\""), "_ROWID_=2&b=changed");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(Values("SELECT a || b AS v FROM notes ORDER BY a"), "x1;ychanged;");
    PageOutcome without = Post(Tag("TSUPDATE", "TABLENAME=\"notes\""), "b=all");
    EXPECT_EQ(without.title, "Primary key field _ROWID_ not found.<P>");
}

TEST_F(DbTagsPage, TransactionCommitsBothOrNeither) {
    auto insert = [this](const std::string& code) {
        return "<TSQUERY DATASOURCE=\"" + dsn_ + "\">INSERT INTO codes VALUES ('" + code + "')</TSQUERY>";
    };
    PageOutcome both = Run("<TSTRANSACTION>" + insert("a") + insert("b") + "</TSTRANSACTION>done");
    ASSERT_FALSE(both.failed) << both.title << both.detail;
    EXPECT_EQ(Values("SELECT code AS v FROM codes ORDER BY code"), "a;b;");

    PageOutcome clash = Run("<TSTRANSACTION>" + insert("c") + insert("c") + "</TSTRANSACTION>");
    ASSERT_TRUE(clash.failed);
    EXPECT_THAT(clash.detail, HasSubstr("was rolled back"));
    EXPECT_EQ(Values("SELECT code AS v FROM codes ORDER BY code"), "a;b;");

    // A form insert and a query in one window.
    PageOutcome mixed =
        Post("<TSTRANSACTION>" + Tag("TSINSERT", "TABLENAME=\"codes\"") + insert("d") + "</TSTRANSACTION>", "code=d");
    ASSERT_TRUE(mixed.failed);
    EXPECT_EQ(Values("SELECT code AS v FROM codes ORDER BY code"), "a;b;");

    PageOutcome open = Run("<TSTRANSACTION>" + insert("e"));
    EXPECT_EQ(open.title, "Transaction tag not terminated properly<P>");
    PageOutcome aborted = Run("<TSTRANSACTION>" + insert("f") + "<TSABORT></TSTRANSACTION>");
    EXPECT_FALSE(aborted.failed) << aborted.title;
    EXPECT_EQ(Values("SELECT code AS v FROM codes ORDER BY code"), "a;b;");
}

TEST_F(DbTagsPage, TransactionWindowErrors) {
    struct Case {
        std::string text;
        const char* title;
    } cases[] = {
        {"<TSTRANSACTION><TSTRANSACTION>", "Invalid use of TSTRANSACTION tag<P>"},
        {"</TSTRANSACTION>", "Invalid end transaction tag (/TSTRANSACTION) encountered<P>"},
        {"<TSTRANSACTION>" + Query("a", "INSERT INTO codes VALUES ('u')") + "<TSQUERY NAME=\"b\" DATASOURCE=\"" + dsn_ +
             "\" USERNAME=\"other\">SELECT 1</TSQUERY></TSTRANSACTION>",
         "More than one data source used in a TSTRANSACTION<P>"},
    };
    for (const Case& c : cases) {
        PageOutcome out = Run(c.text);
        ASSERT_TRUE(out.failed) << c.text;
        EXPECT_EQ(out.title, c.title);
    }
    // The first statement of the refused window was rolled back.
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM codes"), "0;");
    // A window that sends nothing needs no end tag; the data-source name's case does not matter.
    EXPECT_FALSE(Run("<TSTRANSACTION>text").failed);
    PageOutcome cased =
        Run("<TSTRANSACTION>" + Query("a", "INSERT INTO codes VALUES ('v')") + "<TSQUERY NAME=\"b\" DATASOURCE=\"" +
            UpperCopy(dsn_) + "\">INSERT INTO codes VALUES ('w')</TSQUERY></TSTRANSACTION>");
    ASSERT_FALSE(cased.failed) << cased.title << cased.detail;
    EXPECT_EQ(Values("SELECT code AS v FROM codes ORDER BY code"), "v;w;");
}

TEST_F(DbTagsPage, PreformattedTable) {
    PageOutcome out = Run(Query("q", "SELECT id, name FROM people ORDER BY id") +
                          "<TSTABLE QUERY=\"q\" COLSPACING=\"1\"><TSCOL TEXT=\"#name#\" WIDTH=\"4\" HEADER=\"Name\">"
                          "<TSCOL TEXT=\"#id#\" WIDTH=\"3\" ALIGN=\"right\"></TSTABLE>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "<PRE>\nName     \n\nAnn    1 \nBob    2 \nCy     3 \n</PRE>\n");

    PageOutcome window = Run(Query("q", "SELECT id FROM people ORDER BY id") +
                             "<TSTABLE QUERY=\"q\" STARTROW=\"2\" MAXROWS=\"2\"><TSCOL TEXT=\"#id#\" WIDTH=\"1\">"
                             "</TSTABLE>");
    EXPECT_EQ(window.body, "<PRE>\n2  \n</PRE>\n");
    PageOutcome empty = Run(Query("q", "SELECT id FROM people WHERE id > 9") +
                            "<TSTABLE QUERY=\"q\" COLHEADERS HEADERLINES=\"1\"><TSCOL TEXT=\"#id#\" HEADER=\"Id\" "
                            "WIDTH=\"2\" ALIGN=\"center\"></TSTABLE>");
    EXPECT_EQ(empty.body, "<PRE>\nId  \n</PRE>\n");
}

TEST_F(DbTagsPage, TableTagsResolveNamesAgainstTheTableQuery) {
    // HEADER reads the first row, each TEXT its own row, even inside a loop over another query.
    PageOutcome out = Run(Query("q", "SELECT id, name FROM people ORDER BY id") +
                          Query("other", "SELECT 7 AS id, 'Zed' AS name") +
                          "<TSLOOP QUERY=\"other\"><TSTABLE QUERY=\"q\" HEADERLINES=\"1\" COLSPACING=\"1\">"
                          "<TSCOL HEADER=\"#name#\" TEXT=\"#name#/#id#\" WIDTH=\"5\"></TSTABLE></TSLOOP>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body, "<PRE>\nAnn   \nAnn/1 \nBob/2 \nCy/3  \n</PRE>\n");
    // Once the table is written its query is no longer the current one.
    PageOutcome after = Run(Query("q", "SELECT id, name FROM people ORDER BY id") +
                            "<TSTABLE QUERY=\"q\"><TSCOL TEXT=\"#id#\"></TSTABLE><TSSET x = \"#name#\">");
    ASSERT_TRUE(after.failed);
    EXPECT_THAT(after.title, HasSubstr("<HR><P>Error resolving parameter <B>name</B><P>"));
}

TEST_F(DbTagsPage, HtmlTable) {
    PageOutcome out = Run(Query("q", "SELECT id, name FROM people ORDER BY id") +
                          "<TSTABLE QUERY=\"q\" HTMLTABLE BORDER STARTROW=\"2\"><TSCOL TEXT=\"<B>#name#</B>\" "
                          "WIDTH=\"30\"><TSCOL TEXT=\"#id#\" ALIGN=\"Center\"></TSTABLE>");
    ASSERT_FALSE(out.failed) << out.title << out.detail;
    EXPECT_EQ(out.body,
              "<TABLE  BORDER  >"
              "<TR><TD  ALIGN=LEFT  WIDTH=30% ><B>Bob</B></TD><TD  ALIGN=CENTER >2</TD></TR>\n"
              "<TR><TD  ALIGN=LEFT  WIDTH=30% ><B>Cy</B></TD><TD  ALIGN=CENTER >3</TD></TR>\n"
              "</TABLE>\n");
    // MAXROWS bounds the HTML form too.
    PageOutcome bounded = Run(Query("q", "SELECT id FROM people ORDER BY id") +
                              "<TSTABLE QUERY=\"q\" HTMLTABLE MAXROWS=\"1\"><TSCOL TEXT=\"#id#\" HEADER=\"N\">"
                              "</TSTABLE>");
    EXPECT_EQ(bounded.body, "<TABLE  ><TR><TH  ALIGN=LEFT >N</TH></TR>\n<TR><TD  ALIGN=LEFT >1</TD></TR>\n</TABLE>\n");
}

TEST_F(DbTagsPage, TableErrors) {
    struct Case {
        std::string text;
        const char* title;
    } cases[] = {
        {"<TSTABLE><TSCOL TEXT=\"x\"></TSTABLE>", "Error occurred while processing TS tag<P>"},
        {"<TSTABLE QUERY=\"none\"><TSCOL TEXT=\"x\"></TSTABLE>", "Invalid QUERY name specified in TS tag<P>"},
        {Query("q", "SELECT 1 AS x") + "<TSTABLE QUERY=\"q\"><TSCOL WIDTH=\"3\"></TSTABLE>",
         "Invalid TSCOL tag (TEXT attribute not specified)<P>"},
        {Query("q", "SELECT 1 AS x") + "<TSTABLE QUERY=\"q\" STARTROW=\"0\"><TSCOL TEXT=\"x\"></TSTABLE>",
         "An error occurred while attempting to process a TSTABLE tag.<P>"},
    };
    for (const Case& c : cases) {
        PageOutcome out = Run(c.text);
        ASSERT_TRUE(out.failed) << c.text;
        EXPECT_EQ(out.title, c.title) << c.text;
    }
}

TEST(TableColumnFit, PaddingTruncationMarkupAndEntities) {
    struct Case {
        const char* text;
        int width;
        CTableColumn::Alignment alignment;
        const char* fitted;
    } cases[] = {
        {"ab", 5, CTableColumn::Right, "   ab"},        {"ab", 5, CTableColumn::Left, "ab   "},
        {"ab", 5, CTableColumn::Center, " ab  "},       {"<B>abcdef</B>", 3, CTableColumn::Left, "<B>abc</B>"},
        {"a&amp;b", 4, CTableColumn::Left, "a&amp;b "}, {"a&b c;", 6, CTableColumn::Left, "a&b c;"},
        {"abc", 3, CTableColumn::Right, "abc"},
    };
    for (const Case& c : cases) {
        CTableColumn column;
        column.width = c.width;
        column.alignment = c.alignment;
        EXPECT_EQ(CTableTag::FitToColumn(c.text, column), c.fitted) << c.text;
    }
    EXPECT_EQ(CTableTag::VisibleLength("a&amp;b"), 3u);
    EXPECT_EQ(CTableTag::VisibleLength("&toolongname;"), 13u);
}

TEST(InsertUpdateHelpers, NamesListsAndLiterals) {
    EXPECT_EQ(QuoteIdentifier("staff", "\""), "\"staff\"");
    EXPECT_EQ(QuoteIdentifier("a\"b", "\""), "\"a\"\"b\"");
    EXPECT_EQ(QuoteIdentifier("a`b", "`"), "`a``b`");
    EXPECT_EQ(QuoteIdentifier("plain_1", ""), "plain_1");
    CWebException* refused = nullptr;
    try {
        QuoteIdentifier("a b", "");
    } catch (CWebException* e) {
        refused = e;
    }
    ASSERT_NE(refused, nullptr);
    refused->Delete();

    EXPECT_EQ(ParseFormFieldList("a, b\n,,c "), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(UnwrapOdbcLiteral("{d '2024-01-31'}"), "2024-01-31");
    EXPECT_EQ(UnwrapOdbcLiteral("{ts '2024-01-31 10:00:00'}"), "2024-01-31 10:00:00");
    EXPECT_EQ(UnwrapOdbcLiteral("{x 'y'}"), "{x 'y'}");
    EXPECT_EQ(UnwrapOdbcLiteral("plain"), "plain");
}

TEST_F(DbTagsPage, InsertAndUpdateActions) {
    const std::string form = "DATASOURCE=" + dsn_ + "&TABLENAME=staff&NEXTPAGE=done.tsm%0D%0ASet-Cookie:+x=1";
    PageOutcome refused = Action("Insert", form + "&id=1&name=Ann");
    EXPECT_EQ(refused.title, "Insert and Update Actions Not Permitted<P>");
    Set("DataSources\\" + dsn_, "AllowIUActions", "1");

    PageOutcome inserted = Action("insert", form + "&id=1&name=Ann");
    ASSERT_FALSE(inserted.failed) << inserted.title << inserted.detail;
    EXPECT_THAT(inserted.headers, HasSubstr("Location: done.tsmSet-Cookie: x=1\n"));
    EXPECT_EQ(Values("SELECT name AS v FROM staff"), "Ann;");

    PageOutcome forged = Action("Insert", form + "&id=2&name%29%3B+DROP+TABLE+staff%3B+--=x");
    EXPECT_EQ(forged.title, "Field name not found in the specified table.<P>");
    PageOutcome badTable = Action("Insert", "DATASOURCE=" + dsn_ + "&TABLENAME=staff%22+x&NEXTPAGE=n&id=3");
    EXPECT_TRUE(badTable.failed);

    PageOutcome updated = Action("Update", form + "&id=1&name=Ada");
    ASSERT_FALSE(updated.failed) << updated.title << updated.detail;
    EXPECT_EQ(Values("SELECT name AS v FROM staff"), "Ada;");

    PageOutcome required = Action("Insert", form + "&id=5&name=&name_REQUIRED=Name+please");
    EXPECT_FALSE(required.failed);
    EXPECT_THAT(required.body, HasSubstr("Name please"));

    PageOutcome noNext = Action("iNsErT", "DATASOURCE=" + dsn_ + "&TABLENAME=staff&id=9");
    EXPECT_EQ(noNext.title, "Form field 'NEXTPAGE' not found in script input.<P>");
    EXPECT_EQ(noNext.detail, "This field is required in order to process the iNsErT request.<P>");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "1;");
}

TEST_F(DbTagsPage, TheActionsTakeTheTableFieldsAsPosted) {
    Set("DataSources\\" + dsn_, "AllowIUActions", "1");
    PageOutcome padded = Action("Insert", "DATASOURCE=" + dsn_ + "&TABLENAME=+staff&NEXTPAGE=n&id=3&name=Cy");
    ASSERT_TRUE(padded.failed);
    EXPECT_EQ(padded.title, "The table ' staff' was not found in the data source '" + dsn_ + "'.<P>");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM staff"), "0;");
    PageOutcome plain = Action("Insert", "DATASOURCE=" + dsn_ + "&TABLENAME=staff&NEXTPAGE=n&id=3&name=Cy");
    ASSERT_FALSE(plain.failed) << plain.title << plain.detail;
    EXPECT_EQ(Values("SELECT name AS v FROM staff"), "Cy;");
}

}  // namespace

namespace {

TEST_F(DbTagsPage, IsolationLevelsTheDriverLacksAreRefused) {
    auto insert = "<TSQUERY DATASOURCE=\"" + dsn_ + "\">INSERT INTO codes VALUES ('i')</TSQUERY>";
    PageOutcome unknown = Run("<TSTRANSACTION ISOLATION=\"SOMETIMES\">" + insert + "</TSTRANSACTION>");
    EXPECT_EQ(unknown.title, "ISOLATION specified for TSTRANSACTION not recognized.<P>");
    PageOutcome lacking = Run("<TSTRANSACTION ISOLATION=\"READ_COMMITTED\">" + insert + "</TSTRANSACTION>");
    EXPECT_EQ(lacking.title, "ISOLATION specified for TSTRANSACTION not supported by data source.<P>");
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM codes"), "0;");
    PageOutcome offered = Run("<TSTRANSACTION ISOLATION=\"SERIALIZABLE\">" + insert + "</TSTRANSACTION>");
    ASSERT_FALSE(offered.failed) << offered.title << offered.detail;
    EXPECT_EQ(Values("SELECT COUNT(*) AS v FROM codes"), "1;");
}

class DbTagsPagePostgres : public DbTagsPage {
protected:
    void SetUp() override {
        // Started before the site's private TMPDIR, which the server's user cannot reach.
        tessaro::database::OdbcTestConfig::Instance();
        tessaro::database::PgTestServer::Instance();
        DbTagsPage::SetUp();
    }

    static std::string Login() {
        return std::string("DATASOURCE=\"") + tessaro::database::PgTestServer::kDsn + "\" USERNAME=\"" +
               tessaro::database::PgTestServer::kUser + "\"";
    }
    static std::string PgQuery(const std::string& name, const std::string& sql) {
        return "<TSQUERY " + (name.empty() ? std::string() : "NAME=\"" + name + "\" ") + Login() + ">" + sql +
               "</TSQUERY>";
    }
    std::string PgValues(const std::string& sql) {
        PageOutcome out = Run(PgQuery("s", sql) + "<TSOUTPUT QUERY=\"s\">#v#;</TSOUTPUT>");
        EXPECT_FALSE(out.failed) << sql << ": " << out.title << out.detail;
        return out.body;
    }
};

TEST_F(DbTagsPagePostgres, SamePagesOnPostgres) {
    auto& pg = tessaro::database::PgTestServer::Instance();
    ASSERT_TRUE(pg.Available()) << "PostgreSQL not available: " << pg.Reason();
    const std::string staff = "dbtags_staff_" + std::to_string(getpid());
    const std::string codes = "dbtags_codes_" + std::to_string(getpid());
    PageOutcome made =
        Run(PgQuery("", "DROP TABLE IF EXISTS " + staff) + PgQuery("", "DROP TABLE IF EXISTS " + codes) +
            PgQuery("", "CREATE TABLE " + staff + " (id int PRIMARY KEY, name varchar(30), salary int)") +
            PgQuery("", "CREATE TABLE " + codes + " (code varchar(10) UNIQUE)"));
    ASSERT_FALSE(made.failed) << made.title << made.detail;

    // A qualified name: each part is quoted on its own.
    std::string insert = "<TSINSERT " + Login() + " TABLENAME=\"public." + staff + "\">";
    PageOutcome added = Post(insert + "ok", "id=1&name=O%27Neil&salary=");
    ASSERT_FALSE(added.failed) << added.title << added.detail;
    EXPECT_EQ(Post(insert, "id=2&name=Bob&salary=10").failed, false);
    PageOutcome forged = Post(insert, "id=3&name%29%3B+DROP+TABLE+x%3B+--=x");
    EXPECT_EQ(forged.title, "Field name not found in the specified table.<P>");
    PageOutcome invalid = Post(insert, "id=4&salary=lots");
    EXPECT_THAT(invalid.body, HasSubstr("<UL><LI>"));

    PageOutcome updated = Post("<TSUPDATE " + Login() + " TABLENAME=\"" + staff + "\">", "id=2&name=Bea&salary=");
    ASSERT_FALSE(updated.failed) << updated.title << updated.detail;
    EXPECT_EQ(PgValues("SELECT name || '/' || COALESCE(salary::text, 'NULL') AS v FROM " + staff + " ORDER BY id"),
              "O'Neil/NULL;Bea/NULL;");

    auto code = [&](const std::string& value) {
        return PgQuery("", "INSERT INTO " + codes + " VALUES ('" + value + "')");
    };
    EXPECT_FALSE(Run("<TSTRANSACTION>" + code("a") + code("b") + "</TSTRANSACTION>").failed);
    PageOutcome clash = Run("<TSTRANSACTION>" + code("c") + code("c") + "</TSTRANSACTION>");
    EXPECT_TRUE(clash.failed);
    EXPECT_EQ(PgValues("SELECT code AS v FROM " + codes + " ORDER BY code"), "a;b;");
    PageOutcome isolated = Run("<TSTRANSACTION ISOLATION=\"REPEATABLE_READ\">" + code("d") + "</TSTRANSACTION>");
    EXPECT_FALSE(isolated.failed) << isolated.title << isolated.detail;

    PageOutcome table = Run(PgQuery("q", "SELECT id, name FROM " + staff + " ORDER BY id") +
                            "<TSTABLE QUERY=\"q\" HTMLTABLE><TSCOL TEXT=\"#name#\"></TSTABLE>");
    EXPECT_EQ(table.body,
              "<TABLE  ><TR><TD  ALIGN=LEFT >O'Neil</TD></TR>\n<TR><TD  ALIGN=LEFT >Bea</TD></TR>\n"
              "</TABLE>\n");
    Run(PgQuery("", "DROP TABLE " + staff) + PgQuery("", "DROP TABLE " + codes));
}

}  // namespace
