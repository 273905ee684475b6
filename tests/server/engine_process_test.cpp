// tsengine as a process: install and removal, service and desktop runs, and
// the ways it ends. Each test runs in its own TESSARO_HOME.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <filesystem>
#include <memory>
#include <fstream>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "engine/server/mail_message.h"
#include "interfaces/engine_names.h"
#include "interfaces/report_server.h"
#include "pipe_test_client.h"
#include "platform/named_event.h"
#include "platform/service_control.h"
#include "platform/window.h"
#include "tests/common/ci_require.h"
#include "tests/common/file_text.h"
#include "tests/common/server_test_home.h"
#include "tests/common/service_account_home.h"
#include "tests/common/temp_home.h"
#include "platform/service_account.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using tessaro::platform::CServiceControl;
using tessaro::platform::CServiceDescription;
using tessaro::platform::SERVICE_STATUS;

const std::string kEngine = std::string(TESSARO_BINARY_DIR) + "/bin/tsengine";

class EngineProcessTest : public ServerTestHome {
protected:
    void SetUp() override {
        ServerTestHome::SetUp();
        REQUIRE_OR_SKIP(std::filesystem::exists(kEngine), "tsengine is not built");
        SetValue("Debug", "EchoPage", "1");
        socketPath = home() + "/run/PIPE/Tessaro/StubToServer20";
        // Run by root, the engine serves only from a root that belongs to its account.
        tessaro::test::GiveHomeToServiceAccount(home());
    }
    void TearDown() override {
        for (pid_t pid : children) {
            if (::kill(pid, 0) == 0) ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        // A service left running is ended so that no process outlives the test.
        SERVICE_STATUS st;
        if (Control().QueryStatus(st) && st.dwCurrentState != tessaro::platform::SERVICE_STOPPED) {
            Control().StopService();
            tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_STOPPED, 10000, 100);
        }
        // A service that would not stop (it still holds its lock) is killed.
        if (State() != tessaro::platform::SERVICE_STOPPED && State() != 0) {
            std::ifstream status(tessaro::platform::ScmServiceDirectory(kEngineServiceName) + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("Pid=", 0) == 0 && std::atoi(line.c_str() + 4) > 0)
                    ::kill(std::atoi(line.c_str() + 4), SIGKILL);
        }
        ServerTestHome::TearDown();
    }

    pid_t Spawn(const std::vector<std::string>& args) {
        // What the test made in the root since is given to the account too.
        tessaro::test::GiveHomeToServiceAccount(home());
        std::vector<std::string> all{kEngine};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, kEngine.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        children.push_back(pid);
        return pid;
    }
    // The exit code, or -1 when it did not end within the time.
    int WaitExit(pid_t pid, std::chrono::milliseconds limit = 15s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                children.erase(std::remove(children.begin(), children.end(), pid), children.end());
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    int Run(const std::vector<std::string>& args) { return WaitExit(Spawn(args)); }
    bool WaitForSocket() {
        for (int i = 0; i < 500; ++i) {
            int fd = ConnectPipe(socketPath);
            if (fd >= 0) {
                ::close(fd);
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // The engine window's endpoint, once its thread has made it.
    std::string WaitForWindow() {
        std::string window;
        for (int i = 0; i < 500 && window.empty(); ++i) {
            window = tessaro::platform::FindWindow(kEngineWindowClass, kEngineWindowTitle);
            if (window.empty()) std::this_thread::sleep_for(20ms);
        }
        return window;
    }
    CServiceControl& Control() {
        static CServiceDescription description(kEngineServiceName);
        static CServiceControl control(description);
        return control;
    }
    std::uint32_t State() {
        SERVICE_STATUS st;
        return Control().QueryStatus(st) ? st.dwCurrentState : 0;
    }

    std::vector<pid_t> children;
    std::string socketPath;
};

// Runs a command line and returns its standard output and exit code.
std::pair<std::string, int> Capture(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {out, -1};
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
    int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

}  // namespace

TEST_F(EngineProcessTest, InstallTwiceAndRemove) {
    EXPECT_EQ(Run({"-install"}), 0);
    EXPECT_EQ(State(), tessaro::platform::SERVICE_STOPPED);
    EXPECT_EQ(Run({"-INSTALL"}), 0);
    EXPECT_NE(ReadLog().find("\"Error\",\"TID="), std::string::npos);
    EXPECT_NE(ReadLog().find("\",\"Error: The service 'Brendlow Tessaro 2.0' is already installed on this machine.\""),
              std::string::npos);
    EXPECT_EQ(Run({"-Remove"}), 0);
    EXPECT_EQ(State(), 0u);
    EXPECT_EQ(Run({"-remove"}), 0);
    EXPECT_NE(ReadLog().find("Error: The service 'Brendlow Tessaro 2.0' is not currently installed on this machine.\""),
              std::string::npos);
}

// -INSTALL and -REMOVE say what they did where they were typed.
TEST_F(EngineProcessTest, InstallAndRemoveSayWhatTheyDid) {
    auto installed = Capture("TESSARO_HOME=" + home() + " " + kEngine + " -INSTALL 2>&1");
    EXPECT_EQ(installed.second, 0);
    EXPECT_NE(installed.first.find("Installed the service 'Brendlow Tessaro 2.0': it runs " + home() +
                                   "/bin/tsengine as the account '"),
              std::string::npos)
        << installed.first;
    EXPECT_TRUE(std::filesystem::exists(home() + "/bin/tsengine"));
    auto twice = Capture(kEngine + " -INSTALL 2>&1");
    EXPECT_NE(twice.first.find("tsengine: Error: The service 'Brendlow Tessaro 2.0' is already installed"),
              std::string::npos)
        << twice.first;
    ASSERT_TRUE(Control().StartService());
    ASSERT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_RUNNING, 15000, 50));
    auto removed = Capture(kEngine + " -REMOVE 2>&1");
    EXPECT_EQ(removed.second, 0);
    EXPECT_NE(removed.first.find("Removed the service 'Brendlow Tessaro 2.0' (it was running and has been stopped)."),
              std::string::npos)
        << removed.first;
    EXPECT_EQ(State(), 0u);
    auto again = Capture(kEngine + " -REMOVE 2>&1");
    EXPECT_NE(again.first.find("is not currently installed"), std::string::npos) << again.first;
}

// Started by root, the engine runs as the account its runtime root belongs to, and from a root
// that belongs to root it does not serve at all.
TEST_F(EngineProcessTest, StartedByRootItServesOnlyAsTheRootsAccount) {
    REQUIRE_OR_SKIP(::geteuid() == 0, "only root can start the engine as root");
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    EXPECT_EQ(tessaro::test::ProcessAccount(pid), tessaro::platform::kDefaultServiceAccount);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);

    tessaro::test::TempHome rootsOwn;
    auto refused = Capture(kEngine + " -desktop 2>&1");
    EXPECT_EQ(refused.second, 1);
    EXPECT_NE(refused.first.find("The engine does not serve as root, and the runtime root " + rootsOwn.path() +
                                 " belongs to root."),
              std::string::npos)
        << refused.first;
    EXPECT_FALSE(std::filesystem::exists(rootsOwn.path() + "/run/PIPE/Tessaro/StubToServer20"));
}

// A set of the termination event that happened before this engine took it (meant for one that
// has gone since) does not end it; one made afterwards does.
TEST_F(EngineProcessTest, AStaleTerminationEventDoesNotEndAFreshEngine) {
    tessaro::test::GiveHomeToServiceAccount(home());
    std::unique_ptr<tessaro::platform::NamedEvent> holder =
        tessaro::platform::NamedEvent::Create(kTerminationEventName);
    ASSERT_TRUE(holder);
    ASSERT_EQ(holder->Set(), 0);
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "ended by the stale event";
    EXPECT_EQ(tessaro::platform::NamedEvent::Set(kTerminationEventName), 0);
    EXPECT_EQ(WaitExit(pid), 1);
}

// The desktop engine started while the service runs waits for the service to stop, so that its
// own window (and with it the mail timer) can be made.
TEST_F(EngineProcessTest, DesktopWaitsForTheRunningServiceToStop) {
    ASSERT_EQ(Run({"-install"}), 0);
    ASSERT_TRUE(Control().StartService());
    ASSERT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_RUNNING, 15000, 50));
    ASSERT_TRUE(WaitForSocket());
    pid_t pid = Spawn({"-desktop"});
    EXPECT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_STOPPED, 25000, 50));
    ASSERT_FALSE(WaitForWindow().empty());
    ASSERT_TRUE(WaitForSocket());
    EXPECT_EQ(ReadLog().find("Error attempting to create the main window."), std::string::npos) << ReadLog();
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
}

TEST_F(EngineProcessTest, InstallAndRemoveOnOneLineInstallsOnly) {
    EXPECT_EQ(Run({"-install", "-remove"}), 0);
    EXPECT_EQ(State(), tessaro::platform::SERVICE_STOPPED);
}

TEST_F(EngineProcessTest, ServiceStartsServesAndStops) {
    ASSERT_EQ(Run({"-install"}), 0);
    ASSERT_TRUE(Control().StartService());
    ASSERT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_RUNNING, 15000, 50));
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "1");
    ASSERT_TRUE(WaitForSocket());
    PipeReply reply = SendRequest(socketPath, {"REQUEST_METHOD=GET", "QUERY_STRING=k=v"});
    EXPECT_NE(reply.Text().find("URL:K=v"), std::string::npos) << reply.Text();
    EXPECT_TRUE(reply.disconnected);

    ASSERT_TRUE(Control().StopService());
    ASSERT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_STOPPED, 15000, 50));
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "0");
    // Stopping twice is not an error at this level; the manager says it is not active.
    EXPECT_TRUE(Control().StopService());
}

TEST_F(EngineProcessTest, TerminationEventEndsTheEngineWithCodeOne) {
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    std::string fifo = tessaro::platform::NamedEvent::PathOf(kTerminationEventName);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0620u);
    EXPECT_EQ(tessaro::platform::NamedEvent::Set(kTerminationEventName), 0);
    EXPECT_EQ(WaitExit(pid), 1);
    EXPECT_NE(ReadLog().find("\"Termination event was set by client (flush queue).\""), std::string::npos);
}

TEST_F(EngineProcessTest, DesktopEndsOnSigtermAndClearsServiceRunning) {
    SetValue("Server", "ServiceRunning", "1");
    pid_t pid = Spawn({"-DeBuG"});
    ASSERT_TRUE(WaitForSocket());
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "0");
    EXPECT_NE(ReadLog().find("\"Information\",\"TID="), std::string::npos);
    EXPECT_NE(ReadLog().find("\"Exited main application message loop.\""), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(socketPath));
}

namespace {

// A TCP port on 127.0.0.1 that takes connections into its backlog and never answers; -1 when
// none could be made. The descriptor is in *fd.
int SilentPort(int* fd) {
    *fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (*fd < 0 || ::bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(*fd, 16) != 0 || ::getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

// A port nothing listens on (closed again at once).
int RefusingPort() {
    int fd = -1;
    int port = SilentPort(&fd);
    ::close(fd);
    return port;
}

}  // namespace

TEST_F(EngineProcessTest, SigtermEndsTheDesktopEngineWhileThousandsOfMailsWait) {
    // Thousands of mails wait for a server that refuses them, or for one that never
    // answers: a delivery pass neither holds the engine past its close signal, nor loses a
    // message, nor counts the wait it gave up as an attempt.
    int silentFd = -1;
    const int silentPort = SilentPort(&silentFd);
    ASSERT_GT(silentPort, 0);
    for (int port : {RefusingPort(), silentPort}) {
        const std::string base = home() + "/mail-" + std::to_string(port) + "/";
        for (const char* sub : {"SPOOL", "UNDELIVR", "LOG"}) std::filesystem::create_directories(base + sub);
        SetValue("Mail", "BaseDirectory", base);
        SetValue("Mail", "MailServer", "127.0.0.1");
        SetValue("Mail", "SMTPPort", std::to_string(port));
        SetValue("Mail", "Timeout", "60");
        SetValue("Mail", "LogSeverity", "0");
        constexpr int kMessages = 3000;
        for (int i = 1; i <= kMessages; ++i) {
            CMailMessage m("", -1, -1, "from@x.test", "to" + std::to_string(i) + "@x.test", "", "s", "\r\n", "b", "");
            char name[16];
            std::snprintf(name, sizeof name, "TSM%04X.TMP", i);
            std::ofstream(base + "SPOOL/" + name, std::ios::binary) << m.SpoolText();
        }
        pid_t pid = Spawn({"-desktop"});
        ASSERT_TRUE(WaitForSocket());
        auto entered = [&] {
            std::string log = tessaro::test::ReadFileText(base + "LOG/ERRORS.LOG");
            return log.find("Entered mail processing loop.") != std::string::npos;
        };
        for (int i = 0; i < 500 && !entered(); ++i) std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(200ms);
        ::kill(pid, SIGTERM);
        EXPECT_EQ(WaitExit(pid, 10s), 0) << port;
        std::size_t spooled = 0;
        for (const auto& entry : std::filesystem::directory_iterator(base + "SPOOL"))
            if (entry.path().filename().string().rfind("TSM", 0) == 0) ++spooled;
        EXPECT_EQ(spooled, static_cast<std::size_t>(kMessages)) << port;
        EXPECT_TRUE(std::filesystem::is_empty(base + "UNDELIVR")) << port;
    }
    ::close(silentFd);
}

TEST_F(EngineProcessTest, BodiesLeftByAKilledEngineAreRemovedAtStartUp) {
    // An engine killed while large posts arrived leaves their bodies behind in tmp/body.
    const std::string bodies = home() + "/tmp/body";
    std::filesystem::create_directories(bodies);
    std::ofstream(bodies + "/BDYa1b2c3") << std::string(100000, 'x');
    std::ofstream(bodies + "/BDYd4e5f6") << "a=1";
    std::ofstream(home() + "/outside.txt") << "kept";
    std::filesystem::create_symlink(home() + "/outside.txt", bodies + "/BDYlink");
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    EXPECT_TRUE(std::filesystem::is_empty(bodies));
    EXPECT_TRUE(std::filesystem::exists(home() + "/outside.txt")) << "a link goes, never what it names";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
}

TEST_F(EngineProcessTest, MissingMailerLibraryEndsWithCodeOne) {
    SetValue("Mail", "MailerDLL", "NOSUCHMAILER.DLL");
    EXPECT_EQ(Run({"-desktop"}), 1);
    EXPECT_NE(ReadLog().find("\"Failed to construct TSMail: Mail library NOSUCHMAILER.DLL could not be loaded.\""),
              std::string::npos);
}

TEST_F(EngineProcessTest, MissingMailerLibraryInServiceModeReportsStopped) {
    SetValue("Mail", "MailerDLL", "NOSUCHMAILER.DLL");
    ASSERT_EQ(Run({"-install"}), 0);
    ASSERT_TRUE(Control().StartService());
    std::string status = tessaro::platform::ScmServiceDirectory(kEngineServiceName) + "/status";
    bool stopped = false;
    for (int i = 0; i < 500 && !stopped; ++i) {
        std::string all = tessaro::test::ReadFileText(status);
        stopped = all.find("CurrentState=1\n") != std::string::npos;
        if (!stopped) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(stopped);
    EXPECT_NE(ReadLog().find("Failed to construct TSMail: Mail library NOSUCHMAILER.DLL could not be loaded."),
              std::string::npos);
    EXPECT_NE(GetValue("Server", "ServiceRunning"), "1");
}

namespace {


}  // namespace

TEST_F(EngineProcessTest, StartedWithoutServiceManagerLogsTheDispatcherError) {
    unsetenv("TESSARO_SCM_SERVICE");
    EXPECT_EQ(Run({}), 0);
    EXPECT_NE(ReadLog().find("\"Error attempting to initialize the service Windows NT error number 1063 occurred.\""),
              std::string::npos);
    // Started from a shell, it says so there, in words, and how to start it.
    auto shell = Capture(kEngine + " 2>&1");
    EXPECT_EQ(shell.second, 0);
    EXPECT_NE(shell.first.find("tsengine: error 1063 (the program was not started by the service manager). Start the "
                               "service with tsscm start 'Brendlow Tessaro 2.0', or run tsengine -desktop"),
              std::string::npos)
        << shell.first;
}

// --help and its short forms print the switches and end, touching nothing.
TEST_F(EngineProcessTest, HelpPrintsTheSwitchesAndExitsZero) {
    for (const char* help : {"--help", "-h", "-?", "-HELP"}) {
        SCOPED_TRACE(help);
        auto printed = Capture(kEngine + " '" + help + "' 2>&1");
        EXPECT_EQ(printed.second, 0);
        EXPECT_EQ(printed.first.rfind(
                      "usage: tsengine [-INSTALL [-ACCOUNT NAME] [-WEBGROUP GROUP] | -REMOVE | -DESKTOP | -DEBUG | "
                      "--help]\n",
                      0),
                  0u)
            << printed.first;
        for (const char* line : {"  -INSTALL ", "  -REMOVE ", "  -DESKTOP ", "tsscm start 'Brendlow Tessaro 2.0'"})
            EXPECT_NE(printed.first.find(line), std::string::npos) << printed.first;
    }
    EXPECT_EQ(ReadLog(), "");
    EXPECT_EQ(State(), 0u);
}

TEST_F(EngineProcessTest, ListenerFailureStopsTheDesktopEngine) {
    std::filesystem::create_directories(home() + "/run/PIPE/Tessaro");
    int lock = ::open((socketPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    EXPECT_EQ(Run({"-desktop"}), 0);
    ::close(lock);
    EXPECT_NE(ReadLog().find("\"Error attempting to create named pipe for Tessaro server. Windows NT error number 231 "
                             "occurred.\""),
              std::string::npos);
    EXPECT_NE(ReadLog().find("Exited main application message loop."), std::string::npos);
}

TEST_F(EngineProcessTest, ClosingTheDesktopWindowShutsTheEngineDown) {
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(tessaro::platform::PostMessage(window, tessaro::platform::WM_CLOSE, 0, 0));
    EXPECT_EQ(WaitExit(pid), 0);
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "0");
}

// Shutdown tells a running report server to close, once, and waits for it to take the
// message: a stand-in window under the report server's title counts what reaches it.
TEST_F(EngineProcessTest, ShutdownTellsTheReportServerToCloseOnce) {
    std::atomic<int> closes{0};
    std::atomic<int> others{0};
    std::unique_ptr<tessaro::platform::Window> reports = tessaro::platform::Window::Create(
        "ReportServerStandIn", tessaro::interfaces::kReportServerWindow,
        [&](tessaro::platform::Window&, tessaro::platform::WindowMessage& m) -> std::int64_t {
            if (m.msg == tessaro::interfaces::WM_CLOSEREPORTSERVER)
                ++closes;
            else if (m.msg != tessaro::platform::WM_CREATE)
                ++others;
            return 0;
        });
    ASSERT_TRUE(reports);
    std::thread loop([&] { reports->RunMessageLoop(); });
    pid_t pid = Spawn({"-desktop"});
    ASSERT_TRUE(WaitForSocket());
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
    reports->PostQuitMessage();
    loop.join();
    EXPECT_EQ(closes.load(), 1);
    EXPECT_EQ(others.load(), 0);
}

TEST_F(EngineProcessTest, TsscmDrivesTheInstalledEngine) {
    const std::string tsscm = std::string(TESSARO_BINARY_DIR) + "/bin/tsscm";
    REQUIRE_OR_SKIP(std::filesystem::exists(tsscm), "tsscm is not built");
    const std::string name = "\"Brendlow Tessaro 2.0\"";
    ASSERT_EQ(Run({"-install"}), 0);
    auto stopped = Capture(tsscm + " query " + name);
    EXPECT_EQ(stopped.second, 0);
    EXPECT_NE(stopped.first.find("STATE: 1 STOPPED\n"), std::string::npos) << stopped.first;

    EXPECT_EQ(Capture(tsscm + " start " + name + " --wait 15").second, 0);
    auto running = Capture(tsscm + " query " + name);
    EXPECT_NE(running.first.find("STATE: 4 RUNNING\n"), std::string::npos) << running.first;
    EXPECT_NE(running.first.find("CONTROLS_ACCEPTED: 5\n"), std::string::npos);
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "1");
    auto again = Capture(tsscm + " start " + name + " 2>&1");
    EXPECT_EQ(again.second, 1);
    EXPECT_NE(again.first.find("error 1056 (the service is running already)"), std::string::npos) << again.first;
    auto list = Capture(tsscm + " list");
    EXPECT_NE(list.first.find("Brendlow Tessaro 2.0\tRUNNING\t2\t"), std::string::npos) << list.first;

    EXPECT_EQ(Capture(tsscm + " stop " + name + " --wait 15").second, 0);
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "0");
    EXPECT_EQ(Capture(tsscm + " remove " + name).second, 0);
    EXPECT_NE(Capture(tsscm + " query " + name + " 2>&1").first.find("error 1060 (the service does not exist)"),
              std::string::npos);
}

TEST_F(EngineProcessTest, WindowMessageRoadWhenEmulatingWindows95) {
    setenv("TESSARO_WIN95", "1", 1);
    pid_t pid = Spawn({});
    unsetenv("TESSARO_WIN95");
    std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_FALSE(std::filesystem::exists(socketPath));  // no request socket on this road

    std::string replyFile = home() + "/tmp/TST0042.TMP";
    const char env[] = "REQUEST_METHOD=GET\0QUERY_STRING=w=95\0";
    std::uint32_t words[4] = {0, static_cast<std::uint32_t>(replyFile.size()), sizeof env, 0};
    std::string block(reinterpret_cast<const char*>(words), sizeof words);
    block += replyFile + std::string(env, sizeof env);
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    bool delivered = false;
    tessaro::platform::SendCopyData(window, 0, static_cast<std::uint64_t>(::getpid()), block, done[1], &delivered);
    ::close(done[1]);
    EXPECT_TRUE(delivered);
    char byte = 0;
    EXPECT_EQ(::read(done[0], &byte, 1), 1);
    ::close(done[0]);
    std::string reply = tessaro::test::ReadFileText(replyFile);
    EXPECT_NE(reply.find("URL:W=95\n"), std::string::npos) << reply;

    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid), 0);
}

TEST_F(EngineProcessTest, RemoveWhileRunningStopsAndUninstalls) {
    ASSERT_EQ(Run({"-install"}), 0);
    ASSERT_TRUE(Control().StartService());
    ASSERT_TRUE(
        tessaro::platform::WaitForServiceState(kEngineServiceName, tessaro::platform::SERVICE_RUNNING, 15000, 50));
    EXPECT_EQ(Run({"-remove"}), 0);
    // The running service rewrites its status while it stops; the removal must survive that.
    std::string folder = tessaro::platform::ScmServiceDirectory(kEngineServiceName);
    for (int i = 0; i < 750 && std::filesystem::exists(folder); ++i) std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(GetValue("Server", "ServiceRunning"), "0");
}

TEST_F(EngineProcessTest, StopQueuedBeforeTheServiceIsUpStillStopsIt) {
    ASSERT_EQ(Run({"-install"}), 0);
    // A stop waiting in the control channel when the service starts reaches it before its
    // handler is registered; it must be kept for the handler, not dropped.
    std::string control = tessaro::platform::ScmServiceDirectory(kEngineServiceName) + "/control";
    int fd = ::open(control.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::uint32_t stop = tessaro::platform::SERVICE_CONTROL_STOP;
    ASSERT_EQ(::write(fd, &stop, sizeof stop), static_cast<ssize_t>(sizeof stop));
    ASSERT_TRUE(Control().StartService());
    // The engine itself reports STOPPED (its own pid on the record), not the manager for it.
    std::string status = tessaro::platform::ScmServiceDirectory(kEngineServiceName) + "/status";
    bool stoppedByEngine = false;
    for (int i = 0; i < 750 && !stoppedByEngine; ++i) {
        std::this_thread::sleep_for(20ms);
        std::string all = tessaro::test::ReadFileText(status);
        stoppedByEngine = all.find("CurrentState=1\n") != std::string::npos && all.find("Pid=0\n") == std::string::npos;
    }
    ::close(fd);
    EXPECT_TRUE(stoppedByEngine);
    EXPECT_EQ(State(), tessaro::platform::SERVICE_STOPPED);
}
