// SQL quoting by where each character came from, through the whole road (browser ->
// lighttpd -> ksml -> tsengine -> SQLite or PostgreSQL): the template's own quotes are SQL,
// a value's quotes are data, whatever functions, nested evaluations and scopes a value went
// through. Each case returns only the rows the author meant, and a value that tries to end
// a quoted string and add a condition finds nothing.

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"

namespace {

const char kEveryone[] = "[Ada][Brendan][Chiara][Dmitri][\xC3\x89mile]";

struct QuotingCase {
    std::string where;    // the WHERE clause of the page's query
    std::string query;    // the request's parameters
    std::string rows;     // the names it selects, in id order
    bool posted = false;  // the parameters sent as a posted form (read as FORM.name)
};

std::string Encoded(const std::string& name, const std::string& value) {
    return name + "=" + e2e::FormEncode(value);
}

// The condition idiom, cut values, numbers, lists, replacements, case and white space, and
// nested evaluation of a request text.
std::vector<QuotingCase> Cases() {
    const std::string idiom = "#IIf(Len(URL.a) GT 0, DE(\"name = '\" & URL.a & \"'\"), DE(\"1 = 1\"))#";
    // An expression inside SQL text is a variable or a call: the concatenation goes in one.
    const std::string quoted = "name = #Trim(\"'\" & URL.a & \"'\")#";
    // A second value that tries to end the first's quotes and add a condition.
    const std::string orOne = "&" + Encoded("b", " OR 1=1 --");
    const std::string left = "name = '#Left(URL.a, 3)#' AND dept = '#URL.b#'";
    const std::string mid = "name = '#Mid(URL.a, 2, 3)#' AND dept = '#URL.b#'";
    const std::string listSet = "name IN (#ListSetAt(\"'x','y'\", 2, \"'\" & URL.a & \"'\")#)";
    const std::string replaceIn = "name = '#Replace(URL.a, \"-\", \"'\")#'";
    const std::string replaceInto = "#Replace(\"name = 'X'\", \"X\", URL.a)#";
    const std::string evaluate = "name = '#Evaluate(URL.e)#'";
    const auto chr = [](const std::string& expression) { return "name = '#" + expression + "#' AND dept = '#URL.b#'"; };
    return {
        {idiom, Encoded("a", "Ada"), "[Ada]"},
        {idiom, Encoded("a", " OR 1=1 OR name="), ""},
        {idiom, Encoded("a", "O'Neil"), ""},
        {idiom, "a=", kEveryone},
        {quoted, Encoded("a", "Ada"), "[Ada]"},
        {quoted, Encoded("a", "' OR 'a'='a"), ""},
        {quoted, Encoded("a", "x' OR 1=1 --"), ""},
        // Left and Mid cutting a doubled pair.
        {left, "a=Adam&b=X", "[Ada]"},
        {left, Encoded("a", "xx''") + orOne, ""},
        {mid, "a=xAda&b=X", "[Ada]"},
        {mid, Encoded("a", "x''''") + orOne, ""},
        // A quote computed from a value, through numbers.
        {chr("Chr(URL.n)"), "n=39" + orOne, ""},
        {chr("Chr(URL.n + 0)"), "n=39" + orOne, ""},
        {chr("Chr(64 + URL.m)"), "m=-25" + orOne, ""},
        {chr("Chr(Val(URL.n))"), "n=39" + orOne, ""},
        {chr("Chr(Int(URL.n))"), "n=39" + orOne, ""},
        {chr("Chr(Asc(URL.q))"), Encoded("q", "'") + orOne, ""},
        {chr("Chr(Len(URL.l))"), "l=" + std::string(39, 'x') + orOne, ""},
        // The author's own quote from a number stays SQL.
        {"name = #Chr(39)#Ada#Chr(39)#", "", "[Ada]"},
        {"name = '#ListGetAt(URL.l, 2)#'", Encoded("l", "x,Ada"), "[Ada]"},
        {"name = '#ListGetAt(URL.l, 2)#'", Encoded("l", "x,' OR 'a'='a"), ""},
        {listSet, Encoded("a", "Ada"), "[Ada]"},
        {listSet, Encoded("a", "') OR ('a'='a"), ""},
        // A quote in the replacement: among a value's characters it is the value's, in the
        // author's text the author's.
        {replaceIn, Encoded("a", "O-Neil"), ""},
        {replaceIn, Encoded("a", "x- OR 1=1 --"), ""},
        {replaceInto, Encoded("a", "Ada"), "[Ada]"},
        {replaceInto, Encoded("a", "' OR 'a'='a"), ""},
        {"name = '#Trim(URL.a)#'", Encoded("a", "  Ada  "), "[Ada]"},
        {"name = '#Trim(URL.a)#'", Encoded("a", "' OR 'a'='a "), ""},
        {"UPPER(name) = '#UCase(URL.a)#'", Encoded("a", "ada"), "[Ada]"},
        {"UPPER(name) = '#UCase(URL.a)#'", Encoded("a", "' or 'a'='a"), ""},
        {"#UCase(\"name = '\" & URL.a & \"'\")# OR name = 'Ada'", Encoded("a", "' or 'a'='a"), "[Ada]"},
        // A request text evaluated: what it writes is a value.
        {evaluate, Encoded("e", "\"Ada\""), "[Ada]"},
        {evaluate, Encoded("e", "\"' OR 'a'='a\""), ""},
        {evaluate, Encoded("e", "Chr(39) & \" OR 1=1 --\""), ""},
        // Lines of a text area end in CR LF (posted: a URL holds no control character).
        {idiom, Encoded("a", "Ada\r\n' OR 'a'='a"), "", true},
        {quoted, Encoded("a", "\r\n' OR 'a'='a\r\n"), "", true},
        {"name = '#Trim(URL.a)#'", Encoded("a", "\r\nAda\r\n"), "[Ada]", true},
        {evaluate, Encoded("e", "\"\r\n' OR 'a'='a\""), "", true},
        {evaluate, Encoded("e", "'\r\n\r\n'' OR ''a''=''a'"), "", true},
    };
}

// The pages of one data source; `login` names it in TSQUERY.
class QuotingSite {
public:
    QuotingSite(e2e::Site& site, std::string login, std::string suffix)
        : site_(site), login_(std::move(login)), employees_("employees" + suffix), notes_("notes" + suffix) {}

    std::string Query(const std::string& sql, const std::string& name = "") const {
        return "<TSQUERY " + login_ + (name.empty() ? "" : " NAME=\"" + name + "\"") + ">" + sql + "</TSQUERY>";
    }

    void Setup() {
        const std::string page =
            Query("DROP TABLE IF EXISTS " + employees_) + Query("DROP TABLE IF EXISTS " + notes_) +
            Query("CREATE TABLE " + employees_ + " (id INTEGER, name VARCHAR(40), dept VARCHAR(10), salary INTEGER)") +
            Query("INSERT INTO " + employees_ +
                  " VALUES (1, 'Ada', 'X', 10), (2, 'Brendan', 'Y', 20), (3, 'Chiara', 'X', 30), (4, 'Dmitri', 'Z', "
                  "40), (5, '\xC3\x89mile', 'Y', 50)") +
            Query("CREATE TABLE " + notes_ + " (id INTEGER, who VARCHAR(40))") +
            Query("INSERT INTO " + notes_ + " VALUES (1, 'Ada'), (2, 'O''Neil'), (3, ''' OR ''a''=''a')") + "ready";
        auto made = Get("setup.tsm", page);
        ASSERT_EQ(made.body, "ready") << made.body;
    }

    void Drop() {
        Get("drop.tsm", Query("DROP TABLE IF EXISTS " + employees_) + Query("DROP TABLE IF EXISTS " + notes_));
    }

    // The names the page's WHERE clause selects, as "[a][b]"; `before` runs first.
    std::string Rows(const std::string& where, const std::string& query, const std::string& before = "",
                     const std::vector<std::string>& headers = {}) {
        WriteRowsPage(where, before);
        return Outcome(e2e::HttpRequest(site_.port(), "GET", "/rows.tsm?" + query, headers));
    }

    // The same for a form posted as a browser posts it.
    std::string RowsPosted(const std::string& where, const std::string& form) {
        WriteRowsPage(where, "");
        return Outcome(e2e::HttpRequest(site_.port(), "POST", "/rows.tsm",
                                        {"Content-Type: application/x-www-form-urlencoded"}, form));
    }

    void CheckEveryCase() {
        for (const QuotingCase& c : Cases()) {
            std::string where = c.where;
            for (std::size_t at = where.find("URL."); c.posted && at != std::string::npos; at = where.find("URL."))
                where.replace(at, 4, "FORM.");
            EXPECT_EQ(c.posted ? RowsPosted(where, c.query) : Rows(where, c.query), c.rows)
                << where << " ? " << c.query;
        }
    }

    // QuotedValueList and ValueList of a column holding a quote.
    void CheckQueryLists() {
        EXPECT_EQ(
            Rows("name IN (#QuotedValueList(n.who)#)", "", Query("SELECT who FROM " + notes_ + " ORDER BY id", "n")),
            "[Ada]");
        EXPECT_EQ(Rows("name = '#ValueList(n.who)#'", "", Query("SELECT who FROM " + notes_ + " WHERE id > 1", "n")),
                  "");
        EXPECT_EQ(Rows("name = '#ValueList(n.who)#'", "", Query("SELECT who FROM " + notes_ + " WHERE id = 3", "n")),
                  "");
        EXPECT_EQ(Rows("name = '#ValueList(n.who)#'", "", Query("SELECT who FROM " + notes_ + " WHERE id = 1", "n")),
                  "[Ada]");
    }

    // A value one request stores, read from the database into the SQL of the next.
    void CheckStoredValues() {
        const std::string store = Query("INSERT INTO " + notes_ + " VALUES (#URL.id#, '#URL.a#')") + "stored";
        for (const char* value : {"Ada", "' OR 'a'='a", "x' OR 1=1 --"}) {
            const std::string id = std::string(value) == "Ada" ? "10" : std::string(value)[0] == '\'' ? "11" : "12";
            site_.WriteDocument("store.tsm", store);
            auto stored = site_.Get("/store.tsm?id=" + id + "&" + Encoded("a", value));
            ASSERT_EQ(stored.body, "stored") << value << stored.body;
            EXPECT_EQ(Rows("name = '#s.who#'", "", Query("SELECT who FROM " + notes_ + " WHERE id = " + id, "s")),
                      std::string(value) == "Ada" ? "[Ada]" : "")
                << value;
        }
    }

    // A cookie and a client variable holding a quote.
    void CheckCookieAndClientVariables() {
        EXPECT_EQ(Rows("name = '#Cookie.who#'", "", "", {"Cookie: WHO=Ada"}), "[Ada]");
        EXPECT_EQ(Rows("name = '#Cookie.who#'", "", "", {"Cookie: WHO=" + e2e::FormEncode("' OR 'a'='a")}), "");
        const std::string application = "<TSAPPLICATION NAME=\"quoting\" CLIENTMANAGEMENT=\"yes\">";
        for (const char* value : {"Ada", "' OR 'a'='a"}) {
            site_.WriteDocument("remember.tsm", application + "<TSSET Client.who = URL.a>remembered");
            auto first = site_.Get("/remember.tsm?" + Encoded("a", value));
            ASSERT_EQ(first.body, "remembered") << first.body;
            const std::string cookie =
                "Cookie: TSID=" + e2e::CookieValue(first, "TSID") + "; TSTOKEN=" + e2e::CookieValue(first, "TSTOKEN");
            EXPECT_EQ(Rows("name = '#Client.who#'", "", application, {cookie}),
                      std::string(value) == "Ada" ? "[Ada]" : "")
                << value;
        }
    }

    // A text area sends its line ends as CR LF: a value of many lines read again as an
    // expression keeps each character's origin in step with the character.
    void CheckTextAreaLineEnds() {
        const std::string evaluated = "name = '#IIf(1, \"'\" & FORM.v & \"'\", DE(\"\"))#'";
        std::string lines;
        for (int i = 0; i < 30; ++i) lines += "\r\n";
        EXPECT_EQ(RowsPosted(evaluated, Encoded("v", "Ada")), "[Ada]");
        EXPECT_EQ(RowsPosted(evaluated, Encoded("v", "'' OR ''1''=''1")), "");
        EXPECT_EQ(RowsPosted(evaluated, Encoded("v", lines + "'' OR ''1''=''1")), "");
        EXPECT_EQ(RowsPosted(evaluated, Encoded("v", "\r\n" + lines + "x\r\n'' OR ''1''=''1\r")), "");
        EXPECT_EQ(RowsPosted("name = '#Evaluate(\"'\" & FORM.v & \"'\")#'", Encoded("v", lines + "'' OR ''a''=''a")),
                  "");
        EXPECT_EQ(RowsPosted("name = '#Trim(FORM.v)#'", Encoded("v", lines + "Ada" + lines)), "[Ada]");
    }

    // What a function answers from the request's, the visitor's, the files' or the clock's
    // state is a value's, whatever its arguments; a literal the author wrote and a condition
    // on a value only chose stays the author's.
    void CheckRequestDecidedAnswers() {
        const std::string orOne = "&" + Encoded("b", " OR 1=1 --");
        const auto then = [](const std::string& expression) {
            return "name = '#" + expression + "#' AND dept = '#URL.b#'";
        };
        EXPECT_EQ(Rows(then("Chr(38 + ParameterExists(URL.x))"), "x=1" + orOne), "");
        EXPECT_EQ(Rows(then("Chr(38 + ParameterExists(URL.x))"), orOne.substr(1)), "");
        EXPECT_EQ(Rows(then("IIf(ParameterExists(URL.x), DE(Chr(39)), DE(\"\"))"), "x=1" + orOne), "");
        EXPECT_EQ(Rows(then("Chr(IIf(ParameterExists(URL.x), 39, 38))"), "x=1" + orOne), "");
        EXPECT_EQ(Rows(then("Chr(38 + FileExists(GetTemplatePath()))"), orOne.substr(1)), "");
        EXPECT_EQ(Rows(then("Chr(39 + Second(Now()) * 0)"), orOne.substr(1)), "");
        const std::string application = "<TSAPPLICATION NAME=\"decided\" CLIENTMANAGEMENT=\"yes\">";
        site_.WriteDocument("remember.tsm", application + "<TSSET Client.f = \"1\">remembered");
        auto first = site_.Get("/remember.tsm");
        ASSERT_EQ(first.body, "remembered") << first.body;
        const std::vector<std::string> cookie = {"Cookie: TSID=" + e2e::CookieValue(first, "TSID") +
                                                 "; TSTOKEN=" + e2e::CookieValue(first, "TSTOKEN")};
        EXPECT_EQ(Rows(then("Chr(38 + ListLen(GetClientVariablesList()))"), orOne.substr(1), application, cookie), "");
        EXPECT_EQ(Rows(then("Chr(38 + DeleteClientVariable(\"f\"))"), orOne.substr(1), application, cookie), "");
        // The author's own texts, chosen by conditions on values.
        EXPECT_EQ(Rows("#IIf(URL.a IS \"x\", 39, 40)# = 39 AND name = 'Ada'", "a=x"), "[Ada]");
        EXPECT_EQ(Rows("dept = #IIf(URL.a IS \"x\", DE(\"'X'\"), DE(\"'Y'\"))#", "a=x"), "[Ada][Chiara]");
        EXPECT_EQ(Rows("dept = <TSIF URL.a IS \"x\">'X'<TSELSE>'Y'</TSIF>", "a=y"), "[Brendan][\xC3\x89mile]");
    }

private:
    e2e::HttpResponse Get(const std::string& file, const std::string& text) {
        site_.WriteDocument(file, text);
        return site_.Get("/" + file);
    }
    void WriteRowsPage(const std::string& where, const std::string& before) {
        site_.WriteDocument("rows.tsm",
                            before + Query("SELECT name FROM " + employees_ + " WHERE " + where + " ORDER BY id", "q") +
                                "<TSOUTPUT QUERY=\"q\">[#name#]</TSOUTPUT>");
    }
    static std::string Outcome(const e2e::HttpResponse& response) {
        return response.status == 200 ? response.body : "status " + std::to_string(response.status) + response.body;
    }

    e2e::Site& site_;
    std::string login_;
    std::string employees_;
    std::string notes_;
};

class SqlQuoting : public e2e::SiteTest {
protected:
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
    static void CheckAll(QuotingSite& quoting) {
        quoting.Setup();
        quoting.CheckEveryCase();
        quoting.CheckQueryLists();
        quoting.CheckStoredValues();
        quoting.CheckCookieAndClientVariables();
        quoting.CheckTextAreaLineEnds();
        quoting.CheckRequestDecidedAnswers();
    }
};

TEST_F(SqlQuoting, OnlyTheQuotesOfValuesAreDoubledOnSQLite) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_quoting", site.home() + "/quoting.db");
    Start();
    QuotingSite quoting(site, "DATASOURCE=\"e2e_quoting\"", "");
    CheckAll(quoting);
}

class SqlQuotingOnPostgres : public SqlQuoting {
protected:
    static void SetUpTestSuite() {
        // Before any site's private TMPDIR, which the server's user cannot reach.
        tessaro::database::OdbcTestConfig::Instance();
        tessaro::database::PgTestServer::Instance();
    }
};

TEST_F(SqlQuotingOnPostgres, OnlyTheQuotesOfValuesAreDoubled) {
    auto& pg = tessaro::database::PgTestServer::Instance();
    ASSERT_TRUE(pg.Available()) << "PostgreSQL not available: " << pg.Reason();
    Start();
    QuotingSite quoting(site,
                        std::string("DATASOURCE=\"") + tessaro::database::PgTestServer::kDsn + "\" USERNAME=\"" +
                            tessaro::database::PgTestServer::kUser + "\"",
                        "_quoting_" + std::to_string(getpid()));
    CheckAll(quoting);
    quoting.Drop();
}

}  // namespace
