// Values an attacker puts into a request, through the whole road (browser -> lighttpd -> ksml
// -> tsengine): echoed into error pages, cut by functions inside quoted SQL, asking for more
// time than the server gives, numbers beyond their type, and the debug listing of a request
// that carries a login and cookies. Also pages that nobody waits for any more.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_odbc.h"
#include "site_test.h"
#include "tests/common/file_text.h"
#include "tests/common/odbc_test_config.h"
#include "tests/common/pg_test_server.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class HostileValues : public e2e::SiteTest {
protected:
    void Start() {
        ASSERT_TRUE(site.InstallEngine());
        ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    }
};

// --- values echoed into error pages -------------------------------------------------------

TEST_F(HostileValues, ErrorPagesShowRequestValuesAsText) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_echo", site.home() + "/echo.db");
    Start();
    // Each page quotes URL.x in the error it answers with.
    const char* const pages[] = {
        "<TSOUTPUT>#URL.x + 1#</TSOUTPUT>",
        "<TSOUTPUT>#ListGetAt(URL.x, 9)#</TSOUTPUT>",
        "<TSOUTPUT>#Mid(\"abc\", URL.x, 1)#</TSOUTPUT>",
        "<TSOUTPUT>#DateFormat(URL.x)#</TSOUTPUT>",
        "<TSOUTPUT>#SetVariable(URL.x, 1)#</TSOUTPUT>",
        "<TSOUTPUT>#Evaluate(URL.x)#</TSOUTPUT>",
        "<TSOUTPUT>#Insert(\"a\", URL.x, 999)#</TSOUTPUT>",
        "<TSOUTPUT>#RemoveChars(URL.x, 999, 1)#</TSOUTPUT>",
        "<TSOUTPUT>#NumberFormat(1, URL.x)#</TSOUTPUT>",
        "<TSOUTPUT>#ParseDateTime(URL.x)#</TSOUTPUT>",
        "<TSOUTPUT>#YesNoFormat(URL.x)#</TSOUTPUT>",
        "<TSOUTPUT>#Replace(\"a\", \"a\", \"b\", URL.x)#</TSOUTPUT>",
        "<TSLOOP QUERY=\"#URL.x#\"></TSLOOP>",
        "<TSOUTPUT QUERY=\"#URL.x#\">row</TSOUTPUT>",
        "<TSINCLUDE TEMPLATE=\"#URL.x#.tsm\">",
        "<TSREPORT REPORT=\"#URL.x#\">x</TSREPORT>",
        "<TSQUERY DATASOURCE=\"e2e_echo\">SELECT #URL.x# FROM nothing</TSQUERY>",
        // Every attribute of TSLOOP that must be a number or a name.
        "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"#URL.x#\"></TSLOOP>",
        "<TSLOOP INDEX=\"i\" FROM=\"#URL.x#\" TO=\"2\"></TSLOOP>",
        "<TSLOOP INDEX=\"i\" FROM=\"1\" TO=\"2\" STEP=\"#URL.x#\"></TSLOOP>",
        "<TSLOOP INDEX=\"#URL.x#\" FROM=\"1\" TO=\"2\"></TSLOOP>",
        "<TSLOOP INDEX=\"#URL.x#\" LIST=\"a,b\"></TSLOOP>",
        "<TSQUERY NAME=\"q\" DATASOURCE=\"e2e_echo\">SELECT 1 AS n</TSQUERY>"
        "<TSLOOP QUERY=\"q\" STARTROW=\"#URL.x#\"></TSLOOP>",
        "<TSQUERY NAME=\"q\" DATASOURCE=\"e2e_echo\">SELECT 1 AS n</TSQUERY>"
        "<TSLOOP QUERY=\"q\" ENDROW=\"#URL.x#\"></TSLOOP>",
        // The same name twice (the name is upper-cased: the test below looks without case).
        "<TSQUERY NAME=\"#URL.x#\" DATASOURCE=\"e2e_echo\">SELECT 1 AS n</TSQUERY>"
        "<TSQUERY NAME=\"#URL.x#\" DATASOURCE=\"e2e_echo\">SELECT 1 AS n</TSQUERY>",
        // A pattern that does not compile is quoted by the regular expression's own message.
        "<TSOUTPUT>#REFind(URL.x & \"(\", \"a\")#</TSOUTPUT>",
        "<TSERROR TYPE=\"#URL.x#\" TEMPLATE=\"e.htm\">",
        "<TSFILE ACTION=\"#URL.x#\">",
        "<TSCOOKIE NAME=\"c\" VALUE=\"1\" PATH=\"#URL.x#;\">",
    };
    const char* const attacks[] = {"<img src=x onerror=alert(1)>", "</XMP><script>alert(2)</script>"};
    int n = 0;
    for (const char* page : pages) {
        const std::string file = "echo" + std::to_string(n++) + ".tsm";
        site.WriteDocument(file, page);
        for (const char* attack : attacks) {
            auto response = site.Get("/" + file + "?x=" + e2e::FormEncode(attack));
            // Markup written in any case counts.
            std::string body = response.body;
            for (char& c : body) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(response.status, 500) << page << "\n" << response.body;
            EXPECT_THAT(body, Not(HasSubstr("<img"))) << page << "\n" << response.body;
            EXPECT_THAT(body, Not(HasSubstr("<script"))) << page << "\n" << response.body;
            EXPECT_THAT(body, Not(HasSubstr("</xmp>"))) << page << "\n" << response.body;
            EXPECT_THAT(body, Not(HasSubstr("<xmp>"))) << page << "\n" << response.body;
        }
    }
    // The quoted value is there, as text, and the message's own markup as markup.
    auto shown = site.Get("/echo0.tsm?x=" + e2e::FormEncode(attacks[0]));
    EXPECT_THAT(shown.body, HasSubstr("Cannot convert &lt;img src=x onerror=alert(1)&gt; to real."));
    auto loop = site.Get("/echo17.tsm?x=" + e2e::FormEncode(attacks[0]));
    EXPECT_THAT(loop.body, HasSubstr("The TO attribute of the TSLOOP tag, which evaluates to &lt;img src=x "
                                     "onerror=alert(1)&gt;, is not a number."));
    auto twice = site.Get("/echo24.tsm?x=" + e2e::FormEncode(attacks[0]));
    EXPECT_THAT(twice.body, HasSubstr("Duplicate TSQUERY name"));
    EXPECT_THAT(twice.body, HasSubstr("existing TSQUERY (&lt;IMG SRC=X ONERROR=ALERT(1)&gt;)"));
}

// --- quoted SQL values and the functions that cut them ---------------------------------------

struct SqlCase {
    const char* expression;  // inside '...' in the WHERE clause
    const char* query;       // the request's parameters besides b
    const char* row;         // the name the expression gives: the one row to come back
};

const SqlCase kSqlCases[] = {
    {"#Left(URL.a, 5)#", "a=xxxx%27yy", "xxxx'"},
    {"#Right(URL.a, 2)#", "a=yy%27x", "'x"},
    {"#Mid(URL.a, 2, 3)#", "a=y%27%27zz", "''z"},
    {"#RemoveChars(URL.a, 1, 1)#", "a=y%27z", "'z"},
    {"#Insert(\"'\", URL.a, 1)#", "a=ab", "a'b"},
    {"#Reverse(URL.a)#", "a=%27xy", "yx'"},
    {"#Replace(URL.a, \"-\", \"'\")#", "a=o-neil", "o'neil"},
    {"#ListGetAt(URL.a, 2)#", "a=x,it%27%27s", "it''s"},
    {"#Trim(URL.a & \"s\")#", "a=it%27", "it's"},
    {"#IIf(URL.c, \"URL.a\", DE(\"none\"))#", "c=yes&a=o%27%27k", "o''k"},
    {"#Left(URL.a, 4)##Right(URL.a, 1)#", "a=ab%27%27c", "ab''c"},
};

// The pages of the SQL cases over one data source; `login` names it in TSQUERY.
class SqlQuoting {
public:
    SqlQuoting(e2e::Site& site, std::string login, std::string table) : site_(site), login_(std::move(login)),
                                                                        table_(std::move(table)) {}

    std::string Query(const std::string& sql, const std::string& name = "") const {
        return "<TSQUERY " + login_ + (name.empty() ? "" : " NAME=\"" + name + "\"") + ">" + sql + "</TSQUERY>";
    }

    void Setup() {
        std::string sql = "INSERT INTO " + table_ + " VALUES ('Ann', 'X'), ('Bob', 'Y'), ('Cy', 'X')";
        for (const SqlCase& c : kSqlCases) {
            std::string quoted;
            for (const char* p = c.row; *p; ++p) quoted += *p == '\'' ? std::string("''") : std::string(1, *p);
            sql += ", ('" + quoted + "', 'X')";
        }
        site_.WriteDocument("setup.tsm", Query("DROP TABLE IF EXISTS " + table_) +
                                             Query("CREATE TABLE " + table_ + " (name VARCHAR(20), dept VARCHAR(10))") +
                                             Query(sql) + "ready");
        auto made = site_.Get("/setup.tsm");
        ASSERT_EQ(made.body, "ready") << made.body;
    }

    // The names a page's WHERE clause selects, as "[a][b]".
    std::string Rows(const std::string& where, const std::string& query) {
        site_.WriteDocument("rows.tsm", Query("SELECT name FROM " + table_ + " WHERE " + where + " ORDER BY name", "q") +
                                            "<TSOUTPUT QUERY=\"q\">[#name#]</TSOUTPUT>");
        auto response = site_.Get("/rows.tsm?" + query);
        return response.status == 200 ? response.body : "status " + std::to_string(response.status) + response.body;
    }

    void CheckEveryCase() {
        for (const SqlCase& c : kSqlCases) {
            const std::string where = "name = '" + std::string(c.expression) + "' AND dept = '#URL.b#'";
            EXPECT_EQ(Rows(where, std::string(c.query) + "&b=X"), "[" + std::string(c.row) + "]") << c.expression;
            // The second value tries to end the first's quotes and add a condition.
            EXPECT_EQ(Rows(where, std::string(c.query) + "&b=" + e2e::FormEncode(" OR 1=1 --")), "") << c.expression;
            EXPECT_EQ(Rows(where, std::string(c.query) + "&b=" + e2e::FormEncode("' OR 'a'='a")), "") << c.expression;
        }
        // Literal quotes of the template keep their meaning, and PreserveSingleQuotes its own.
        EXPECT_EQ(Rows("name = #Evaluate(DE(\"'Ann'\"))# AND dept = '#URL.b#'", "b=X"), "[Ann]");
        EXPECT_EQ(Rows("#PreserveSingleQuotes(URL.w)#", "w=" + e2e::FormEncode("dept = 'Y'")), "[Bob]");
    }

private:
    e2e::Site& site_;
    std::string login_;
    std::string table_;
};

TEST_F(HostileValues, QuotedSqlValuesSurviveEveryFunctionOnSQLite) {
    ASSERT_TRUE(e2e::SQLiteOdbcDriverInstalled()) << "the SQLite ODBC driver is part of the test setup";
    e2e::SQLiteDataSource odbc(site.home(), "e2e_quotes", site.home() + "/quotes.db");
    Start();
    SqlQuoting quoting(site, "DATASOURCE=\"e2e_quotes\"", "employees");
    quoting.Setup();
    quoting.CheckEveryCase();
}

class HostileValuesOnPostgres : public HostileValues {
protected:
    static void SetUpTestSuite() {
        // Before any site's private TMPDIR, which the server's user cannot reach.
        tessaro::database::OdbcTestConfig::Instance();
        tessaro::database::PgTestServer::Instance();
    }
};

TEST_F(HostileValuesOnPostgres, QuotedSqlValuesSurviveEveryFunction) {
    auto& pg = tessaro::database::PgTestServer::Instance();
    ASSERT_TRUE(pg.Available()) << "PostgreSQL not available: " << pg.Reason();
    Start();
    const std::string table = "e2e_employees_" + std::to_string(getpid());
    SqlQuoting quoting(site,
                       std::string("DATASOURCE=\"") + tessaro::database::PgTestServer::kDsn + "\" USERNAME=\"" +
                           tessaro::database::PgTestServer::kUser + "\"",
                       table);
    quoting.Setup();
    quoting.CheckEveryCase();
    site.WriteDocument("drop.tsm", quoting.Query("DROP TABLE IF EXISTS " + table));
    site.Get("/drop.tsm");
}

// --- the request time limit --------------------------------------------------------------

TEST_F(HostileValues, OnlyADebugClientRaisesTheTimeLimit) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "2"));
    // The tests' address (127.0.0.1) is not in the list: not a debug client.
    ASSERT_TRUE(e2e::Site::SetSetting("Debug\\DebugIPList", "10.9.8.7", ""));
    Start();
    site.WriteDocument("spin.tsm", "<TSLOOP CONDITION=\"TRUE\"></TSLOOP>");
    auto timed = [&](const std::string& query, std::string* body) {
        const auto start = std::chrono::steady_clock::now();
        auto response = site.Get("/spin.tsm" + query);
        *body = response.body;
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    std::string body;
    long ms = timed("?RequestTimeout=100000", &body);
    EXPECT_THAT(body, HasSubstr("allowable limit of 2 seconds"));
    EXPECT_LT(ms, 15000);
    ms = timed("?RequestTimeout=1", &body);
    EXPECT_THAT(body, HasSubstr("allowable limit of 1 seconds"));
    EXPECT_LT(ms, 15000);

    ASSERT_TRUE(e2e::Site::SetSetting("Debug\\DebugIPList", "127.0.0.1", ""));
    ms = timed("?RequestTimeout=3", &body);
    EXPECT_THAT(body, HasSubstr("allowable limit of 3 seconds"));
    EXPECT_GE(ms, 2900);
}

// The gateways (ksml processes) serving this site's requests right now.
std::vector<pid_t> GatewaysOf(const e2e::Site& site) {
    std::vector<pid_t> found;
    const std::string mark = "TESSARO_HOME=" + site.home();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        std::getline(comm, command);
        if (command != "ksml") continue;
        std::string variables = tessaro::test::ReadFileText(entry.path() / "environ");
        if (variables.find(mark + std::string(1, '\0')) != std::string::npos) found.push_back(std::stoi(name));
    }
    return found;
}

// The gateway has sent its request and waits for the reply: it is in its poll on the engine's
// socket (before that it only connects, writes and sleeps between tries). Unknown (false)
// where this process may not look at it.
bool WaitsForItsReply(pid_t gateway) {
    const std::string call = tessaro::test::ReadFileText("/proc/" + std::to_string(gateway) + "/syscall");
    if (call.empty() || !std::isdigit(static_cast<unsigned char>(call[0]))) return false;
    const long number = std::stol(call);
#ifdef SYS_poll
    if (number == SYS_poll) return true;
#endif
    return number == SYS_ppoll;
}

// A raw HTTP request on a connection of its own; the socket is returned unread.
int SendRequest(int port, const std::string& target) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A visitor leaves a long page; the web server ends the gateway that waited for it (lighttpd
// itself notices only when it next writes to the visitor, so the test ends the gateway as a
// web server that watches its visitors does). The engine sees the gateway gone at its next
// check point and stops the page, instead of looping on to the time limit.
TEST_F(HostileValues, WorkStopsWhenNobodyWaitsForThePage) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "120"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "2"));
    Start();
    ASSERT_EQ(site.Get("/x.tsm").status, 200);
    site.WriteDocument("spin.tsm", "<TSLOOP CONDITION=\"TRUE\"></TSLOOP>");
    std::vector<int> visitors;
    for (int i = 0; i < 2; ++i) visitors.push_back(SendRequest(site.port(), "/spin.tsm"));
    std::vector<pid_t> gateways;
    for (int waited = 0; waited < 100 && gateways.size() < 2; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gateways = GatewaysOf(site);
    }
    ASSERT_EQ(gateways.size(), 2u);
    // A gateway ended before its request has gone leaves no page to stop: on a busy machine
    // a gateway may take a while to get there.
    for (int waited = 0; waited < 100; ++waited) {
        if (WaitsForItsReply(gateways[0]) && WaitsForItsReply(gateways[1])) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto left = std::chrono::steady_clock::now();
    for (pid_t gateway : gateways) ::kill(gateway, SIGTERM);
    for (int fd : visitors) ::close(fd);
    // Both loops end soon: the log says why, and both permits are back.
    auto abandoned = [&] {
        const std::string log = site.ReadHomeFile("log/TSENGINE.LOG");
        const std::size_t first = log.find("Request abandoned");
        return first != std::string::npos && log.find("Request abandoned", first + 1) != std::string::npos;
    };
    while (!abandoned() && std::chrono::steady_clock::now() - left < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(abandoned()) << site.ReadHomeFile("log/TSENGINE.LOG");
    EXPECT_LT(std::chrono::steady_clock::now() - left, std::chrono::seconds(10));
    auto after = site.Get("/x.tsm");
    EXPECT_EQ(after.status, 200) << after.body;
}

// --- numbers beyond their type ------------------------------------------------------------

TEST_F(HostileValues, NumbersBeyondTheirTypeAnswerTheArgumentError) {
    Start();
    struct Case {
        const char* expression;
        const char* message;
    } const cases[] = {
        {"RepeatString(\"a\", 4294967297)",
         "Parameter 2 of function RepeatString which is now \"4294967297\" must be a non-negative integer"},
        {"BitOr(4294967296, 0)", "Parameter 1 of function BitOr which is now \"4294967296\" must be an integer"},
        {"2^1024", "The result of the power is too large for a real number"},
        {"(-8)^(1/3)", "A negative number raised to a fractional power is not a real number"},
    };
    for (const Case& c : cases) {
        site.WriteDocument("n.tsm", std::string("<TSOUTPUT>#") + c.expression + "#</TSOUTPUT>");
        auto response = site.Get("/n.tsm");
        EXPECT_EQ(response.status, 500) << c.expression << "\n" << response.body;
        EXPECT_THAT(response.body, HasSubstr(c.message)) << c.expression;
        EXPECT_THAT(response.body, Not(HasSubstr("INF"))) << c.expression;
        EXPECT_THAT(response.body, Not(HasSubstr("NAN"))) << c.expression;
    }
}

// --- the debug listing ---------------------------------------------------------------------

TEST_F(HostileValues, DebugListingHidesTheLoginAndCookieValues) {
    Start();
    auto response = e2e::HttpRequest(site.port(), "GET", "/x.tsm?mode=DEBUG",
                                     {"Authorization: Basic dXNlcjpodW50ZXIy", "Cookie: TSID=41; secret=hunter2"});
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_THAT(response.body, HasSubstr("<B>Parameters</B>"));
    EXPECT_THAT(response.body, HasSubstr("HTTP_COOKIE=TSID=(hidden); secret=(hidden)"));
    EXPECT_THAT(response.body, Not(HasSubstr("hunter2")));
    EXPECT_THAT(response.body, Not(HasSubstr("dXNlcjpodW50ZXIy")));
}

}  // namespace
