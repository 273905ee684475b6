#include "gateway/forward_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <thread>

#include "gateway_fixtures.h"
#include "gateway/server_pipe.h"

namespace {

using namespace std::string_literals;
using gateway_test::ErrorPageFor;
using gateway_test::FakeEngineSocket;
using gateway_test::FastSettings;
using gateway_test::RunKsml;
using gateway_test::ScriptedEngine;
using tessaro::test::TempHome;

const std::vector<gateway_test::ReplyFrame> kPage = {
    {1, "Content-type: text/html\n"}, {1, "\n<P>hello"}, {1, ""}, {1, " world"}, {2, ""}};
const std::string kPageText = "Content-type: text/html\n\n<P>hello world";

const char* kNotRunning =
    "An error occurred while attempting to establish a connection to the service.<P> The most likely cause of this "
    "problem is that the service is not currently running. You can use tsscm (tsscm query 'Brendlow Tessaro 2.0', "
    "tsscm start 'Brendlow Tessaro 2.0'; see \"Administering the server\" in the README) to verify that the service "
    "is running and to restart it if necessary.";

TEST(ForwardRequest, GetSendsOneMessageAndRelaysTheReply) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET", "SCRIPT_NAME=/x.tsm", "QUERY_STRING=a=1", "CONTENT_LENGTH=0"}, "", engine,
                       FastSettings());
    EXPECT_EQ(run.output, kPageText);
    auto received = engineSocket.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0],
              "REQUEST_METHOD=GET\0SCRIPT_NAME=/x.tsm\0TS_TEMPLATE_PATH=\0QUERY_STRING=a=1\0CONTENT_LENGTH=0\0\0"s);
    EXPECT_EQ(engine.start_calls, 0);
    EXPECT_TRUE(run.log.empty());
}

TEST(ForwardRequest, PostBodyArrivesWholeAsTheSecondMessage) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    std::string body;
    for (int i = 0; i < 300000; ++i) body.push_back(static_cast<char>(i * 7));
    auto run = RunKsml({"REQUEST_METHOD=POST", "CONTENT_TYPE=application/octet-stream",
                        "CONTENT_LENGTH=" + std::to_string(body.size())},
                       body, engine, FastSettings());
    EXPECT_EQ(run.output, kPageText);
    auto received = engineSocket.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1], body);
}

TEST(ForwardRequest, PostWithZeroLengthSendsNoBodyMessage) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    auto run =
        RunKsml({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=0"}, "", engine, FastSettings());
    EXPECT_EQ(run.output, kPageText);
    EXPECT_EQ(engineSocket.Received().size(), 1u);
}

TEST(ForwardRequest, BodyOfARequestOtherThanPostIsNotSent) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    // Larger than a socket buffer: sent, it would wait for a reader that never comes.
    std::string body(4 * 1024 * 1024, 'p');
    auto run =
        RunKsml({"REQUEST_METHOD=PUT", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=" + std::to_string(body.size())},
                body, engine, FastSettings());
    EXPECT_EQ(run.output, kPageText);
    EXPECT_EQ(engineSocket.Received().size(), 1u);
}

TEST(ForwardRequest, LowerCasePostCarriesItsBody) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    auto run =
        RunKsml({"CONTENT_TYPE=text/plain", "CONTENT_LENGTH=3", "REQUEST_METHOD=post"}, "abc", engine, FastSettings());
    EXPECT_EQ(run.output, kPageText);
    auto received = engineSocket.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1], "abc");
}

TEST(ForwardRequest, OversizedBodyIsAnsweredWithoutContactingTheEngine) {
    TempHome home;
    FakeEngineSocket engineSocket(kPage);
    ScriptedEngine engine;
    auto settings = FastSettings();
    settings.max_body_bytes = 1000;
    auto run = RunKsml({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=1001"},
                       std::string(1001, 'b'), engine, settings);
    EXPECT_EQ(run.output,
              ErrorPageFor({{"The request body (1001 bytes) is larger than this server accepts (1000 bytes).", 0}}));
    EXPECT_EQ(engineSocket.Connections(), 0);
}

TEST(ForwardRequest, RequestDroppedByTheEngineGivesTheBusyPage) {
    TempHome home;
    FakeEngineSocket engineSocket({});  // closes without its disconnect frame
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    EXPECT_EQ(run.output, ErrorPageFor({{"", 109}}));
    ASSERT_EQ(run.log.size(), 1u);
    // The log line is the busy text without its markup.
    EXPECT_EQ(run.log[0].rfind("Error|Server busy or unable to fulfill request The server is unable", 0), 0u)
        << run.log[0];
    EXPECT_EQ(run.log[0].find('<'), std::string::npos) << run.log[0];
}

TEST(ForwardRequest, ReplyCutOffAfterItsHeaderEndsWithTheBusyTable) {
    TempHome home;
    FakeEngineSocket engineSocket({{1, "Content-type: text/html\n\n<P>part"}});
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    std::string page = ErrorPageFor({{"", 109}});
    EXPECT_EQ(run.output, "Content-type: text/html\n\n<P>part" + page.substr(page.find("<HTML>")));
}

const ksml::GatewayError kStartTimedOut{
    "Error occurred while attempting to start service (timed out waiting for service to start).", 1053};

TEST(ForwardRequest, EngineThatCannotBeStartedGivesOnePageWithEveryFailure) {
    TempHome home;
    ScriptedEngine engine;  // start and termination event both fail
    engine.start_failure = kStartTimedOut;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    EXPECT_EQ(run.output,
              ErrorPageFor({kStartTimedOut, {"Failed to set server termination event.", 2}, {kNotRunning, 2}}));
    EXPECT_EQ(run.output.rfind("Status: 500 ", 0), 0u);
    EXPECT_EQ(engine.start_calls, 1);
    EXPECT_EQ(engine.event_calls, 1);
    EXPECT_EQ(run.log.size(), 3u);
}

// A site taken down by removing the engine service: there is no wedged engine to end (a
// desktop engine that has just come up would be the one to go), and the page says the site is
// unavailable rather than broken.
TEST(ForwardRequest, RemovedServiceEndsNoEngineAndAnswersUnavailable) {
    TempHome home;
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    EXPECT_EQ(run.output, ErrorPageFor({{"Error occurred while attempt to open service.", 1060}, {kNotRunning, 2}}));
    EXPECT_EQ(run.output.rfind("Status: 503 Service Unavailable\n", 0), 0u);
    EXPECT_EQ(engine.start_calls, 1);
    EXPECT_EQ(engine.event_calls, 0);
}

TEST(ForwardRequest, FailedStartIsTriedOnceMoreAfterEndingTheEngine) {
    TempHome home;
    std::unique_ptr<FakeEngineSocket> engineSocket;
    ScriptedEngine engine;
    engine.start_failure = kStartTimedOut;
    engine.start_results = {false, true};
    engine.event_results = {true};
    engine.on_started = [&] { engineSocket = std::make_unique<FakeEngineSocket>(kPage); };
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    // The first failure is logged but the browser sees only the engine's page.
    EXPECT_EQ(run.output, kPageText);
    EXPECT_EQ(engine.start_calls, 2);
    ASSERT_EQ(run.log.size(), 1u);
    EXPECT_EQ(run.log[0],
              "Error|Error occurred while attempting to start service (timed out waiting for service to start). Windows "
              "NT error number 1053 occurred (the service did not answer in time).");
}

TEST(ForwardRequest, WaitsForTheSocketOfAJustStartedEngine) {
    TempHome home;
    std::unique_ptr<FakeEngineSocket> engineSocket;
    std::thread late;
    ScriptedEngine engine;
    engine.start_results = {true};
    engine.on_started = [&] {
        late = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            engineSocket = std::make_unique<FakeEngineSocket>(kPage);
        });
    };
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    late.join();
    EXPECT_EQ(run.output, kPageText);
    EXPECT_EQ(engine.start_calls, 1);
}

TEST(ForwardRequest, StartedEngineWhoseSocketNeverAppearsFails) {
    TempHome home;
    ScriptedEngine engine;
    engine.start_results = {true};
    auto settings = FastSettings();
    settings.socket_appear_ms = 100;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, settings);
    EXPECT_EQ(run.output, ErrorPageFor({{kNotRunning, 2}}));
    EXPECT_EQ(engine.start_calls, 1);
}

TEST(ForwardRequest, BusyEngineIsLeftRunning) {
    TempHome home;
    // Nobody accepts and the backlog is full once one connection waits in it.
    FakeEngineSocket engineSocket({}, /*accept=*/false, /*backlog=*/0);
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = ksml::ServerPipePath();
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
        if (rc != 0 && errno == EAGAIN) break;
    }
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    for (int fd : fillers) ::close(fd);
    EXPECT_EQ(run.output,
              ErrorPageFor(
                  {{"Could not establish connection to named pipe server (exceeded maximum number of retries)", 0}}));
    EXPECT_EQ(engine.event_calls, 0);
    EXPECT_EQ(engine.start_calls, 0);
}

TEST(ForwardRequest, AdministratorAddressIsAskedOnlyForAnErrorPage) {
    TempHome home;
    FakeEngineSocket engineSocket({});
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings(), "admin@example.org");
    EXPECT_NE(run.output.find("mailto:admin@example.org"), std::string::npos);
    EXPECT_EQ(run.output.substr(run.output.size() - 7), "<P><HR>");
}

TEST(ForwardRequest, LongRepliesAreLoggedEveryHundredReads) {
    TempHome home;
    std::vector<gateway_test::ReplyFrame> frames = {{1, "Content-type: text/plain\n\n"}};
    std::string expected = "Content-type: text/plain\n\n";
    for (int i = 0; i < 250; ++i) {
        frames.push_back({1, std::to_string(i) + ","});
        expected += std::to_string(i) + ",";
    }
    frames.push_back({2, ""});
    FakeEngineSocket engineSocket(frames);
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(run.log, (std::vector<std::string>{"Warning|Read loop has executed 100 times",
                                                 "Warning|Read loop has executed 200 times"}));
}

TEST(ForwardRequest, RedirectReachesTheBrowserWithItsCookies) {
    TempHome home;
    FakeEngineSocket engineSocket({{1, "Location: /b.tsm\nContent-type: text/html\nSet-Cookie: TSID=5\n\n"}, {2, ""}});
    ScriptedEngine engine;
    auto run = RunKsml({"REQUEST_METHOD=GET"}, "", engine, FastSettings());
    EXPECT_EQ(run.output, "Location: /b.tsm\nSet-Cookie: TSID=5\n\n");
}

}  // namespace

namespace {

// An engine that takes the request and never answers; it notes when the gateway closes.
class SilentEngine {
public:
    SilentEngine() {
        const std::string path = ksml::ServerPipePath();
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ::unlink(path.c_str());
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listen_, 4) != 0)
            ADD_FAILURE() << std::strerror(errno);
        thread_ = std::thread([this] {
            int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            char buffer[4096];
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
            closed_ = true;
            ::close(fd);
        });
    }
    ~SilentEngine() {
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
        ::unlink(ksml::ServerPipePath().c_str());
    }
    bool closed() const { return closed_; }

private:
    int listen_ = -1;
    std::thread thread_;
    std::atomic<bool> closed_{false};
};

}  // namespace

TEST(ForwardRequest, AClosedWebServerOutputEndsTheWaitAndTheEngineConnection) {
    // The web server closes the gateway's output while the engine works (its visitor left):
    // the gateway stops waiting and closes its engine connection, without a page nobody reads.
    TempHome home;
    SilentEngine engineSocket;
    ScriptedEngine engine;
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    std::vector<std::string> log;
    std::string written;
    ksml::GatewaySettings settings = FastSettings();
    ksml::GatewayState state(
        settings, [&log](std::string_view severity, std::string_view text) {
            log.push_back(std::string(severity) + "|" + std::string(text));
        },
        [&written](const char* d, size_t n) { written.append(d, n); }, engine);
    state.web_server_output = output[1];
    std::thread leaves([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::close(output[0]);
    });
    const char* environment[] = {"REQUEST_METHOD=GET", "SCRIPT_NAME=/x.tsm", nullptr};
    const auto start = std::chrono::steady_clock::now();
    ksml::RunGateway(environment, -1, state, [] { return std::string(); });
    leaves.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(state.visitor_gone);
    EXPECT_EQ(written, "");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0],
              "Warning|The visitor left before the reply was complete (the web server closed the gateway's output, "
              "or the visitor's connection closed); the request was given up.");
    for (int i = 0; i < 200 && !engineSocket.closed(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(engineSocket.closed());
    ::close(output[1]);
}

TEST(ForwardRequest, AVisitorWhoLeftWithoutAWordFromTheWebServerEndsTheWaitToo) {
    // lighttpd closes nothing and signals nothing: the visitor watch is what tells.
    TempHome home;
    SilentEngine engineSocket;
    ScriptedEngine engine;
    std::vector<std::string> log;
    std::string written;
    ksml::GatewaySettings settings = FastSettings();
    ksml::GatewayState state(
        settings, [&log](std::string_view severity, std::string_view text) {
            log.push_back(std::string(severity) + "|" + std::string(text));
        },
        [&written](const char* d, size_t n) { written.append(d, n); }, engine);
    const auto start = std::chrono::steady_clock::now();
    int looks = 0;
    state.visitor_left = [&] {
        ++looks;
        return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300);
    };
    const char* environment[] = {"REQUEST_METHOD=GET", "SCRIPT_NAME=/x.tsm", nullptr};
    ksml::RunGateway(environment, -1, state, [] { return std::string(); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_GE(looks, 2);
    EXPECT_TRUE(state.visitor_gone);
    EXPECT_EQ(written, "");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Warning|The visitor left before the reply was complete", 0), 0u) << log[0];
    for (int i = 0; i < 200 && !engineSocket.closed(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(engineSocket.closed());
}
