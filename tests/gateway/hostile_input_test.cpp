// The gateway facing requests the engine refuses, and request bodies that do
// not match their declared length.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "gateway/request_body.h"
#include "gateway/server_pipe.h"
#include "gateway_fixtures.h"
#include "platform/pipe_frame.h"

namespace {

namespace plat = tessaro::platform;
using gateway_test::FastSettings;
using gateway_test::RunKsml;
using gateway_test::ScriptedEngine;
using tessaro::test::TempHome;

// A listening socket on the engine's path; -1 on failure.
int ListenOnEnginePath() {
    const std::string path = ksml::ServerPipePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ADD_FAILURE() << "cannot listen on " << path << ": " << std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// An engine that reads only the first frame's header, answers with a page and
// closes, the way the engine refuses a frame larger than it accepts.
class RefusingEngine {
public:
    explicit RefusingEngine(std::string page) : page_(std::move(page)) {
        fd_ = ListenOnEnginePath();
        if (fd_ >= 0) thread_ = std::thread([this] { Serve(); });
    }
    ~RefusingEngine() {
        if (fd_ < 0) return;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
        ::unlink(ksml::ServerPipePath().c_str());
    }

private:
    void Serve() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) return;
        int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;
        char head[plat::kPipeFrameHeaderSize];
        plat::ReadFully(client, head, sizeof head);
        plat::WritePipeMessage(client, page_);
        plat::WritePipeDisconnect(client);
        ::close(client);
    }

    std::string page_;
    int fd_ = -1;
    std::thread thread_;
};

const std::string kRefusal = "Content-type: text/html\n\n<P>refused by the engine";

}  // namespace

TEST(HostileGatewayInput, EngineRefusalOfALargeRequestReachesTheBrowser) {
    // Too large to fit in the socket's buffers: the send fails once the engine has closed.
    std::string big(4 * 1024 * 1024, 'b');
    struct Case {
        const char* what;
        std::vector<std::string> environment;
        std::string body;
    } cases[] = {
        {"environment", {"REQUEST_METHOD=GET", "HTTP_X=" + big}, ""},
        {"body",
         {"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=" + std::to_string(big.size())},
         big},
    };
    for (const auto& c : cases) {
        TempHome home;
        RefusingEngine engineSocket(kRefusal);
        ScriptedEngine engine;
        auto run = RunKsml(c.environment, c.body, engine, FastSettings());
        EXPECT_EQ(run.output, kRefusal) << c.what;
    }
}

TEST(HostileGatewayInput, EngineThatClosesWithoutAnAnswerGivesOneErrorTable) {
    TempHome home;
    std::string big(4 * 1024 * 1024, 'b');
    ScriptedEngine engine;
    // An engine that takes the connection and closes it at once: the send fails, nothing answers.
    int fd = ListenOnEnginePath();
    ASSERT_GE(fd, 0);
    std::thread closer([fd] {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) return;
        int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) ::close(client);
    });
    auto run = RunKsml({"REQUEST_METHOD=GET", "HTTP_X=" + big}, "", engine, FastSettings());
    closer.join();
    ::close(fd);
    ::unlink(ksml::ServerPipePath().c_str());
    // The failed send is the one failure shown; the empty read after it adds no second table.
    EXPECT_EQ(run.output.find("<TABLE BORDER>"), run.output.rfind("<TABLE BORDER>")) << run.output;
    EXPECT_NE(run.output.find("Content-type: text/html; charset=utf-8\n\n<HTML>"), std::string::npos) << run.output;
}

TEST(HostileGatewayInput, DeclaredBodyLengthsAgainstWhatArrives) {
    struct Case {
        const char* contentLength;
        std::string sent;
        ksml::BodyStatus status;
        std::string error;  // start of the one failure, when there is one
    } cases[] = {
        // A huge declared length with a few bytes behind it ends at once, without a huge buffer.
        {"1000000000", "abc", ksml::BodyStatus::Failed,
         "Error attempting to read bytes from standard input (the request body ended after 3 of 1000000000 bytes)."},
        {"3", "abcdef", ksml::BodyStatus::Read, ""},
        {"-1", "abc", ksml::BodyStatus::Failed, "The request declares a negative content length."},
        {"x12", "abc", ksml::BodyStatus::None, ""},
        {"99999999999999999999999", "abc", ksml::BodyStatus::Failed, "The request body ("},
    };
    for (const auto& c : cases) {
        int fd[2];
        ASSERT_EQ(::pipe(fd), 0);
        plat::WriteFully(fd[1], c.sent.data(), c.sent.size());
        ::close(fd[1]);
        std::vector<std::string> logged;
        ksml::ErrorReport errors([&](std::string_view, std::string_view text) { logged.emplace_back(text); });
        std::string body;
        ksml::BodyStatus status =
            ksml::ReadRequestBody(fd[0], "text/plain", c.contentLength, 2000000000ull, body, errors);
        ::close(fd[0]);
        EXPECT_EQ(status, c.status) << c.contentLength;
        if (c.error.empty()) {
            EXPECT_TRUE(errors.empty()) << c.contentLength;
        } else {
            ASSERT_EQ(errors.errors().size(), 1u) << c.contentLength;
            EXPECT_EQ(errors.errors()[0].message.rfind(c.error, 0), 0u) << errors.errors()[0].message;
        }
        if (status == ksml::BodyStatus::Read) {
            EXPECT_EQ(body, "abc");
        }
    }
}
