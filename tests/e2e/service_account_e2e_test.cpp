// The README's recipe on Debian's own lighttpd, as the package installs it: the engine is
// installed with scripts/install (as root), the stock /etc/lighttpd/lighttpd.conf is copied
// with only what a test must differ in changed (port, address, document root, its own log,
// pid and upload files) and the README's lines appended, and lighttpd keeps its
// server.username = "www-data", so ksml runs as the web server's account. Whatever happens to
// the engine (killed, stopped, its service removed while requests arrive and installed again),
// the next request gets its page, and the engine always runs as the service account: never as
// root, never as www-data. The machine's own lighttpd configuration and /var/lib/tessaro are
// never touched; the service account is made (once) as -INSTALL makes it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "child_process.h"
#include "e2e_site.h"
#include "http_client.h"
#include "lighttpd_server.h"
#include "readme_lighttpd_lines.h"
#include "platform/service_account.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/service_account_home.h"
#include "tests/common/temp_home.h"

namespace {

namespace fs = std::filesystem;
namespace plat = tessaro::platform;
using tessaro::test::ReadFileText;
using e2e::ReadmeInstallArguments;
using e2e::ReadmeLighttpdLines;
using e2e::Replaced;
using ::testing::HasSubstr;

constexpr const char* kStockFile = "/etc/lighttpd/lighttpd.conf";
constexpr const char* kService = "Brendlow Tessaro 2.0";

// Polls until the condition holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, int seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class StockLighttpdAsWebServerAccount : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(::geteuid() == 0, "the web server's account is taken on by root only");
        REQUIRE_OR_SKIP(fs::exists("/usr/sbin/lighttpd") && fs::exists(kStockFile),
                        "lighttpd (with Debian's " << kStockFile << ") is not installed");
        plat::AccountIdentity web;
        REQUIRE_OR_SKIP(plat::LookUpAccount("www-data", web), "there is no www-data account");
        stockBefore_ = ReadFileText(kStockFile);
        machineRootExisted_ = fs::exists(TESSARO_DEFAULT_HOME);
        for (const char* name : {"x.tsm", "EntryForm.TSM"})
            site_.WriteDocument(name, std::string("<TSOUTPUT>#UCase(\"ksml\")# ran ") + name + "</TSOUTPUT>");
        // The README's install command, with the programs this build made.
        std::vector<std::string> install{std::string(TESSARO_SOURCE_DIR) + "/scripts/install", "--bin",
                                         std::string(TESSARO_BINARY_DIR) + "/bin"};
        const std::vector<std::string> readme = ReadmeInstallArguments();
        ASSERT_FALSE(readme.empty()) << "the README has no scripts/install line";
        for (const std::string& word : readme)
            install.push_back(word == "/var/www/html" ? site_.document_root() : word);
        ASSERT_EQ(e2e::RunProgram(install, {{"TESSARO_HOME", site_.home()}}, site_.home() + "/install.out"), 0)
            << ReadFileText(site_.home() + "/install.out");
        installed_ = ReadFileText(site_.home() + "/install.out");
        StartLighttpd();
    }

    void TearDown() override {
        if (lighttpd_) lighttpd_->Stop();
        e2e::RunProgram({Program("tsscm"), "stop", kService, "--wait", "15"}, {{"TESSARO_HOME", site_.home()}});
        // Neither the machine's own configuration nor its runtime root was touched.
        EXPECT_EQ(ReadFileText(kStockFile), stockBefore_);
        EXPECT_EQ(fs::exists(TESSARO_DEFAULT_HOME), machineRootExisted_);
    }

    // The stock file, changed only where a test must differ, with the README's lines appended.
    void StartLighttpd() {
        // lighttpd writes its own files as www-data: a folder of that account's, outside the
        // runtime root.
        work_ = web_.path();
        fs::create_directories(work_ + "/uploads");
        plat::AccountIdentity web;
        ASSERT_TRUE(plat::LookUpAccount("www-data", web));
        for (const std::string& path : {work_, work_ + "/uploads"}) ASSERT_EQ(::chown(path.c_str(), web.uid, web.gid), 0);
        port_ = e2e::FreeLoopbackPort();
        const std::map<std::string, std::string> adjusted = {
            {"server.document-root", "\"" + site_.document_root() + "\""},
            {"server.port", std::to_string(port_)},
            {"server.errorlog", "\"" + work_ + "/error.log\""},
            {"server.pid-file", "\"" + work_ + "/lighttpd.pid\""},
            {"server.upload-dirs", "( \"" + work_ + "/uploads\" )"},
        };
        std::string seen;
        std::string config = e2e::AdjustedLighttpdConfig(stockBefore_, adjusted, true, &seen);
        ASSERT_THAT(config, ::testing::ContainsRegex("server\\.username[[:space:]]*=[[:space:]]*\"www-data\""))
            << kStockFile << " has no server.username = \"www-data\"";
        for (const auto& [name, value] : adjusted)
            ASSERT_THAT(seen, HasSubstr(name + " ")) << kStockFile << " has no " << name << " line to adjust";
        // The README's lines name the machine's runtime root and lighttpd's log folder.
        config += "server.bind = \"127.0.0.1\"\n" +
                  Replaced(Replaced(ReadmeLighttpdLines(), "/var/lib/tessaro", site_.home()), "/var/log/lighttpd", work_);
        const std::string conf = work_ + "/lighttpd.conf";
        tessaro::test::WriteFileText(conf, config);
        lighttpd_ = std::make_unique<e2e::BackgroundProgram>(std::vector<std::string>{"/usr/sbin/lighttpd", "-D", "-f", conf},
                                                             std::map<std::string, std::string>{}, work_ + "/lighttpd.out");
        ASSERT_TRUE(e2e::WaitForPort(port_, 10000, lighttpd_->pid()))
            << ReadFileText(work_ + "/lighttpd.out") << ReadFileText(work_ + "/error.log") << config;
    }

    std::string Program(const std::string& name) const { return site_.home() + "/bin/" + name; }
    std::string ErrorLog() const { return ReadFileText(work_ + "/error.log"); }
    // What lighttpd's programs (ksml) said: the README's server.breakagelog.
    std::string ProgramsLog() const { return ReadFileText(work_ + "/breakage.log"); }

    // A page of the site, run through lighttpd, ksml (as www-data) and the engine.
    void ExpectPage(const std::string& name) {
        auto page = e2e::HttpGet(port_, "/" + name);
        EXPECT_EQ(page.status, 200) << name << "\n" << page.body << ErrorLog();
        EXPECT_EQ(page.body, "KSML ran " + name) << ErrorLog();
    }

    // The engine's process: it runs as the service account, neither root nor the web server.
    pid_t ExpectEngineAccount() {
        const pid_t pid = site_.EnginePid();
        EXPECT_GT(pid, 0);
        const std::string account = tessaro::test::ProcessAccount(pid);
        EXPECT_EQ(account, plat::kDefaultServiceAccount) << "engine " << pid;
        EXPECT_NE(account, "root");
        EXPECT_NE(account, "www-data");
        return pid;
    }

    e2e::Site site_;
    tessaro::test::TempFolder web_{"tsweb"};
    std::string work_, installed_, stockBefore_;
    bool machineRootExisted_ = false;
    int port_ = 0;
    std::unique_ptr<e2e::BackgroundProgram> lighttpd_;
};

TEST_F(StockLighttpdAsWebServerAccount, EveryRequestFindsTheEngineRunningAsItsAccount) {
    EXPECT_THAT(installed_, HasSubstr("as the account 'tessaro'")) << installed_;
    EXPECT_THAT(installed_, HasSubstr("the web server's group 'www-data' may connect to")) << installed_;

    // The first request starts the installed service: through the starter, as its account.
    ExpectPage("x.tsm");
    ExpectPage("EntryForm.TSM");
    const pid_t first = ExpectEngineAccount();

    // Killed: the next request starts it again.
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(WaitUntil([&] { return !e2e::ProcessRunning(first); }));
    ExpectPage("x.tsm");
    const pid_t second = ExpectEngineAccount();
    EXPECT_NE(second, first);

    // Stopped with tsscm: the same.
    ASSERT_EQ(e2e::RunProgram({Program("tsscm"), "stop", kService, "--wait", "15"}, {{"TESSARO_HOME", site_.home()}}),
              0);
    ExpectPage("x.tsm");
    const pid_t third = ExpectEngineAccount();
    EXPECT_NE(third, second);

    // Removed while requests arrive (each may be starting the service right then): the removal is
    // whole, the site answers 503 meanwhile, and installed again it serves.
    std::atomic<bool> stop{false};
    std::atomic<int> unavailable{0}, other{0};
    std::thread requests([&] {
        while (!stop) {
            const int status = e2e::HttpGet(port_, "/x.tsm").status;
            if (status == 503) {
                ++unavailable;
            } else if (status != 200) {
                ++other;
            }
        }
    });
    const std::string out = site_.home() + "/remove.out";
    EXPECT_EQ(e2e::RunProgram({Program("tsengine"), "-REMOVE"}, {{"TESSARO_HOME", site_.home()}}, out), 0)
        << ReadFileText(out);
    EXPECT_THAT(ReadFileText(out), HasSubstr("Removed the service 'Brendlow Tessaro 2.0'"));
    EXPECT_TRUE(WaitUntil([&] { return unavailable > 0; })) << ErrorLog();
    stop = true;
    requests.join();
    EXPECT_EQ(other, 0) << ErrorLog();
    // What ksml could not write itself went to the web server's error log, in words.
    EXPECT_THAT(ProgramsLog(), HasSubstr("ksml could not write its log"));
    EXPECT_THAT(ProgramsLog(), HasSubstr("as the account 'www-data'"));
    EXPECT_THAT(ProgramsLog(), HasSubstr("(the service does not exist)"));
    // Nothing of the removed service is left to be taken for it.
    for (const auto& entry : fs::directory_iterator(site_.home() + "/scm"))
        EXPECT_EQ(entry.path().filename().string().rfind("brendlow", 0), std::string::npos) << entry.path();

    const std::string again = site_.home() + "/install-again.out";
    ASSERT_EQ(e2e::RunProgram({Program("tsengine"), "-INSTALL"}, {{"TESSARO_HOME", site_.home()}}, again), 0)
        << ReadFileText(again);
    EXPECT_THAT(ReadFileText(again), HasSubstr("Installed the service 'Brendlow Tessaro 2.0'"));
    ExpectPage("x.tsm");
    ExpectEngineAccount();
}

// The web server's group may connect to the request socket and read the services' state, and
// change nothing else of the runtime root; nothing there is the web server's own.
TEST_F(StockLighttpdAsWebServerAccount, TheWebServerMayWriteOnlyTheRequestSocket) {
    ExpectPage("x.tsm");
    gid_t web = 0;
    ASSERT_TRUE(plat::LookUpGroup("www-data", web));
    plat::AccountIdentity webAccount;
    ASSERT_TRUE(plat::LookUpAccount("www-data", webAccount));
    const std::string socket = site_.home() + "/run/PIPE/Tessaro/StubToServer20";
    ASSERT_TRUE(fs::exists(socket));
    for (const auto& entry : fs::recursive_directory_iterator(site_.home())) {
        struct stat st {};
        ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0) << entry.path();
        EXPECT_NE(st.st_uid, webAccount.uid) << entry.path();
        const bool groupWrites = st.st_gid == web && (st.st_mode & S_IWGRP) != 0 && !S_ISLNK(st.st_mode);
        const bool othersWrite = (st.st_mode & S_IWOTH) != 0 && !S_ISLNK(st.st_mode);
        EXPECT_FALSE(othersWrite) << entry.path();
        if (entry.path() != socket) {
            EXPECT_FALSE(groupWrites) << entry.path();
        }
    }
    // The starter is root's, for root and the web server's group only.
    struct stat starter {};
    ASSERT_EQ(::stat((site_.home() + "/bin/tsstart").c_str(), &starter), 0);
    EXPECT_EQ(starter.st_uid, 0u);
    EXPECT_EQ(starter.st_gid, web);
    EXPECT_EQ(starter.st_mode & 07777, 04750u);
}

// Where the gateway may not reach the engine for want of rights, its page says which socket
// and which account, in words.
TEST(GatewayAsWebServerAccount, SaysWhichSocketAndWhichAccountItMayNotReach) {
    REQUIRE_OR_SKIP(::geteuid() == 0, "the web server's account is taken on by root only");
    plat::AccountIdentity web;
    REQUIRE_OR_SKIP(plat::LookUpAccount("www-data", web), "there is no www-data account");
    e2e::Site site;
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_EQ(e2e::RunProgram({site.home() + "/bin/tsscm", "start", kService, "--wait", "30"}), 0);
    const std::string folder = site.home() + "/run/PIPE/Tessaro";
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);  // the group no longer passes
    const std::string out = site.home() + "/web/page.out";
    EXPECT_EQ(e2e::RunProgram({"/usr/sbin/runuser", "-u", "www-data", "--", site.home() + "/bin/ksml"},
                              {{"REQUEST_METHOD", "GET"}, {"SCRIPT_NAME", "/x.tsm"}}, out),
              0);
    const std::string page = ReadFileText(out);
    EXPECT_THAT(page, HasSubstr("The gateway runs as the account 'www-data', which may not connect to the engine's "
                                "request socket " +
                                folder + "/StubToServer20"))
        << page;
    EXPECT_THAT(page, HasSubstr("Windows NT error number 5 occurred (access is denied)"));
    ::chmod(folder.c_str(), 02710);
    e2e::RunProgram({site.home() + "/bin/tsscm", "stop", kService, "--wait", "15"});
}

}  // namespace
