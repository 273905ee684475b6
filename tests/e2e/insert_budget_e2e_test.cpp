// The statements of TSINSERT, TSUPDATE and the Insert and Update actions draw on the request's
// budget like a TSQUERY's, through the whole road (lighttpd -> ksml -> tsengine): a statement
// made slow by the table's trigger is cancelled at the page's time limit (or at shutdown), the
// page ends with the limit's own error, the row is not written, an open transaction is rolled
// back, and the same engine serves the next page.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "child_process.h"
#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/ci_require.h"
#include "tests/common/text_matchers.h"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

constexpr const char* kDsn = "e2e_slow_rows";
// A count far beyond what SQLite does in seconds, as a value the trigger computes.
constexpr const char* kSlowCount =
    "(SELECT count(*) FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 1000000000) "
    "SELECT i FROM n))";

using e2e::Since;

class InsertBudgetThroughWebServer : public e2e::SiteTest {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        odbc_.emplace(site.home(), kDsn, site.home() + "/slow.db");
    }
    // Settings first: the engine reads some of them when it starts. Then the tables: `fast`
    // takes rows at once, `slow` and its updates run a count that takes minutes.
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
        const std::string slowCount = kSlowCount;
        auto setup = Page("setup.tsm",
                          Query("CREATE TABLE fast (id INTEGER PRIMARY KEY, name VARCHAR(30))") +
                              Query("CREATE TABLE slow (id INTEGER PRIMARY KEY, name VARCHAR(30))") +
                              Query("CREATE TABLE counts (n INTEGER)") +
                              Query("CREATE TRIGGER slow_insert AFTER INSERT ON slow BEGIN INSERT INTO counts SELECT " +
                                    slowCount + "; END") +
                              Query("CREATE TRIGGER slow_update AFTER UPDATE ON slow BEGIN INSERT INTO counts SELECT " +
                                    slowCount + "; END") +
                              "ready");
        ASSERT_EQ(setup.status, 200) << setup.error << setup.body.substr(0, 500);
        ASSERT_EQ(setup.body, "ready") << setup.body.substr(0, 500);
        site.WriteDocument("rows.tsm", "<TSQUERY NAME=\"f\" DATASOURCE=\"" + std::string(kDsn) +
                                           "\">SELECT id, name FROM fast ORDER BY id</TSQUERY>"
                                           "<TSQUERY NAME=\"s\" DATASOURCE=\"" + std::string(kDsn) +
                                           "\">SELECT id, name FROM slow ORDER BY id</TSQUERY>"
                                           "<TSOUTPUT QUERY=\"f\">f#id#:#name#;</TSOUTPUT>"
                                           "<TSOUTPUT QUERY=\"s\">s#id#:#name#;</TSOUTPUT>");
        engine_ = site.EnginePid();
    }
    static std::string Query(const std::string& sql) {
        return "<TSQUERY DATASOURCE=\"" + std::string(kDsn) + "\">" + sql + "</TSQUERY>";
    }
    static std::string Tag(const char* tag, const char* table) {
        return std::string("<") + tag + " DATASOURCE=\"" + kDsn + "\" TABLENAME=\"" + table + "\">";
    }
    e2e::HttpResponse Post(const std::string& target, const std::string& body) {
        return e2e::HttpRequest(site.port(), "POST", target, {"Content-Type: application/x-www-form-urlencoded"}, body);
    }
    std::string Rows() { return site.Get("/rows.tsm").body; }
    // The page ended at its limit of `seconds` with the limit's error, soon after the limit.
    static void ExpectTimedOut(const e2e::HttpResponse& page, std::chrono::milliseconds took, int seconds,
                               const std::string& what) {
        EXPECT_EQ(page.status, 500) << what << page.error << page.body.substr(0, 500);
        EXPECT_THAT(page.body, HasSubstr("Request timed out")) << what;
        EXPECT_THAT(page.body, HasSubstr("allowable limit of " + std::to_string(seconds) + " seconds.")) << what;
        EXPECT_GE(took.count(), seconds * 1000) << what;
        // The limit, and the time a loaded machine or a sanitizer build takes to answer.
        EXPECT_LT(took.count(), seconds * 1000 + 3000) << what;
    }
    // The engine that served the failed page serves the next one, at once.
    void ExpectServing() {
        const auto start = std::chrono::steady_clock::now();
        auto next = site.Get("/rows.tsm");
        EXPECT_EQ(next.status, 200) << next.body.substr(0, 300);
        EXPECT_LT(Since(start).count(), 3000);
        EXPECT_EQ(site.EnginePid(), engine_);
    }

    std::optional<e2e::SQLiteDataSource> odbc_;
    pid_t engine_ = -1;
};

TEST_F(InsertBudgetThroughWebServer, SlowInsertsAndUpdatesEndAtTheTimeLimit) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "30"));
    ASSERT_TRUE(e2e::Site::SetSetting("DataSources\\" + std::string(kDsn), "AllowIUActions", "1"));
    Start();
    // A row the updates below would change, written before the triggers matter.
    ASSERT_EQ(Page("fill.tsm", Query("INSERT INTO fast VALUES (1, 'Ann')") + "ok").body, "ok");
    site.WriteDocument("insert_fast.tsm", Tag("TSINSERT", "fast") + "saved");
    site.WriteDocument("insert_slow.tsm", Tag("TSINSERT", "slow") + "saved");
    site.WriteDocument("update_slow.tsm", Tag("TSUPDATE", "slow") + "changed");
    // The slow update needs a row of its own to change: one written while the trigger is away.
    ASSERT_EQ(Page("fill_slow.tsm", Query("DROP TRIGGER slow_insert") + Query("INSERT INTO slow VALUES (7, 'Gus')") +
                                        Query("CREATE TRIGGER slow_insert AFTER INSERT ON slow BEGIN INSERT INTO "
                                              "counts SELECT " + std::string(kSlowCount) + "; END") +
                                        "ok")
                  .body,
              "ok");
    const std::string before = Rows();
    ASSERT_EQ(before, "f1:Ann;s7:Gus;");

    struct Case {
        const char* what;
        std::string target;
        std::string form;
        int seconds;
    } const cases[] = {
        {"TSINSERT", "/insert_slow.tsm?RequestTimeout=1", "id=2&name=Bob", 1},
        {"TSUPDATE", "/update_slow.tsm?RequestTimeout=2", "id=7&name=Hal", 2},
        {"Insert action", "/rows.tsm?action=Insert&RequestTimeout=1",
         "DATASOURCE=" + std::string(kDsn) + "&TABLENAME=slow&NEXTPAGE=/rows.tsm&id=3&name=Cy", 1},
        {"Update action", "/rows.tsm?action=Update&RequestTimeout=1",
         "DATASOURCE=" + std::string(kDsn) + "&TABLENAME=slow&NEXTPAGE=/rows.tsm&id=7&name=Ida", 1},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        auto page = Post(c.target, c.form);
        ExpectTimedOut(page, Since(start), c.seconds, c.what);
        // The interrupted statement wrote nothing.
        EXPECT_EQ(Rows(), before) << c.what;
        ExpectServing();
    }
    // Beside them, the same roads without a trigger still write at once.
    auto saved = Post("/insert_fast.tsm?RequestTimeout=1", "id=2&name=Bob");
    EXPECT_EQ(saved.body, "saved") << saved.body.substr(0, 500);
    EXPECT_EQ(Rows(), "f1:Ann;f2:Bob;s7:Gus;");
    EXPECT_EQ(tessaro::test::CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Request timed out"), 4u)
        << site.ReadHomeFile("log/TSENGINE.LOG");
}

TEST_F(InsertBudgetThroughWebServer, ATransactionWhoseInsertRunsPastTheLimitIsRolledBack) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "1"));
    Start();
    // The server's own limit this time; the quick row of the same transaction goes with it.
    site.WriteDocument("both.tsm", "<TSTRANSACTION>" + Query("INSERT INTO fast VALUES (4, 'Dee')") +
                                       Tag("TSINSERT", "slow") + "</TSTRANSACTION>saved");
    const auto start = std::chrono::steady_clock::now();
    auto page = Post("/both.tsm", "id=5&name=Eve");
    ExpectTimedOut(page, Since(start), 1, "transaction");
    EXPECT_EQ(Rows(), "");
    ExpectServing();
}

TEST_F(InsertBudgetThroughWebServer, ShutdownCancelsAnInsertInFlight) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "120"));
    Start();
    site.WriteDocument("insert_slow.tsm", Tag("TSINSERT", "slow") + "saved");
    e2e::HttpResponse page;
    std::thread visitor([&] { page = Post("/insert_slow.tsm", "id=2&name=Bob"); });
    std::this_thread::sleep_for(800ms);  // the statement runs
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(e2e::RunProgram({e2e::BuiltProgram("tsscm"), "stop", "Brendlow Tessaro 2.0", "--wait", "15"}), 0);
    EXPECT_LT(Since(start).count(), 4000);
    visitor.join();
    EXPECT_EQ(page.status, 503) << page.error << page.body.substr(0, 300);
    EXPECT_THAT(page.body, HasSubstr("The server was stopped while it worked on this request"));
    for (int i = 0; i < 100 && e2e::ProcessRunning(engine_); ++i) std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(e2e::ProcessRunning(engine_));
}

}  // namespace
