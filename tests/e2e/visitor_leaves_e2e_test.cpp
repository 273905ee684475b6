// A visitor leaves a long page: the web server tells its CGI program so by closing the
// program's output or by a signal. The real gateway (ksml) is run here as such a web server
// runs it, in front of the real engine, and each road ends the gateway at once; its closed
// connection makes the engine stop the page ("Request abandoned") and free its permit.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "site_test.h"
#include "tests/common/text_matchers.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

using tessaro::test::CountOf;

// ksml run as a CGI program for target, its standard output a pipe whose read end the test
// holds (the web server's end).
struct Gateway {
    pid_t pid = -1;
    int output = -1;

    Gateway(const e2e::Site& site, const std::string& script) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        output = fds[0];
        std::vector<std::string> variables = {"TESSARO_HOME=" + site.home(), "REQUEST_METHOD=GET",
                                              "SCRIPT_NAME=" + script, "QUERY_STRING=", "REMOTE_ADDR=127.0.0.1",
                                              "GATEWAY_INTERFACE=CGI/1.1"};
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "TESSARO_HOME=", 13) != 0) variables.push_back(*e);
        std::vector<char*> envp;
        for (std::string& v : variables) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string program = e2e::BuiltProgram("ksml");
        char* argv[] = {program.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
    }
    ~Gateway() {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (output >= 0) ::close(output);
    }
    // True when the gateway ended within the time (reaped).
    bool Ended(std::chrono::milliseconds within) {
        const auto end = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < end) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

class VisitorLeaves : public e2e::SiteTest {};

TEST_F(VisitorLeaves, ClosedOutputOrASignalEndsTheGatewayAndThePage) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "120"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "2"));
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_EQ(site.Get("/x.tsm").status, 200);
    site.WriteDocument("spin.tsm", "<TSLOOP CONDITION=\"TRUE\"></TSLOOP>");
    struct Road {
        const char* name;
        int signal;  // 0: the output is closed
    } const roads[] = {{"closed output", 0}, {"SIGHUP", SIGHUP}, {"SIGPIPE", SIGPIPE}, {"SIGTERM", SIGTERM}};
    std::size_t abandoned = 0;
    for (const Road& road : roads) {
        // Two at a time hold both permits: only their end lets the next page run.
        std::vector<std::unique_ptr<Gateway>> gateways;
        for (int i = 0; i < 2; ++i) gateways.push_back(std::make_unique<Gateway>(site, "/spin.tsm"));
        for (const auto& gateway : gateways) ASSERT_GT(gateway->pid, 0) << road.name;
        std::this_thread::sleep_for(700ms);  // the pages run
        for (const auto& gateway : gateways) {
            if (road.signal == 0) {
                ::close(gateway->output);
                gateway->output = -1;
            } else {
                ::kill(gateway->pid, road.signal);
            }
        }
        for (const auto& gateway : gateways) EXPECT_TRUE(gateway->Ended(5s)) << road.name;
        abandoned += 2;
        const auto left = std::chrono::steady_clock::now();
        while (CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Request abandoned") < abandoned &&
               std::chrono::steady_clock::now() - left < 10s)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Request abandoned"), abandoned)
            << road.name << "\n"
            << site.ReadHomeFile("log/TSENGINE.LOG");
        auto next = site.Get("/x.tsm");
        EXPECT_EQ(next.status, 200) << road.name << "\n" << next.body;
    }
    EXPECT_NE(site.ReadHomeFile("log/KSML.LOG").find("its visitor left"), std::string::npos)
        << site.ReadHomeFile("log/KSML.LOG");
}

}  // namespace
