// A visitor leaves a long page. lighttpd (as the README configures it) tells its CGI program
// nothing: it keeps the program's pipes open, sends no signal and holds the reply until the
// program ends. The gateway sees the visitor's connection close and gives the request up; its
// closed connection makes the engine stop the page ("Request abandoned") and free its permit.
// Real visitors are HTTP clients that time out in front of the real lighttpd. Other web
// servers close the program's output or signal it: those roads are driven by hand, with the
// real gateway run as such a web server runs it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "site_test.h"
#include "tests/common/file_text.h"
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

// A browser that asks for target and gives up after patience without an answer: it closes
// its connection, as a client whose time-out expired does. True when nothing came before.
bool VisitAndGiveUp(int port, const std::string& target, std::chrono::milliseconds patience) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval wait{static_cast<long>(patience.count() / 1000), static_cast<long>(patience.count() % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool silent = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
        char answer[256];
        silent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()) &&
                 ::recv(fd, answer, sizeof answer, 0) < 0;
    }
    ::close(fd);
    return silent;
}

// The CGI programs the web server runs now: its children.
int ChildrenOf(pid_t parent) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        // pid (comm) state ppid ...: the name may hold blanks, the last ')' ends it.
        std::size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long ppid = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent && state != 'Z')
            ++count;
    }
    return count;
}

TEST_F(VisitorLeaves, VisitorsWhoseBrowsersGiveUpFreeTheirWorkersAtOnce) {
    // Four pages run at a time; the other visitors wait for their turn.
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "30"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "4"));
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_EQ(site.Get("/x.tsm").status, 200);
    site.WriteDocument("spin.tsm", "<TSLOOP CONDITION=\"TRUE\"></TSLOOP>");
    constexpr int kVisitors = 16;
    std::atomic<int> silent{0};
    std::vector<std::thread> visitors;
    for (int i = 0; i < kVisitors; ++i)
        visitors.emplace_back([&] {
            if (VisitAndGiveUp(site.port(), "/spin.tsm", 2000ms)) ++silent;
        });
    for (std::thread& visitor : visitors) visitor.join();
    const auto left = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.load(), kVisitors);

    // Every gateway ends within a moment of its visitor, and the four pages that ran stop.
    const pid_t webServer = site.WebServerPid();
    while (ChildrenOf(webServer) > 0 && std::chrono::steady_clock::now() - left < 5s)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ChildrenOf(webServer), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - left, 3000ms);
    while (CountOf(site.ReadHomeFile("log/TSENGINE.LOG"), "Request abandoned") < 4 &&
           std::chrono::steady_clock::now() - left < 5s)
        std::this_thread::sleep_for(20ms);

    // The next visitor is served at once.
    const auto asked = std::chrono::steady_clock::now();
    auto next = site.Get("/x.tsm");
    EXPECT_EQ(next.status, 200) << next.body;
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2000ms);
    const std::string log = site.ReadHomeFile("log/TSENGINE.LOG");
    // The four that ran; a waiting one whose turn came just before its gateway went may have
    // begun too.
    EXPECT_GE(CountOf(log, "Request abandoned"), 4u) << log;
    EXPECT_EQ(CountOf(log, "Request timed out"), 0u) << log;
    EXPECT_EQ(CountOf(site.ReadHomeFile("log/KSML.LOG"), "The visitor left before the reply was complete"),
              static_cast<std::size_t>(kVisitors))
        << site.ReadHomeFile("log/KSML.LOG");
}

TEST_F(VisitorLeaves, AWebServerThatClosesTheOutputOrSignalsEndsTheGatewayAndThePage) {
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxSeconds", "120"));
    ASSERT_TRUE(e2e::Site::SetSetting("Server", "MaxRequests", "2"));
    ASSERT_TRUE(site.InstallEngine());
    ASSERT_TRUE(site.StartWebServer()) << site.WebServerLog();
    ASSERT_EQ(site.Get("/x.tsm").status, 200);
    // Each page says it has begun before it spins: a gateway is let go only once its page runs
    // (one that had not yet reached the engine would leave nothing to abandon).
    const std::string started = site.document_root() + "/started.txt";
    site.WriteDocument("spin.tsm", "<TSFILE ACTION=\"APPEND\" FILE=\"" + started +
                                       "\" OUTPUT=\"begun\"><TSLOOP CONDITION=\"TRUE\"></TSLOOP>");
    // Empty until the first page has begun.
    auto begun = [&] { return CountOf(tessaro::test::ReadFileText(started), "begun"); };
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
        const auto asked = std::chrono::steady_clock::now();
        while (begun() < abandoned + 2 && std::chrono::steady_clock::now() - asked < 20s)
            std::this_thread::sleep_for(20ms);
        ASSERT_EQ(begun(), abandoned + 2) << road.name;  // both pages run
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
    EXPECT_NE(site.ReadHomeFile("log/KSML.LOG").find("The visitor left"), std::string::npos)
        << site.ReadHomeFile("log/KSML.LOG");
}

}  // namespace
