// scripts/serve as a user runs it: twice in a row over the same runtime root, with a data
// source of the user's own in the root's odbc.ini. The user's entry must survive, and a data
// source added while the engine runs must be found by the next request that names it. Then
// the applications the wizards generate from docs/wizards.md's scripts, served by the same
// lighttpd: every page runs (capital extensions included), a posted entry is saved, and no
// template is ever sent as its text; and a generated form filled in by headless Chromium.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>

#include "child_process.h"
#include "e2e_odbc.h"
#include "e2e_site.h"
#include "http_client.h"
#include "lighttpd_server.h"
#include "readme_lighttpd_lines.h"
#include "platform/service_manager.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/temp_home.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"
#include "tests/common/text_matchers.h"

namespace {

using tessaro::test::ReadFileText;
using tessaro::test::ReadSourceText;
using e2e::ReadmeLighttpdLines;
using e2e::Replaced;

using tessaro::test::ContainsText;
using tessaro::test::CountOf;
using ::testing::HasSubstr;
using ::testing::Not;

// The script of docs/wizards.md that follows the marker <!-- wizard-script: NAME -->.
std::string GuideScript(const std::string& name) {
    std::istringstream in(ReadSourceText("docs/wizards.md"));
    std::string line, script;
    bool found = false, inBlock = false;
    while (std::getline(in, line)) {
        if (!found) {
            found = line == "<!-- wizard-script: " + name + " -->";
            continue;
        }
        if (line.rfind("```", 0) == 0) {
            if (inBlock) break;
            inBlock = true;
            continue;
        }
        if (inBlock) script += line + "\n";
    }
    return script;
}


// The rows of a query on the database file itself, one "a|b|c" text per row.
std::vector<std::string> SqlRows(const std::string& dbPath, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open(dbPath.c_str(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, sql.c_str(),
            [](void* context, int count, char** values, char**) {
                std::string row;
                for (int i = 0; i < count; ++i) row += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
                static_cast<std::vector<std::string>*>(context)->push_back(row);
                return 0;
            },
            &rows, nullptr);
    }
    sqlite3_close(db);
    return rows;
}

// What a template's text gives away when it is sent as a file.
bool ShowsTemplateSource(const std::string& body) {
    for (const char* tag : {"<TSQUERY", "<TSINSERT", "<TSUPDATE", "<TSOUTPUT", "<TSIF", "<TSSET", "<TSPARAM"})
        if (ContainsText(body, tag)) return true;
    return false;
}

class ServeScript : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(e2e::SQLiteOdbcDriverInstalled(), "SQLite ODBC driver not installed");
        docs_ = home_.path() + "/docs";
        std::filesystem::create_directories(docs_);
        std::filesystem::create_directories(home_.path() + "/odbc");
        std::ofstream(home_.path() + "/odbc/odbc.ini")
            << "[Guestbook]\nDriver=SQLite3\nDatabase=" << home_.path() << "/guestbook.db\n";
        WriteTemplate("guest.tsm", "Guestbook");
    }

    void WriteTemplate(const std::string& file, const std::string& dsn) const {
        std::ofstream(docs_ + "/" + file)
            << "<TSQUERY DATASOURCE=\"" << dsn << "\">CREATE TABLE IF NOT EXISTS g (n INTEGER)</TSQUERY>"
            << "<TSQUERY NAME=\"q\" DATASOURCE=\"" << dsn << "\">SELECT COUNT(*) AS c FROM g</TSQUERY>"
            << "<TSOUTPUT>rows #q.c#</TSOUTPUT>";
    }

    // Starts scripts/serve and waits until it says it serves; the port it serves on.
    std::unique_ptr<e2e::BackgroundProgram> Serve(int* port) {
        *port = e2e::FreeLoopbackPort();
        output_ = home_.path() + "/serve.out";
        std::filesystem::remove(output_);
        auto serve = std::make_unique<e2e::BackgroundProgram>(
            std::vector<std::string>{std::string(TESSARO_SOURCE_DIR) + "/scripts/serve", docs_},
            std::map<std::string, std::string>{{"TESSARO_HOME", home_.path()},
                                               {"PORT", std::to_string(*port)},
                                               {"TESSARO_BIN", std::string(TESSARO_BINARY_DIR) + "/bin"}},
            output_);
        for (int i = 0; i < 600 && ReadFileText(output_).find("Tessaro is serving") == std::string::npos; ++i) {
            if (!serve->Alive()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return serve;
    }

    // Runs a script of docs/wizards.md with tswizards, writing into the served folder
    // instead of the guide's.
    void RunGuideScript(const std::string& name, const std::string& guideFolder = kGuideFolder) {
        std::string script = GuideScript(name);
        ASSERT_FALSE(script.empty()) << "docs/wizards.md has no script " << name;
        // The guide's folder is shared by everyone on the machine; the test writes into its
        // own, and never runs a script that would still name another.
        ASSERT_THAT(script, HasSubstr(guideFolder)) << "the script no longer writes into " << guideFolder;
        script = Replaced(script, guideFolder, docs_);
        std::istringstream lines(script);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("answer /", 0) == 0) {
                ASSERT_EQ(line, "answer " + docs_);
            }
        }
        const std::string file = home_.path() + "/" + name + ".txt";
        std::ofstream(file) << script;
        // The programs and their templates in a folder of the test's own: the wizards' request
        // file lies beside the programs, and another test's run must not share it.
        const std::string programs = home_.path() + "/wizard-programs";
        if (!std::filesystem::exists(programs + "/tswizards")) {
            const std::string bin = std::string(TESSARO_BINARY_DIR) + "/bin";
            std::filesystem::create_directories(programs);
            for (const char* program : {"tswizards", "tsutils"})
                std::filesystem::copy_file(bin + "/" + program, programs + "/" + program);
            std::filesystem::copy(bin + "/templates", programs + "/templates",
                                  std::filesystem::copy_options::recursive);
        }
        tessaro::wizardutils::testing::ChildLeakChecksOff leakChecks;
        const std::string out = home_.path() + "/" + name + ".out";
        int status = e2e::RunProgram({programs + "/tswizards", "--script", file},
                                     {{"TESSARO_HOME", home_.path()},
                                      {"ODBCSYSINI", home_.path() + "/odbc"},
                                      {"ODBCINI", home_.path() + "/odbc/odbc.ini"}},
                                     out);
        EXPECT_EQ(status, 0) << ReadFileText(out);
    }

    static constexpr const char* kChromium = "/usr/bin/chromium";
    static constexpr const char* kChromedriver = "/usr/bin/chromedriver";
    static constexpr const char* kBrowserMissing = "chromium, chromium-driver and python3 are not all installed";
    static bool BrowserInstalled() {
        return std::filesystem::exists(kChromium) && std::filesystem::exists(kChromedriver) &&
               std::filesystem::exists("/usr/bin/python3");
    }
    // Headless Chromium walks the steps of browser_walk.py; each "show" writes a line to out.
    int WalkBrowser(const std::vector<std::string>& steps, const std::string& out) {
        std::vector<std::string> command{"/usr/bin/python3",
                                         std::string(TESSARO_SOURCE_DIR) + "/tests/e2e/browser_walk.py", kChromium,
                                         kChromedriver, home_.path() + "/chromium-profile"};
        command.insert(command.end(), steps.begin(), steps.end());
        return e2e::RunProgram(command, {}, out);
    }

    e2e::HttpResponse Post(int port, const std::string& target, const std::string& body) {
        return e2e::HttpRequest(port, "POST", target, {"Content-Type: application/x-www-form-urlencoded"}, body);
    }

    // Asked for under another case, or with a path after it, a template runs or is refused:
    // its text never leaves.
    void ExpectNeverSentAsText(int port, const std::string& file) {
        std::string lower = file, upper = file;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& target : {"/" + lower, "/" + upper, "/" + file + "/more", "/" + file + "%2f"}) {
            auto page = e2e::HttpGet(port, target);
            EXPECT_NE(page.status, 0) << target << page.error;
            EXPECT_FALSE(ShowsTemplateSource(page.body)) << target << "\n" << page.body;
        }
    }

    // The folders the guide's scripts write into (the test's own folder takes their place).
    static constexpr const char* kGuideFolder = "/tmp/cities-app";
    static constexpr const char* kTodoFolder = "/tmp/todo-app";

    tessaro::test::TempHome home_;
    std::string docs_;
    std::string output_;
};

TEST_F(ServeScript, KeepsTheUsersDataSourcesAndFindsNewOnes) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        int port = 0;
        auto serve = Serve(&port);
        ASSERT_NE(ReadFileText(output_).find("Tessaro is serving"), std::string::npos) << ReadFileText(output_);
        EXPECT_NE(ReadFileText(output_).find("ODBCINI=" + home_.path() + "/odbc/odbc.ini"), std::string::npos)
            << "tsengine -INSTALL says which ODBC files the service uses\n"
            << ReadFileText(output_);

        std::string ini = ReadFileText(home_.path() + "/odbc/odbc.ini");
        EXPECT_EQ(CountOf(ini, "[Guestbook]"), 1u) << ini;
        EXPECT_EQ(CountOf(ini, "[TessaroSample]"), 1u) << ini;
        auto page = e2e::HttpGet(port, "/guest.tsm");
        EXPECT_EQ(page.status, 200) << page.error << page.body;
        EXPECT_EQ(page.body, "rows 0");

        if (run == 2) {
            // Added while the engine runs: the next request that names it finds it.
            std::ofstream(home_.path() + "/odbc/odbc.ini", std::ios::app)
                << "\n[Later]\nDriver=SQLite3\nDatabase=" << home_.path() << "/later.db\n";
            WriteTemplate("later.tsm", "Later");
            auto later = e2e::HttpGet(port, "/later.tsm");
            EXPECT_EQ(later.status, 200) << later.body;
            EXPECT_EQ(later.body, "rows 0");
        }
        EXPECT_EQ(serve->Stop(), 0) << ReadFileText(output_);
    }
}

// A second scripts/serve while one runs, on its port or over its runtime root, refuses before
// it changes anything, and the first goes on serving with the same engine.
TEST_F(ServeScript, ASecondServeRefusesAndLeavesTheFirstServing) {
    int port = 0;
    auto serve = Serve(&port);
    ASSERT_NE(ReadFileText(output_).find("Tessaro is serving"), std::string::npos) << ReadFileText(output_);
    auto enginePid = [&] {
        std::ifstream status(home_.path() + "/scm/" + tessaro::platform::ScmFoldServiceName("Brendlow Tessaro 2.0") +
                             "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Pid=", 0) == 0) return line;
        return std::string();
    };
    ASSERT_EQ(e2e::HttpGet(port, "/guest.tsm").body, "rows 0");
    const std::string engine = enginePid();
    ASSERT_FALSE(engine.empty());

    tessaro::test::TempFolder other("tsserve");
    const std::string otherDocs = other.path() + "/docs";
    std::filesystem::create_directories(otherDocs);
    struct Second {
        const char* name;
        std::string home;
        int port;
        const char* says;
    } seconds[] = {
        {"same-port", other.path() + "/home", port, "is in use (another scripts/serve, or another server); nothing was"},
        {"same-root", home_.path(), e2e::FreeLoopbackPort(),
         "is being served by another scripts/serve; nothing was changed."},
    };
    for (const Second& second : seconds) {
        SCOPED_TRACE(second.name);
        const std::string out = other.path() + "/" + second.name + ".out";
        e2e::BackgroundProgram run({std::string(TESSARO_SOURCE_DIR) + "/scripts/serve", otherDocs},
                                   {{"TESSARO_HOME", second.home},
                                    {"PORT", std::to_string(second.port)},
                                    {"TESSARO_BIN", std::string(TESSARO_BINARY_DIR) + "/bin"}},
                                   out);
        // A refusal is quick; one that serves after all is stopped after a while.
        for (int i = 0; i < 300 && run.Alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(run.Alive()) << "the second scripts/serve did not refuse\n" << ReadFileText(out);
        EXPECT_EQ(run.Stop(), 1) << ReadFileText(out);
        EXPECT_THAT(ReadFileText(out), HasSubstr(second.says));
        EXPECT_THAT(ReadFileText(out), Not(HasSubstr("Tessaro is serving")));
        // The first is untouched: its pages, its template folder, its engine.
        auto page = e2e::HttpGet(port, "/guest.tsm");
        EXPECT_EQ(page.status, 200) << page.body;
        EXPECT_EQ(page.body, "rows 0");
        EXPECT_EQ(enginePid(), engine);
    }
    EXPECT_FALSE(std::filesystem::exists(other.path() + "/home")) << "the refused run made a runtime root";
    EXPECT_EQ(serve->Stop(), 0) << ReadFileText(output_);
}

// The user's road: scripts/serve over a folder, the wizards' scripts from docs/wizards.md over
// the sample database, then every generated page through that lighttpd.
TEST_F(ServeScript, WizardApplicationsRunWhereTemplatesAreServed) {
    int port = 0;
    auto serve = Serve(&port);
    ASSERT_NE(ReadFileText(output_).find("Tessaro is serving"), std::string::npos) << ReadFileText(output_);
    const std::string database = home_.path() + "/data/sample.db";

    RunGuideScript("data-entry");
    for (const char* file : {"EntryForm.TSM", "DataEntry.TSM", "EntryList.TSM"})
        ASSERT_TRUE(std::filesystem::exists(docs_ + "/" + file)) << file;
    auto form = e2e::HttpGet(port, "/EntryForm.TSM");
    ASSERT_EQ(form.status, 200) << form.error << form.body;
    EXPECT_THAT(form.body, HasSubstr(R"(<FORM ACTION="DataEntry.TSM" METHOD="POST">)"));
    EXPECT_THAT(form.body, HasSubstr("<TITLE>Cities</TITLE>"));
    EXPECT_FALSE(ShowsTemplateSource(form.body)) << form.body;
    auto list = e2e::HttpGet(port, "/EntryList.TSM");
    ASSERT_EQ(list.status, 200) << list.error << list.body;
    EXPECT_THAT(list.body, HasSubstr("<TD>Bologna</TD>"));
    EXPECT_FALSE(ShowsTemplateSource(list.body)) << list.body;

    // A row posted as the form sends it is saved.
    auto saved = Post(port, "/DataEntry.TSM", "Name=Zagreb&Country=Croatia&Population=770000");
    ASSERT_EQ(saved.status, 200) << saved.error << saved.body;
    EXPECT_THAT(saved.body, HasSubstr("Your entry has been saved."));
    EXPECT_EQ(SqlRows(database, "SELECT Name, Country, Population FROM Cities WHERE Name = 'Zagreb'"),
              std::vector<std::string>{"Zagreb|Croatia|770000"});
    list = e2e::HttpGet(port, "/EntryList.TSM");
    EXPECT_THAT(list.body, HasSubstr("<TD>Zagreb</TD>"));
    auto edit = e2e::HttpGet(port, "/EntryForm.TSM?Name=Zagreb");
    ASSERT_EQ(edit.status, 200) << edit.error << edit.body;
    EXPECT_THAT(edit.body, HasSubstr(R"(VALUE="Croatia")"));

    RunGuideScript("drill-down");
    for (const char* file : {"Search.TSM", "Results.TSM", "Detail.TSM"})
        ASSERT_TRUE(std::filesystem::exists(docs_ + "/" + file)) << file;
    auto search = e2e::HttpGet(port, "/Search.TSM");
    ASSERT_EQ(search.status, 200) << search.error << search.body;
    EXPECT_THAT(search.body, HasSubstr(R"(<FORM ACTION="Results.TSM" METHOD="POST">)"));
    auto results = Post(port, "/Results.TSM", "Cities__Country=Ita");
    ASSERT_EQ(results.status, 200) << results.error << results.body;
    EXPECT_THAT(results.body, HasSubstr(">Bologna</A>"));
    EXPECT_THAT(results.body, HasSubstr(">Trieste</A>"));
    EXPECT_THAT(results.body, Not(HasSubstr("Lyon")));
    auto detail = e2e::HttpGet(port, "/Detail.TSM?Cities__Name=Trieste");
    ASSERT_EQ(detail.status, 200) << detail.error << detail.body;
    EXPECT_THAT(detail.body, HasSubstr("Italy"));
    EXPECT_THAT(detail.body, HasSubstr("200000"));

    for (const char* file :
         {"EntryForm.TSM", "DataEntry.TSM", "EntryList.TSM", "Search.TSM", "Results.TSM", "Detail.TSM"})
        ExpectNeverSentAsText(port, file);
    // Any case of the extension runs the template.
    std::ofstream(docs_ + "/Mixed.Tsm") << "<TSQUERY NAME=\"q\" DATASOURCE=\"TessaroSample\">"
                                           "SELECT COUNT(*) AS n FROM Cities</TSQUERY><TSOUTPUT>#q.n# cities</TSOUTPUT>";
    auto mixed = e2e::HttpGet(port, "/Mixed.Tsm");
    EXPECT_EQ(mixed.status, 200) << mixed.body;
    EXPECT_EQ(mixed.body, "6 cities");
    EXPECT_EQ(serve->Stop(), 0) << ReadFileText(output_);
}

// A person's road through a generated application in a real browser: the entry form takes
// "München" and "日本" from headless Chromium, the database keeps them as UTF-8, and the list
// shows them; the engine's own error page is read as UTF-8 too.
TEST_F(ServeScript, AGeneratedFormPostsUtf8FromChromium) {
    REQUIRE_OR_SKIP(BrowserInstalled(), kBrowserMissing);
    int port = 0;
    auto serve = Serve(&port);
    ASSERT_NE(ReadFileText(output_).find("Tessaro is serving"), std::string::npos) << ReadFileText(output_);
    RunGuideScript("data-entry");
    std::ofstream(docs_ + "/broken.tsm") << "<P>M\xC3\xBCnchen\n<TSOUTPUT>#NoSuchName#</TSOUTPUT>\n";

    const std::string site = "http://127.0.0.1:" + std::to_string(port);
    const std::string out = home_.path() + "/browser.out";
    const int status = WalkBrowser({"open", site + "/EntryForm.TSM", "show", "fill", "Name", "M\xC3\xBCnchen", "fill",
                                    "Country", "\xE6\x97\xA5\xE6\x9C\xAC", "fill", "Population", "1500000", "submit",
                                    "show", "open", site + "/EntryList.TSM", "show", "open", site + "/broken.tsm", "show"},
                                   out);
    ASSERT_EQ(status, 0) << ReadFileText(out);
    std::vector<std::string> pages;
    std::istringstream lines(ReadFileText(out));
    for (std::string line; std::getline(lines, line);) pages.push_back(line);
    ASSERT_EQ(pages.size(), 4u) << ReadFileText(out);
    for (const std::string& page : pages) EXPECT_THAT(page, HasSubstr(R"("charset": "UTF-8")"));
    EXPECT_THAT(pages[1], HasSubstr("Your entry has been saved."));

    // The bytes the browser posted, as the database holds them.
    EXPECT_EQ(SqlRows(home_.path() + "/data/sample.db",
                      "SELECT hex(Name), hex(Country) FROM Cities WHERE Population = 1500000"),
              std::vector<std::string>{"4DC3BC6E6368656E|E697A5E69CAC"});
    EXPECT_THAT(pages[2], HasSubstr("M\xC3\xBCnchen"));
    EXPECT_THAT(pages[2], HasSubstr("\xE6\x97\xA5\xE6\x9C\xAC"));
    // The error page quotes the template's line as it is written.
    EXPECT_THAT(pages[3], HasSubstr("Error resolving parameter"));
    EXPECT_THAT(pages[3], HasSubstr("M\xC3\xBCnchen"));
    EXPECT_EQ(serve->Stop(), 0) << ReadFileText(output_);
}

// The to-do scripts of docs/wizards.md over the sample's two related tables: the entry form
// limits a title to its column and writes a note in a text area, headless Chromium saves
// stored to-dos unchanged and writes a new one, and every line of a text survives; the
// detail page of the join shows each of the two ID columns with its own value.
TEST_F(ServeScript, TodoApplicationsKeepTheLinesOfATextAndTheColumnsOfAJoinApart) {
    REQUIRE_OR_SKIP(BrowserInstalled(), kBrowserMissing);
    int port = 0;
    auto serve = Serve(&port);
    ASSERT_NE(ReadFileText(output_).find("Tessaro is serving"), std::string::npos) << ReadFileText(output_);
    const std::string database = home_.path() + "/data/sample.db";
    RunGuideScript("todo-entry", kTodoFolder);
    RunGuideScript("todo-search", kTodoFolder);

    auto form = e2e::HttpGet(port, "/EntryForm.TSM");
    ASSERT_EQ(form.status, 200) << form.error << form.body;
    EXPECT_THAT(form.body, HasSubstr(R"(<INPUT TYPE="text" NAME="Title" SIZE="50" MAXLENGTH="200">)"));
    EXPECT_THAT(form.body, HasSubstr(R"(<TEXTAREA NAME="Note" COLS="50" ROWS="5" MAXLENGTH="2000"></TEXTAREA>)"));
    auto edit = e2e::HttpGet(port, "/EntryForm.TSM?ID=1");
    ASSERT_EQ(edit.status, 200) << edit.error << edit.body;
    EXPECT_THAT(edit.body, HasSubstr("<TEXTAREA NAME=\"Note\" COLS=\"50\" ROWS=\"5\" MAXLENGTH=\"2000\">\n"
                                     "The figures of March,\nthen the summary.</TEXTAREA>"));
    EXPECT_THAT(edit.body, HasSubstr(R"(<INPUT TYPE="text" NAME="Title" VALUE="Write the report" SIZE="50")"));
    // A stored title that holds a line break is edited in a text area, not a text box.
    SqlRows(database, "INSERT OR REPLACE INTO Todos VALUES (3, 1, 'Call' || char(10) || 'the plumber', NULL)");
    auto lined = e2e::HttpGet(port, "/EntryForm.TSM?ID=3");
    ASSERT_EQ(lined.status, 200) << lined.error << lined.body;
    EXPECT_THAT(lined.body, HasSubstr("<TEXTAREA NAME=\"Title\" COLS=\"50\" ROWS=\"5\" MAXLENGTH=\"200\">\n"
                                      "Call\nthe plumber</TEXTAREA>"));
    EXPECT_THAT(lined.body, Not(HasSubstr(R"(<INPUT TYPE="text" NAME="Title")")));

    const std::string site = "http://127.0.0.1:" + std::to_string(port);
    const std::string out = home_.path() + "/browser.out";
    const int status = WalkBrowser({"open", site + "/EntryForm.TSM?ID=1", "submit", "show", "open",
                                    site + "/EntryForm.TSM?ID=3", "submit", "show", "open", site + "/EntryForm.TSM",
                                    "fill", "Title", "Plan the trip", "fill", "Note", "Book the train\nthen the hotel",
                                    "submit", "show"},
                                   out);
    ASSERT_EQ(status, 0) << ReadFileText(out);
    EXPECT_EQ(CountOf(ReadFileText(out), "Your entry has been saved."), 3u) << ReadFileText(out);
    // The lines of every text, as the database keeps them (a browser ends them with CR LF).
    EXPECT_EQ(SqlRows(database,
                      "SELECT ID, CategoryID, replace(replace(Title, char(13), ''), char(10), '|'),"
                      " replace(replace(coalesce(Note, ''), char(13), ''), char(10), '|') FROM Todos ORDER BY ID"),
              (std::vector<std::string>{"1|2|Write the report|The figures of March,|then the summary.",
                                        "2|1|Paint the fence|Buy white paint.", "3|1|Call|the plumber|",
                                        "4|1|Plan the trip|Book the train|then the hotel"}));

    auto results = Post(port, "/Results.TSM", "Todos__Title=report");
    ASSERT_EQ(results.status, 200) << results.error << results.body;
    EXPECT_THAT(results.body, HasSubstr(">Write the report</A>"));
    EXPECT_THAT(results.body, HasSubstr(">Work</A>"));
    EXPECT_THAT(results.body, Not(HasSubstr("Paint")));
    ASSERT_THAT(results.body, HasSubstr("HREF=\"Detail.TSM?Todos__ID=1\""));
    // To-do 1 is of category 2 and to-do 2 of category 1: each ID line shows its own column.
    for (const auto& [todo, category, name] : {std::tuple{"1", "2", "Work"}, std::tuple{"2", "1", "Home"}}) {
        auto detail = e2e::HttpGet(port, std::string("/Detail.TSM?Todos__ID=") + todo);
        ASSERT_EQ(detail.status, 200) << detail.error << detail.body;
        EXPECT_THAT(detail.body, HasSubstr(std::string("Categories.ID: ") + category + "\n")) << detail.body;
        EXPECT_THAT(detail.body, HasSubstr(std::string("Todos.ID: ") + todo + "\n")) << detail.body;
        EXPECT_THAT(detail.body, HasSubstr(std::string("Categories.Name: ") + name + "\n")) << detail.body;
    }
    EXPECT_EQ(serve->Stop(), 0) << ReadFileText(output_);
}

// The README's lighttpd lines, pasted into a configuration as a user would: lighttpd takes them
// (the capital suffix cannot be a second cgi.assign key, which lighttpd refuses).
TEST(ReadmeLighttpdLines, LighttpdAcceptsThem) {
    REQUIRE_OR_SKIP(std::filesystem::exists("/usr/sbin/lighttpd"), "lighttpd is not installed");
    const std::string lines = ReadmeLighttpdLines();
    ASSERT_THAT(lines, HasSubstr("(?i)"));
    tessaro::test::TempHome home;
    const std::string conf = home.path() + "/lighttpd.conf";
    std::ofstream(conf) << "server.document-root = \"" << home.path() << "\"\nserver.port = " << e2e::FreeLoopbackPort()
                        << "\n"
                        << Replaced(Replaced(lines, "/var/lib/tessaro", home.path()), "/var/log/lighttpd",
                                    home.path());
    const std::string out = home.path() + "/lighttpd.out";
    EXPECT_EQ(e2e::RunProgram({"/usr/sbin/lighttpd", "-tt", "-f", conf}, {}, out), 0) << ReadFileText(out) << lines;
}

// The README's lines appended to Debian's own lighttpd.conf, as the package installs it: that
// file loads the static-file module before anything appended can load mod_cgi, and sets
// static-file.exclude-extensions itself. Only what a test must differ in is changed (port and
// address, document root, logs, pid and upload folders, and no change of user). Every case of
// a template's extension is run by ksml; none is sent as its text.
TEST(ReadmeLighttpdLines, AppendedToTheStockDebianFileEveryTemplateRuns) {
    const std::string stockFile = "/etc/lighttpd/lighttpd.conf";
    REQUIRE_OR_SKIP(std::filesystem::exists("/usr/sbin/lighttpd") && std::filesystem::exists(stockFile),
                    "lighttpd (with Debian's " << stockFile << ") is not installed");
    e2e::Site site;
    ASSERT_TRUE(site.InstallEngine());
    const char* const templates[] = {"x.tsm", "X.TSM", "EntryForm.TSM", "page.Ksm"};
    for (const char* name : templates)
        site.WriteDocument(name, std::string("<TSOUTPUT>#UCase(\"ksml\")# ran ") + name + "</TSOUTPUT>");
    site.WriteDocument("plain.html", "a plain file");

    const std::string work = site.home() + "/stock";
    std::filesystem::create_directories(work + "/uploads");
    const int port = e2e::FreeLoopbackPort();
    const std::map<std::string, std::string> adjusted = {
        {"server.document-root", "\"" + site.document_root() + "\""},
        {"server.port", std::to_string(port)},
        {"server.errorlog", "\"" + work + "/error.log\""},
        {"server.pid-file", "\"" + work + "/lighttpd.pid\""},
        {"server.upload-dirs", "( \"" + work + "/uploads\" )"},
    };
    std::string seen;
    std::string config = e2e::AdjustedLighttpdConfig(ReadFileText(stockFile), adjusted, false, &seen);
    for (const auto& [name, value] : adjusted)
        EXPECT_THAT(seen, HasSubstr(name + " ")) << stockFile << " has no " << name << " line to adjust";
    config += "server.bind = \"127.0.0.1\"\n";
    // The gateway is the copy -INSTALL put into the runtime root.
    config += Replaced(Replaced(ReadmeLighttpdLines(), "/var/lib/tessaro", site.home()), "/var/log/lighttpd", work);
    const std::string conf = work + "/lighttpd.conf";
    std::ofstream(conf) << config;

    e2e::BackgroundProgram lighttpd({"/usr/sbin/lighttpd", "-D", "-f", conf}, {}, work + "/lighttpd.out");
    ASSERT_TRUE(e2e::WaitForPort(port, 10000, lighttpd.pid()))
        << ReadFileText(work + "/lighttpd.out") << ReadFileText(work + "/error.log") << config;
    for (const char* name : templates) {
        auto page = e2e::HttpGet(port, std::string("/") + name);
        EXPECT_EQ(page.status, 200) << name << "\n" << page.body << ReadFileText(work + "/error.log");
        EXPECT_EQ(page.body, std::string("KSML ran ") + name) << name;
        EXPECT_FALSE(ShowsTemplateSource(page.body)) << name << "\n" << page.body;
    }
    // Path info behind a template is refused; other files are still served as files.
    EXPECT_EQ(e2e::HttpGet(port, "/X.TSM/more").status, 403);
    EXPECT_EQ(e2e::HttpGet(port, "/plain.html").body, "a plain file");
    lighttpd.Stop();
}

}  // namespace
