// One budget per request, through the whole road (lighttpd -> ksml -> tsengine): a statement
// that runs past the page's time limit is cancelled and the page ends at the limit (and at
// shutdown), the bytes a page's query results hold are bounded, every header line the engine
// writes is bounded where the reply is built, and an expression nested or long beyond reason
// is refused or stopped at the limit. After each, the same engine serves the next page.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"
#include "tests/common/text_matchers.h"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kDsn = "e2e_budget";
// Counts far beyond what SQLite does in seconds.
constexpr const char* kSlowStatement =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1000000000) SELECT count(*) AS c FROM n";

using e2e::Since;

class RequestBudgetThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/budget.db");
    }
    // Settings first: the engine reads some of them when it starts.
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        ASSERT_EQ(site.Get("/x.tsm").status, 200);
        engine_ = site.EnginePid();
    }
    // The engine that served the failed page serves the next one.
    void ExpectServing() {
        auto next = site.Get("/x.tsm");
        EXPECT_EQ(next.status, 200) << next.body.substr(0, 300);
        EXPECT_EQ(site.EnginePid(), engine_);
    }
    static std::string SlowPage() {
        return "<TSQUERY NAME=\"n\" DATASOURCE=\"" + std::string(kDsn) + "\">" + kSlowStatement + "</TSQUERY><TSOUTPUT>[#n.c#]</TSOUTPUT>";
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
    pid_t engine_ = -1;
};

TEST_F(RequestBudgetThroughWebServer, AStatementPastTheTimeLimitIsCancelledAtTheLimit) {
    // The server's limit, and a lower one asked for by the URL.
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "30"));
    Start();
    site.WriteDocument("slow.tsm", SlowPage());
    for (const char* query : {"RequestTimeout=1", "RequestTimeout=2"}) {
        const auto start = std::chrono::steady_clock::now();
        auto page = site.Get(std::string("/slow.tsm?") + query);
        const auto took = Since(start);
        const int limitMs = query[15] == '1' ? 1000 : 2000;
        EXPECT_EQ(page.status, 500) << query << page.error;
        EXPECT_THAT(page.body, HasSubstr("The time taken to process your request has exceeded the allowable limit of " +
                                         std::string(query + 15) + " seconds."));
        EXPECT_GE(took.count(), limitMs) << query;
        EXPECT_LT(took.count(), limitMs + 2500) << query;
        ExpectServing();
    }
    EXPECT_EQ(tessaro::test::CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Request timed out"), 2u)
        << site.ReadHomeFile("log/TSENGINE.LOG");
}

TEST_F(RequestBudgetThroughWebServer, TheServersLimitCancelsTheStatementToo) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "1"));
    Start();
    const auto start = std::chrono::steady_clock::now();
    auto page = Page("slow.tsm", SlowPage());
    EXPECT_LT(Since(start).count(), 1000 + 2500);
    EXPECT_EQ(page.status, 500) << page.error;
    EXPECT_THAT(page.body, HasSubstr("allowable limit of 1 seconds"));
    ExpectServing();
}

TEST_F(RequestBudgetThroughWebServer, ShutdownCancelsTheStatementInFlight) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "120"));
    Start();
    site.WriteDocument("slow.tsm", SlowPage());
    e2e::HttpResponse page;
    std::thread visitor([&] { page = site.Get("/slow.tsm"); });
    std::this_thread::sleep_for(800ms);  // the statement runs
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsscm"), "stop", "Brendlow Tessaro 2.0", "--wait", "15"}), 0);
    EXPECT_LT(Since(start).count(), 4000);
    visitor.join();
    EXPECT_EQ(page.status, 503) << page.error << page.body.substr(0, 300);
    EXPECT_THAT(page.body, HasSubstr("The server was stopped while it worked on this request"));
    // The process ends a moment after the service reports it stopped.
    for (int i = 0; i < 100 && e2e::ProcessRunning(engine_); ++i) std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(e2e::ProcessRunning(engine_));
}

TEST_F(RequestBudgetThroughWebServer, QueryResultsPastTheirBoundFailThePage) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxQueryResultBytes", "200000"));
    Start();
    // A row count and a value length the visitor chooses.
    site.WriteDocument("rows.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                                       "\">WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < "
                                       "#Val(URL.n)#) SELECT i, 'a row of text' AS t FROM n</TSQUERY>"
                                       "<TSOUTPUT>rows=#q.RecordCount#</TSOUTPUT>");
    site.WriteDocument("value.tsm", "<TSQUERY NAME=\"q\" DATASOURCE=\"" + std::string(kDsn) +
                                        "\">SELECT printf('%.*c', #Val(URL.n)#, 'x') AS v</TSQUERY>"
                                        "<TSOUTPUT>length=#Len(q.v)#</TSOUTPUT>");
    struct Case {
        const char* target;
        const char* answer;  // null: refused
    } const cases[] = {
        {"/rows.tsm?n=100", "rows=100"},
        {"/rows.tsm?n=30000000", nullptr},
        {"/value.tsm?n=150000", "length=150000"},
        {"/value.tsm?n=1000000", nullptr},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        auto page = site.Get(c.target);
        if (c.answer != nullptr) {
            EXPECT_EQ(page.status, 200) << c.target << page.body.substr(0, 500);
            EXPECT_EQ(page.body, c.answer) << c.target;
        } else {
            EXPECT_EQ(page.status, 500) << c.target << page.error;
            EXPECT_THAT(page.body, HasSubstr("The results of this page's queries would hold more than 200000 bytes"))
                << c.target;
            EXPECT_LT(Since(start).count(), 10000) << c.target;
        }
        ExpectServing();
    }
    EXPECT_EQ(tessaro::test::CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Query results too large"), 2u);
}

TEST_F(RequestBudgetThroughWebServer, EveryHeaderLineIsBoundedWithTheEnginesErrorPage) {
    Start();
    struct Case {
        const char* name;
        std::string page;
        const char* title;  // null: the page goes out
    } const cases[] = {
        {"long content type", "<TSCONTENT TYPE=\"text/plain; x=#RepeatString('x', 70000)#\">body",
         "Reply header too long"},
        {"long location", "<TSLOCATION URL=\"/next.tsm?a=#RepeatString('x', 1000000)#\">", "Reply header too long"},
        {"long header", "<TSHEADER NAME=\"X-Long\" VALUE=\"#RepeatString('x', 8001)#\">body", "Invalid TSHEADER tag"},
        {"long status", "<TSHEADER NAME=\"Status\" VALUE=\"299 #RepeatString('x', 9000)#\">body",
         "Invalid TSHEADER tag"},
        {"long cookie", "<TSCOOKIE NAME=\"c\" VALUE=\"#RepeatString('x', 9000)#\">body", "Invalid TSCOOKIE tag"},
        {"headers too long in all",
         "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"6\"><TSHEADER NAME=\"X-#i#\" VALUE=\"#RepeatString('x', 7000)#\">"
         "</TSLOOP>body",
         "Invalid TSHEADER tag"},
        {"content type near the bound", "<TSCONTENT TYPE=\"text/plain; x=#RepeatString('x', 7900)#\">body", nullptr},
    };
    for (const Case& c : cases) {
        auto page = Page("headers.tsm", c.page);
        if (c.title == nullptr) {
            EXPECT_EQ(page.status, 200) << c.name << page.error;
            EXPECT_EQ(page.body, "body") << c.name;
            EXPECT_EQ(page.Header("Content-Type").size(), 7900u + 14) << c.name;
        } else {
            // The engine's own page, not the web server's bad-gateway one.
            EXPECT_EQ(page.status, 500) << c.name << page.error;
            EXPECT_THAT(page.body, HasSubstr("Error Occurred While Processing Request")) << c.name;
            EXPECT_THAT(page.body, HasSubstr(c.title)) << c.name;
            EXPECT_THAT(page.body, HasSubstr("bytes in one header")) << c.name;
            EXPECT_EQ(page.Header("Location"), "") << c.name;
            EXPECT_LT(page.headers.size(), 32000u) << c.name;
        }
        ExpectServing();
    }
    EXPECT_EQ(tessaro::test::CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Reply header too long"), 2u)
        << site.ReadHomeFile("log/TSENGINE.LOG");
}

TEST_F(RequestBudgetThroughWebServer, ExpressionsNestedOrLongBeyondReasonEndAtOnceOrAtTheLimit) {
    // Time enough for the road of a form of megabytes (a sanitizer build is slow); the long
    // expression asks for less.
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "10"));
    Start();
    site.WriteDocument("eval.tsm", "<TSOUTPUT>[#Evaluate(FORM.e)#]</TSOUTPUT>");
    site.WriteDocument("plain.tsm", "plain");
    // The answer and how long it took. Parentheses need no encoding in a form; a page that
    // does not evaluate the same form tells how long the road alone takes.
    auto post = [this](const char* page, const std::string& expression, std::chrono::milliseconds* took) {
        const auto start = std::chrono::steady_clock::now();
        auto answer = e2e::HttpRequest(site.port(), "POST", page, {"Content-Type: application/x-www-form-urlencoded"},
                                       "e=" + expression);
        *took = Since(start);
        return answer;
    };
    auto nested = [](std::size_t depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); };
    std::chrono::milliseconds took{}, road{};

    auto shallow = post("/eval.tsm", nested(200), &took);
    EXPECT_EQ(shallow.status, 200) << shallow.body.substr(0, 300);
    EXPECT_EQ(shallow.body, "[1]");

    // Refused at once by the nesting bound: had it run on, the page's clock would have
    // ended it with "Request timed out".
    const std::string deepText = nested(2000000);
    EXPECT_EQ(post("/plain.tsm", deepText, &road).body, "plain");
    auto deep = post("/eval.tsm", deepText, &took);
    EXPECT_EQ(deep.status, 500) << deep.error;
    EXPECT_THAT(deep.body, HasSubstr("The expression is nested too deeply")) << deep.body.substr(0, 500);
    EXPECT_THAT(deep.body, Not(HasSubstr("Request timed out")));
    EXPECT_LT(took.count(), road.count() + 10000);
    ExpectServing();

    // Flat but long enough to outlast the limit (six million terms): the parse draws on the
    // page's clock and ends at the limit.
    site.WriteDocument("flat.tsm", "<TSSET e = RepeatString('1+', 6000000) & '1'><TSOUTPUT>[#Evaluate(e)#]</TSOUTPUT>");
    const auto start = std::chrono::steady_clock::now();
    auto flat = site.Get("/flat.tsm?RequestTimeout=1");
    // The limit, and the time a sanitizer build takes to write the error page and let go of
    // twelve megabytes of text.
    EXPECT_LT(Since(start).count(), 1000 + 4000);
    EXPECT_EQ(flat.status, 500) << flat.error;
    EXPECT_THAT(flat.body, HasSubstr("allowable limit of 1 seconds")) << flat.body.substr(0, 500);
    ExpectServing();
}

}  // namespace
