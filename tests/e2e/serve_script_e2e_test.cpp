// scripts/serve as a user runs it: twice in a row over the same runtime root, with a data
// source of the user's own in the root's odbc.ini. The user's entry must survive, and a data
// source added while the engine runs must be found by the next request that names it.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "e2e_odbc.h"
#include "http_client.h"
#include "lighttpd_server.h"
#include "tests/common/ci_require.h"
#include "tests/common/temp_home.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
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
        for (int i = 0; i < 600 && ReadFile(output_).find("Tessaro is serving") == std::string::npos; ++i) {
            if (!serve->Alive()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return serve;
    }

    tessaro::test::TempHome home_;
    std::string docs_;
    std::string output_;
};

TEST_F(ServeScript, KeepsTheUsersDataSourcesAndFindsNewOnes) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        int port = 0;
        auto serve = Serve(&port);
        ASSERT_NE(ReadFile(output_).find("Tessaro is serving"), std::string::npos) << ReadFile(output_);
        EXPECT_NE(ReadFile(output_).find("ODBCINI=" + home_.path() + "/odbc/odbc.ini"), std::string::npos)
            << "tsengine -INSTALL says which ODBC files the service uses\n"
            << ReadFile(output_);

        std::string ini = ReadFile(home_.path() + "/odbc/odbc.ini");
        EXPECT_EQ(Count(ini, "[Guestbook]"), 1u) << ini;
        EXPECT_EQ(Count(ini, "[TessaroSample]"), 1u) << ini;
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
        EXPECT_EQ(serve->Stop(), 0) << ReadFile(output_);
    }
}

}  // namespace
