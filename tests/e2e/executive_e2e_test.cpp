// The executive service beside the engine: it starts a killed engine again on its own, and
// it installs, starts and stops like the engine service.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <csignal>
#include <thread>

#include "child_process.h"
#include "platform/event_log.h"
#include "platform/registry_store.h"
#include "platform/service_account.h"
#include "platform/service_manager.h"
#include "site_test.h"
#include "tests/common/service_account_home.h"
#include "tests/common/text_matchers.h"

namespace {

namespace plat = tessaro::platform;
using e2e::BuiltProgram;
using e2e::RunProgram;

constexpr const char* kExecutive = "Tessaro Executive";

using tessaro::test::ContainsText;
using ::testing::HasSubstr;
using ::testing::Not;

std::uint32_t ServiceState(const std::string& name) {
    std::uint32_t state = 0;
    if (plat::SC_HANDLE manager = plat::OpenSCManager(plat::GENERIC_READ_ACCESS)) {
        if (plat::SC_HANDLE service = plat::OpenService(manager, name, plat::GENERIC_READ_ACCESS)) {
            plat::SERVICE_STATUS status;
            if (plat::QueryServiceStatus(service, &status)) state = status.dwCurrentState;
            plat::CloseServiceHandle(service);
        }
        plat::CloseServiceHandle(manager);
    }
    return state;
}

std::string Setting(const std::string& section, const std::string& name) {
    plat::HKEY key = nullptr;
    std::string value;
    if (plat::RegOpenKey(plat::HKEY_LOCAL_MACHINE, "SOFTWARE\\Brendlow\\Tessaro\\CurrentVersion\\" + section,
                         plat::KEY_READ, &key) == 0) {
        plat::RegQueryValue(key, name, nullptr, &value);
        plat::RegCloseKey(key);
    }
    return value;
}

// Polls until the condition holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, int seconds = 15) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool EventLogged(const std::string& type, const std::string& text) {
    for (const auto& e : plat::ReadEventLogFile())
        if (e.source == kExecutive && e.type == type && !e.strings.empty() && ContainsText(e.strings[0], text))
            return true;
    return false;
}

uid_t OwnerOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_uid : 0;
}

// The process id a service last reported.
pid_t ServicePid(const std::string& name) {
    std::ifstream status(plat::ScmServiceDirectory(name) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Pid=", 0) == 0) return static_cast<pid_t>(std::atol(line.c_str() + 4));
    return -1;
}

class ExecutiveThroughWebServer : public e2e::SiteTest {
protected:
    void TearDown() override {
        RunProgram({BuiltProgram("tsscm"), "stop", kExecutive, "--wait", "15"});
        RunProgram({BuiltProgram("tsexec"), "-REMOVE"});
    }
    std::string ExecutiveLog() const { return site.ReadHomeFile("log/TSEXEC.LOG"); }
};

TEST_F(ExecutiveThroughWebServer, StartsAKilledEngineAgainWithoutTheGateway) {
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "CheckInterval", "200"));
    auto first = site.Get("/x.tsm");
    ASSERT_EQ(first.status, 200) << first.error << site.WebServerLog();
    ASSERT_EQ(Setting("Server", "ServiceRunning"), "1");

    // Lower case works: the switch is matched after upper-casing.
    ASSERT_EQ(RunProgram({BuiltProgram("tsexec"), "-install"}), 0);
    ASSERT_EQ(ServiceState(kExecutive), plat::SERVICE_STOPPED) << ExecutiveLog();
    ASSERT_EQ(RunProgram({BuiltProgram("tsscm"), "start", kExecutive, "--wait", "15"}), 0) << ExecutiveLog();

    pid_t killed = site.EnginePid();
    ASSERT_GT(killed, 0);
    ASSERT_EQ(::kill(killed, SIGKILL), 0);
    ASSERT_TRUE(WaitUntil([&] { return !e2e::ProcessRunning(killed); }));
    // No request reaches the gateway before the engine runs again, so only the executive
    // can have started it.
    ASSERT_TRUE(WaitUntil([&] { return site.EnginePid() != killed && site.EngineState() == plat::SERVICE_RUNNING; }))
        << ExecutiveLog();
    EXPECT_TRUE(e2e::ProcessRunning(site.EnginePid()));
    // The executive and the engine it started run as the account the runtime root belongs to
    // (the tests' own user, or the service account when they run as root).
    const std::string owner = plat::AccountName(OwnerOf(site.home()));
    EXPECT_EQ(tessaro::test::ProcessAccount(site.EnginePid()), owner);
    EXPECT_EQ(tessaro::test::ProcessAccount(ServicePid(kExecutive)), owner);
    EXPECT_NE(owner, "root");

    auto again = site.Get("/x.tsm");
    EXPECT_EQ(again.status, 200) << again.error;
    EXPECT_EQ(again.body, "<P>template x.tsm\n");
    EXPECT_THAT(ExecutiveLog(), HasSubstr("The service 'Brendlow Tessaro 2.0' was started again."));
    EXPECT_THAT(ExecutiveLog(), Not(HasSubstr("Unexpected")));
}

TEST_F(ExecutiveThroughWebServer, RunsAsAServiceThatStopsPromptlyAndReportsToTheEventLog) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "ServiceRunning", "0"));
    // Both switches: install wins.
    ASSERT_EQ(RunProgram({BuiltProgram("tsexec"), "-Remove", "-Install"}), 0);
    ASSERT_EQ(ServiceState(kExecutive), plat::SERVICE_STOPPED);
    ASSERT_EQ(RunProgram({BuiltProgram("tsexec"), "-INSTALL"}), 0);
    EXPECT_THAT(ExecutiveLog(),
                HasSubstr("Windows NT error number 1073 occurred while attempting to install the service."));

    ASSERT_EQ(RunProgram({BuiltProgram("tsscm"), "start", kExecutive, "--wait", "15"}), 0) << ExecutiveLog();
    EXPECT_TRUE(WaitUntil([] { return EventLogged("Information", "The service 'Tessaro Executive' started."); }));
    // The engine is not installed and should not run: the watchdog leaves it alone.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(site.EngineState(), 0u);

    ASSERT_EQ(RunProgram({BuiltProgram("tsscm"), "stop", kExecutive, "--wait", "5"}), 0) << ExecutiveLog();
    EXPECT_EQ(ServiceState(kExecutive), plat::SERVICE_STOPPED);
    EXPECT_TRUE(EventLogged("Information", "The service 'Tessaro Executive' stopped."));

    ASSERT_EQ(RunProgram({BuiltProgram("tsexec"), "-remove"}), 0);
    EXPECT_EQ(ServiceState(kExecutive), 0u);
}

// The purge's first pass runs as the service starts: every client key, whatever its name,
// goes once its last visit is older than the time-out, and each deletion is in the engine's log.
TEST_F(ExecutiveThroughWebServer, PurgesExpiredClientsWhateverTheirKeysAreNamed) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "ServiceRunning", "0"));
    ASSERT_TRUE(e2e::Site::SetSetting("Clients", "Timeout", "30"));
    ASSERT_TRUE(e2e::Site::SetSetting("Clients\\17", "LASTVISIT", "{ts '2001-01-01 00:00:00'}"));
    ASSERT_TRUE(e2e::Site::SetSetting("Clients\\imported ann", "LASTVISIT", "{ts '2001-01-02 00:00:00'}"));
    ASSERT_TRUE(e2e::Site::SetSetting("Clients\\kept", "LASTVISIT", "{ts '2999-12-31 00:00:00'}"));
    ASSERT_EQ(RunProgram({BuiltProgram("tsexec"), "-INSTALL"}), 0);
    ASSERT_EQ(RunProgram({BuiltProgram("tsscm"), "start", kExecutive, "--wait", "15"}), 0) << ExecutiveLog();
    const auto serverLog = [&] { return site.ReadHomeFile("log/SERVER.LOG"); };
    ASSERT_TRUE(WaitUntil([&] { return ContainsText(serverLog(), "Purged client ID 'imported ann'"); }))
        << serverLog() << ExecutiveLog();
    EXPECT_THAT(serverLog(), HasSubstr("Purged client ID '17'; Last visited '{ts '2001-01-01 00:00:00'}'"));
    EXPECT_THAT(serverLog(), HasSubstr("Purged client ID 'imported ann'; Last visited '{ts '2001-01-02 00:00:00'}'"));
    EXPECT_EQ(Setting("Clients\\17", "LASTVISIT"), "");
    EXPECT_EQ(Setting("Clients\\kept", "LASTVISIT"), "{ts '2999-12-31 00:00:00'}");
}

TEST_F(ExecutiveThroughWebServer, OutsideTheServiceManagerItReportsWhyItCannotRun) {
    // Run by root, tsexec works only from a root that belongs to its account.
    tessaro::test::GiveHomeToServiceAccount(site.home());
    EXPECT_EQ(RunProgram({BuiltProgram("tsexec")}), 0);
    EXPECT_THAT(ExecutiveLog(), HasSubstr("Windows NT error number 1063 occurred while attempting to Initialize the "
                                          "Tessaro Executive service."));
    EXPECT_TRUE(EventLogged("Error", "Initialize the Tessaro Executive service"));
}

}  // namespace
