// What an error page and the engine's log quote of a text the request chose (an expression,
// a value, a field or table name), through the whole road (lighttpd -> ksml -> tsengine): a
// text of megabytes is quoted by its first few thousand characters, cut at a character and
// marked "...", still escaped on the page; the page and the log line stay small; a short text
// is quoted whole, as it always was.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kDsn = "e2e_quotes";

// The run of `unit` repeated at `at` in text, in whole units.
std::size_t RunLength(const std::string& text, std::size_t at, const std::string& unit) {
    std::size_t n = 0;
    while (text.compare(at + n * unit.size(), unit.size(), unit) == 0) ++n;
    return n;
}

// Whether text is well-formed UTF-8 (no character cut in two).
bool WellFormedUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        i += length;
    }
    return true;
}

std::string Repeat(const std::string& unit, std::size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

class ErrorQuotesThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/quotes.db");
        ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "30"));
        ASSERT_TRUE(e2e::Site::SetSetting("DataSources\\" + std::string(kDsn), "AllowIUActions", "1"));
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        auto setup = Page("setup.tsm", "<TSQUERY DATASOURCE=\"" + std::string(kDsn) +
                                           "\">CREATE TABLE staff (id INTEGER PRIMARY KEY, name VARCHAR(30))"
                                           "</TSQUERY>ready");
        ASSERT_EQ(setup.body, "ready") << setup.body.substr(0, 500);
        site.WriteDocument("eval.tsm", "<TSOUTPUT>[#Evaluate(FORM.e)#]</TSOUTPUT>");
        site.WriteDocument("repeat.tsm", "<TSOUTPUT>[#RepeatString('a', FORM.v)#]</TSOUTPUT>");
        site.WriteDocument("insert.tsm", "<TSINSERT DATASOURCE=\"" + std::string(kDsn) + "\" TABLENAME=\"staff\">saved");
    }
    e2e::HttpResponse Post(const std::string& target, const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: application/x-www-form-urlencoded"}, body);
    }
    // The log's last line.
    std::string LastLogLine() {
        std::string log = site.ReadHomeFile("log/TSENGINE.LOG");
        while (!log.empty() && log.back() == '\n') log.pop_back();
        const std::size_t start = log.rfind('\n');
        return start == std::string::npos ? log : log.substr(start + 1);
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
};

TEST_F(ErrorQuotesThroughWebServer, ALongTextIsQuotedByItsStartMarkedAndEscaped) {
    const std::size_t deep = 2000000;
    struct Case {
        const char* what;
        std::string target;
        std::string form;
        std::string reason;  // on the page and in the log
        std::string before;  // what the page writes just before the quoted text
        std::string unit;    // the text is this, repeated, as the page shows it
    } const cases[] = {
        {"nested expression", "/eval.tsm", "e=" + std::string(deep, '(') + "1" + std::string(deep, ')'),
         // Quoted by the evaluator's reason, after the template's own expression.
         "The expression is nested too deeply", "<HR><P>An error has occurred while processing the expression:<PRE>   ",
         "("},
        {"value in the reason", "/repeat.tsm", "v=" + e2e::FormEncode(Repeat("<b>\xC3\xA9", 500000)),
         "Parameter 2 of function RepeatString which is now", "which is now \"", "&lt;b&gt;\xC3\xA9"},
        {"forged field name", "/insert.tsm", "id=1&" + Repeat("ab", 500000) + "=x",
         "Field name not found in the specified table.", "Field = '", "AB"},
        {"table name of the Insert action", "/insert.tsm?action=Insert",
         "DATASOURCE=" + std::string(kDsn) + "&NEXTPAGE=/x.tsm&id=1&TABLENAME=a.b.c." + Repeat("t", 1000000),
         "Invalid ODBC table name (contains more than 2 qualifiers)", "Table Name = 'a.b.c.", "t"},
    };
    for (const Case& c : cases) {
        auto page = Post(c.target, c.form);
        EXPECT_EQ(page.status, 500) << c.what << page.error;
        EXPECT_THAT(page.body, HasSubstr(c.reason)) << c.what << page.body.substr(0, 500);
        // A few thousand characters of the text, then the mark: not all of it, not none.
        const std::size_t at = page.body.find(c.before);
        if (at == std::string::npos) {
            ADD_FAILURE() << c.what << ": " << page.body.substr(0, 3000);
            continue;
        }
        const std::size_t quoted = at + c.before.size();
        const std::size_t units = RunLength(page.body, quoted, c.unit);
        EXPECT_GE(units * c.unit.size(), 500u) << c.what;
        EXPECT_LE(units, 5000u) << c.what;
        // A unit may be cut at its end, but never inside a character or a reference.
        const std::size_t mark = page.body.find("...", quoted + units * c.unit.size());
        if (mark == std::string::npos) {
            ADD_FAILURE() << c.what << ": no mark";
            continue;
        }
        EXPECT_EQ(c.unit.compare(0, mark - quoted - units * c.unit.size(),
                                 page.body, quoted + units * c.unit.size(), mark - quoted - units * c.unit.size()),
                  0)
            << c.what << ": " << page.body.substr(quoted + units * c.unit.size(), 40);
        EXPECT_THAT(page.body, Not(HasSubstr("<b>"))) << c.what;
        EXPECT_TRUE(WellFormedUtf8(page.body)) << c.what;
        EXPECT_LT(page.body.size(), 40000u) << c.what;
        // The log's line for it is as small.
        const std::string line = LastLogLine();
        EXPECT_THAT(line, HasSubstr(c.reason)) << c.what;
        EXPECT_LT(line.size(), 40000u) << c.what;
    }
}

TEST_F(ErrorQuotesThroughWebServer, AShortTextIsQuotedWhole) {
    const std::string expression = "(((1)) + ";
    auto page = Post("/eval.tsm", "e=" + e2e::FormEncode(expression));
    EXPECT_EQ(page.status, 500);
    EXPECT_THAT(page.body, HasSubstr("<PRE>   " + expression.substr(0, expression.size() - 1) + "\n</PRE>"));
    auto value = Post("/repeat.tsm", "v=" + e2e::FormEncode("<i>12 and a half</i>"));
    EXPECT_THAT(value.body, HasSubstr("which is now \"&lt;i&gt;12 and a half&lt;/i&gt;\" must be"));
    EXPECT_THAT(LastLogLine(), HasSubstr("which is now \"\"<i>12 and a half</i>\"\" must be"));
    auto field = Post("/insert.tsm", "id=1&nosuch=x");
    EXPECT_THAT(field.body, HasSubstr("Table = 'staff' Field = 'NOSUCH'"));
    EXPECT_THAT(page.body + value.body + field.body, Not(HasSubstr("...")));
}

}  // namespace
