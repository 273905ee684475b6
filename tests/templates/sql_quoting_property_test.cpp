// SQL quoting as a property, through the page's real SQL road on SQLite: random request
// values (quotes, CR, LF, CR LF, NUL, '#', multi-byte UTF-8, long runs) placed by random
// template shapes (inside the author's quotes, through the string and list functions,
// IIf, DE and Evaluate, concatenations inside calls, the answers the request decides).
//
// The oracle shares no code with the quoting: the page writes the expression's value
// outside SQL (where nothing is quoted) and then INSERTs the same expression, placed in the
// author's quotes, into a table; SQLite's own parser reads the statement, and the test reads
// the table back through ODBC by itself. The table must then hold exactly one row whose
// text is the value the author's quotes enclose: a value's quote that ended the string,
// added a row or a condition, or lost a character, shows as another text, another row
// count or a failed statement. A value holding a NUL cannot travel in SQL text (it ends the
// statement inside the string): such a case must fail and add nothing.
//
// CI runs a fixed seed. A longer run with a random seed, which is printed on failure:
//   TESSARO_SQL_PROPERTY_CASES=100000 TESSARO_SQL_PROPERTY_SEED=random
//   build/tests/test_templates --gtest_filter='SqlQuotingProperty.*'
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "tests/templates/sqlite_page_site.h"

namespace {

std::uint64_t Setting(const char* name, std::uint64_t fallback, bool* random = nullptr) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    if (random != nullptr && std::string(text) == "random") {
        *random = true;
        return std::random_device{}() ^ (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return std::strtoull(text, nullptr, 10);
}

std::string PercentEncoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

// The random parts of one case.
class CaseMaker {
public:
    explicit CaseMaker(std::uint64_t seed) : m_rng(seed) {}

    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_rng); }
    bool Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }
    template <class T, std::size_t N>
    const T& OneOf(const T (&items)[N]) {
        return items[Pick(N)];
    }

    // A request value.
    std::string Value() {
        // The empty piece stands for a NUL.
        // clang-format off
        static const char* const kPieces[] = {"'", "''", "\"", "\r", "\n", "\r\n", "", "#", "##", ",", " ", "a", "b", "x",
                                              "O", "|", "-", "(", ")", ";", "\xC3\xA9", "\xE6\x97\xA5",
                                              "\xF0\x9F\x98\x80", "\t", "%", "&", "=", "1", "--"};
        // clang-format on
        static const char* const kPayloads[] = {
            "'' OR ''1''=''1", "' OR '1'='1",    "''); DELETE FROM probe; --", "x'", "'", "''", "a''b",
            "' || '",          "\"' OR 1=1 --\""};
        std::string value;
        switch (Pick(6)) {
            case 0: {  // lines of a text area, then an attack
                const std::size_t lines = 1 + Pick(40);
                for (std::size_t i = 0; i < lines; ++i) value += "\r\n";
                value += OneOf(kPayloads);
                if (Chance(30)) value += "\r\n";
                break;
            }
            case 1: {  // a long run of one piece
                const std::string piece = PieceAt(kPieces, Pick(std::size(kPieces)));
                const std::size_t count = 50 + Pick(350);
                for (std::size_t i = 0; i < count; ++i) value += piece;
                break;
            }
            case 2:
                value = OneOf(kPayloads);
                break;
            default: {
                const std::size_t length = Pick(12) + (Chance(20) ? Pick(40) : 0);
                for (std::size_t i = 0; i < length; ++i) value += PieceAt(kPieces, Pick(std::size(kPieces)));
            }
        }
        return value;
    }

    // A text the template writes: no quote of the author's can stand inside the value it
    // makes (those are the author's SQL), nor a NUL (no template holds one).
    std::string Literal() {
        static const char* const kPieces[] = {"a", "b", "X", " ", ",", "##", "|", "\r\n", "-", "\xC3\xA9", "7"};
        std::string text;
        const std::size_t length = Pick(6);
        for (std::size_t i = 0; i < length; ++i) text += OneOf(kPieces);
        return text;
    }

    std::string Number() {
        static const char* const kNumbers[] = {"0", "1", "2", "3", "5", "Len(URL.v1)", "Len(URL.v2) + 1"};
        return OneOf(kNumbers);
    }

    // A condition; one on a value when fromValue (a literal condition picks the author's
    // own text, which may be a quote).
    std::string Condition(int depth, bool fromValue = false) {
        const std::string text = fromValue ? OneOf(kValues) : Text(depth + 1);
        switch (Pick(fromValue ? 4 : 6)) {
            case 0:
                return "Len(" + text + ") GT " + std::to_string(Pick(5));
            case 1:
                return text + " IS \"a\"";
            case 2:
                return "ParameterExists(URL.x)";
            case 3:
                return "URL.v1 CONTAINS \"'\"";
            default:
                return Chance(50) ? "1" : "0";
        }
    }

    // An expression of text: its characters come from values, from the template's texts
    // (without quotes) or from answers the request decides.
    std::string Text(int depth = 0) {
        if (depth > 3 || Chance(25 + depth * 15)) return Leaf();
        const std::string c = Text(depth + 1);
        switch (Pick(40)) {
            case 0:
                return "Left(" + c + ", " + Number() + ")";
            case 1:
                return "Right(" + c + ", " + Number() + ")";
            case 2:
                return "Mid(" + c + ", " + std::to_string(1 + Pick(4)) + ", " + Number() + ")";
            case 3:
                return "UCase(" + c + ")";
            case 4:
                return "LCase(" + c + ")";
            case 5:
                return "Trim(" + c + ")";
            case 6:
                return "LTrim(" + c + ")";
            case 7:
                return "RTrim(" + c + ")";
            case 8:
                return "Reverse(" + c + ")";
            case 9:
                return "RepeatString(" + c + ", " + std::to_string(Pick(3)) + ")";
            case 10:
                return "Replace(" + c + ", \"a\", " + Text(depth + 1) + ", \"ALL\")";
            case 11:
                return "Replace(" + c + ", Chr(13), \"\")";
            case 12:
                return "ListGetAt(" + c + ", 1)";
            case 13:
                return "ListFirst(" + c + ")";
            case 14:
                return "ListLast(" + c + ", Chr(10))";
            case 15:
                return "ListRest(" + c + ")";
            case 16:
                return "ListAppend(" + c + ", " + Text(depth + 1) + ")";
            case 17:
                return "ListSetAt(" + c + ", 1, " + Text(depth + 1) + ")";
            case 18:
                return "ListChangeDelims(" + c + ", \"|\")";
            case 19:
                return "Insert(" + Text(depth + 1) + ", " + c + ", 0)";
            case 20:
                return "SpanExcluding(" + c + ", \",\")";
            case 21:
                return "GetToken(" + c + ", 1, \",\")";
            case 22:
                return "LJustify(" + c + ", " + Number() + ")";
            case 23:
                return "Evaluate(DE(" + c + "))";
            case 24:
                return "DE(" + c + ")";
            case 25:
                return "IIf(" + Condition(depth) + ", DE(" + c + "), DE(" + Text(depth + 1) + "))";
            // A value's text read again inside quotes the author wrote: the quotes are taken
            // by that reading, what it gives is the value's.
            case 26:
                return "IIf(1, \"'\" & " + c + " & \"'\", DE(\"\"))";
            case 27:
                return "Evaluate(\"'\" & " + c + " & \"'\")";
            case 28:
                return "Trim(" + c + " & " + Text(depth + 1) + ")";
            case 29:
                return "UCase(\"" + Literal() + "\" & " + c + ")";
            case 30:
                return "RemoveChars(" + c + ", 1, " + Number() + ")";
            case 31:
                return "Chr(Asc(" + c + "))";
            case 32:
                return "Chr(38 + ParameterExists(URL.x))";
            case 33:
                return "IIf(ParameterExists(URL.x), DE(Chr(39)), DE(\"x\"))";
            case 34:
                return "Chr(IIf(" + Condition(depth, true) + ", 39, 40))";
            case 35:
                return "Chr(39 + RandRange(0, 0) + Second(Now()) * 0)";
            case 36:
                return "Chr(38 + Len(Left(GetTemplatePath(), 1)))";
            case 37:
                return "ListGetAt(GetTemplatePath(), 1, \"/\")";
            case 38:
                return "Chr(URL.n)";
            default:
                return "Evaluate(URL.e)";
        }
    }

    static constexpr const char* kValues[] = {"URL.v1", "URL.v2", "URL.v3", "Trim(URL.v1 & URL.v2)"};

    std::string Leaf() {
        switch (Pick(6)) {
            case 0:
                return "URL.v1";
            case 1:
                return "URL.v2";
            case 2:
                return "URL.v3";
            case 3:
                return "\"" + Literal() + "\"";
            case 4:
                return "ValueList(cells.s)";
            default:
                return Chance(50) ? "URL.v1" : "URL.n";
        }
    }

    // Expression texts a visitor may send to be evaluated.
    std::string ExpressionValue() {
        // clang-format off
        static const char* const kTexts[] = {"Chr(39)", "\"'\" & \"x\"", "'a''b'", "\"#URL.v1#\"", "URL.v1", "DE(URL.v2)",
                                             "\"\r\n' OR '1'='1\"", "'\r\n'' OR ''1''=''1'", "Left(URL.v3, 2)", "1 +"};
        // clang-format on
        return Chance(80) ? OneOf(kTexts) : Value();
    }

private:
    template <std::size_t N>
    static std::string PieceAt(const char* const (&pieces)[N], std::size_t i) {
        // The NUL piece is the one empty C string.
        return pieces[i][0] == '\0' ? std::string(1, '\0') : std::string(pieces[i]);
    }

    std::mt19937_64 m_rng;
};

// One statement of the page and what the author's quotes enclose in it.
struct Shape {
    std::string sql;    // the INSERT's value as the template writes it
    std::string plain;  // an expression whose plain value gives the expected text
    std::string before, after;
    bool inQuotes = false;  // plain's value carries the author's quotes at both ends
};

Shape MakeShape(CaseMaker& make) {
    std::string x = make.Text();
    // Inside SQL text a #...# holds a name or a call (every composed text is a call).
    if (x.front() == '"') x = "Trim(" + x + ")";
    Shape shape;
    switch (make.Pick(8)) {
        case 0:
            shape.plain = "Trim(\"'\" & " + x + " & \"'\")";
            shape.inQuotes = true;
            break;
        case 1:
            shape.plain = "IIf(Len(URL.v1) GE 0, DE(\"'\" & " + x + " & \"'\"), DE(\"'-'\"))";
            shape.inQuotes = true;
            break;
        case 2:
            shape.plain = "Insert(" + x + ", \"''\", 1)";
            shape.inQuotes = true;
            break;
        case 3:
            shape.plain = "Evaluate(DE(\"'\" & " + x + " & \"'\"))";
            shape.inQuotes = true;
            break;
        default:
            shape.plain = x;
            shape.before = make.Literal();
            shape.after = make.Literal();
    }
    shape.sql = shape.inQuotes ? "#" + shape.plain + "#" : "'" + shape.before + "#" + x + "#" + shape.after + "'";
    return shape;
}

class SqlQuotingProperty : public CoreTagsPage {
protected:
    void SetUp() override {
        CoreTagsPage::SetUp();
        // A database of its own that waits for no disk: thousands of statements run here.
        dsn_ += "_probe";
        tessaro::database::OdbcTestConfig::Instance().AddDsn(dsn_, {{"Driver", tessaro::database::kSQLiteDriverName},
                                                                    {"Database", home() + "/probe.db"},
                                                                    {"Timeout", "10000"},
                                                                    {"SyncPragma", "OFF"},
                                                                    {"JournalMode", "MEMORY"}});
        Exec("CREATE TABLE probe (s TEXT)");
        Exec("CREATE TABLE cells (id INTEGER, s TEXT)");
        Exec(
            "INSERT INTO cells VALUES (1, 'a'), (2, 'O''Neil'), (3, ''' OR ''1''=''1'), (4, 'x' || char(13, 10) || "
            "'''')");
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        ASSERT_TRUE(
            SQL_SUCCEEDED(SQLConnect(m_dbc, reinterpret_cast<SQLCHAR*>(dsn_.data()), SQL_NTS, nullptr, 0, nullptr, 0)));
    }
    void TearDown() override {
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
        CoreTagsPage::TearDown();
    }

    // Every text of the probe table, read whole, and then the table emptied.
    std::vector<std::string> TakeProbeRows() {
        std::vector<std::string> rows;
        SQLHSTMT stmt = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT s FROM probe")), SQL_NTS);
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
            // As characters (the driver reads some texts as binary literals otherwise); a
            // part that does not fit comes with the rest still to read.
            std::string text;
            char buffer[4096];
            SQLLEN length = 0;
            SQLRETURN rc;
            while ((rc = SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &length)) != SQL_NO_DATA &&
                   SQL_SUCCEEDED(rc)) {
                if (length == SQL_NULL_DATA) break;
                const bool whole = rc == SQL_SUCCESS;
                text.append(buffer, whole ? static_cast<std::size_t>(length) : sizeof buffer - 1);
                if (whole) break;
            }
            rows.push_back(length == SQL_NULL_DATA ? "<NULL>" : text);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &stmt);
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("DELETE FROM probe")), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return rows;
    }

    SQLHENV m_env = nullptr;
    SQLHDBC m_dbc = nullptr;
};

// Template text as the SQL gets it: the file read as text (CR LF as LF), "##" outside an
// expression written as "#".
std::string AsRead(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    for (std::size_t at = text.find("##"); at != std::string::npos; at = text.find("##", at + 1)) text.erase(at, 1);
    return text;
}

std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == 0)
            out += "\\0";
        else
            out += static_cast<char>(c);
    }
    return out;
}

TEST_F(SqlQuotingProperty, TheAuthorsQuotesEncloseExactlyTheValue) {
    bool random = false;
    const std::uint64_t seed = Setting("TESSARO_SQL_PROPERTY_SEED", 47, &random);
    const std::uint64_t cases = Setting("TESSARO_SQL_PROPERTY_CASES", 3000);
    // One case of a failed run again: its number as the first.
    const std::uint64_t first = Setting("TESSARO_SQL_PROPERTY_FIRST", 0);
    if (random) std::cout << "[ SEED     ] TESSARO_SQL_PROPERTY_SEED=" << seed << std::endl;
    RecordProperty("seed", std::to_string(seed));
    std::uint64_t failures = 0, failedPages = 0;
    for (std::uint64_t n = first; n < first + cases && failures < 5; ++n) {
        CaseMaker make(seed * 1000003u + n);
        const Shape shape = MakeShape(make);
        std::string query = "v1=" + PercentEncoded(make.Value()) + "&v2=" + PercentEncoded(make.Value()) +
                            "&v3=" + PercentEncoded(make.Value()) + "&e=" + PercentEncoded(make.ExpressionValue()) +
                            "&n=" +
                            (make.Chance(50)   ? "39"
                             : make.Chance(50) ? "34"
                                               : "65");
        if (make.Chance(50)) query += "&x=1";
        const std::string page = Query("cells", "SELECT s FROM cells ORDER BY id") + "<TSOUTPUT>[#" + shape.plain +
                                 "#]</TSOUTPUT><TSQUERY DATASOURCE=\"" + dsn_ + "\">INSERT INTO probe (s) VALUES (" +
                                 shape.sql + ")</TSQUERY>";
        const PageOutcome outcome = Run(page, query);
        const std::vector<std::string> rows = TakeProbeRows();
        const std::string& body = outcome.body;
        // The value outside SQL, where nothing is quoted; with the author's quotes around it
        // when the shape writes them.
        const bool plainRan = body.size() >= 2 && body.front() == '[' && body.back() == ']';
        std::string expected = plainRan ? body.substr(1, body.size() - 2) : std::string();
        bool enclosed = true;
        if (shape.inQuotes) {
            enclosed = expected.size() >= 2 && expected.front() == '\'' && expected.back() == '\'';
            if (enclosed) expected = expected.substr(1, expected.size() - 2);
        } else {
            expected = AsRead(shape.before) + expected + AsRead(shape.after);
        }
        bool ok;
        if (!plainRan) {
            // The value itself failed (as it would in SQL): nothing reached the database.
            ++failedPages;
            ok = outcome.failed && rows.empty();
        } else if (expected.find('\0') != std::string::npos) {
            ok = outcome.failed && rows.empty();
        } else {
            ok = enclosed && !outcome.failed && rows.size() == 1 && rows[0] == expected;
        }
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << (random ? " (random)" : "") << ", case " << n
                          << "\n  SQL: " << Printable(shape.sql) << "\n  request: " << query << "\n  expected: ["
                          << Printable(expected) << "]\n  rows (" << rows.size()
                          << "): " << (rows.empty() ? "" : "[" + Printable(rows[0]) + "]") << "\n  page "
                          << (outcome.failed ? "failed: " + outcome.title + " " + outcome.detail : "ran");
        }
    }
    // Most cases must reach the database: a generator whose every case fails proves nothing.
    if (cases >= 100) {
        EXPECT_LT(failedPages, cases / 2) << "seed " << seed;
    }
}

}  // namespace
