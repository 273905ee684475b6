#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "engine/server/echo_page.h"
#include "engine/server/pipe_listener.h"
#include "support/registry.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "support/server_settings.h"
#include "listener_home.h"
#include "pipe_test_client.h"

namespace {

class ListenerTest : public ListenerHome {
protected:
    std::vector<std::string> Get(const std::string& query) {
        return {"REQUEST_METHOD=GET", "QUERY_STRING=" + query, "REMOTE_ADDR=10.0.0.9"};
    }
};

}  // namespace

TEST_F(ListenerTest, GetReachesThePageAndEndsWithDisconnect) {
    StartListener(&unlimited);
    PipeReply reply = SendRequest(path, Get("a=1&c=%41+B"));
    EXPECT_TRUE(reply.disconnected);
    std::string text = reply.Text();
    EXPECT_EQ(text.rfind("Content-type: text/html\n\nECHO\n", 0), 0u) << text;
    EXPECT_NE(text.find("URL:A=1\n"), std::string::npos);
    EXPECT_NE(text.find("URL:C=A B\n"), std::string::npos);
    EXPECT_NE(text.find("CGI:REMOTE_ADDR=10.0.0.9\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::group_write);
}

TEST_F(ListenerTest, UrlEncodedAndMultipartPosts) {
    StartListener(&unlimited);
    std::string form = "a=1&&a=2&b";
    PipeReply posted = SendRequest(path,
                                   {"REQUEST_METHOD=POST", "CONTENT_TYPE=application/x-www-form-urlencoded",
                                    "CONTENT_LENGTH=" + std::to_string(form.size())},
                                   form);
    EXPECT_NE(posted.Text().find("FORM:A=1,2\n"), std::string::npos) << posted.Text();
    EXPECT_NE(posted.Text().find("FORM:FIELDNAMES=A,A\n"), std::string::npos);

    std::string body =
        "--B0\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"C:\\My Docs\\Cat.GIF\"\r\n"
        "Content-Type: image/gif\r\n\r\n" +
        std::string("GIF\0data", 8) + "\r\n--B0\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nv\r\n--B0--\r\n";
    PipeReply upload = SendRequest(path,
                                   {"REQUEST_METHOD=POST", "CONTENT_TYPE=multipart/form-data; boundary=B0",
                                    "CONTENT_LENGTH=" + std::to_string(body.size())},
                                   body);
    std::string text = upload.Text();
    auto at = text.find("FILE:PHOTO=");
    ASSERT_NE(at, std::string::npos) << text;
    std::string line = text.substr(at, text.find('\n', at) - at);
    EXPECT_NE(line.find("|exists|IMAGE|GIF|C:\\My Docs|Cat|GIF"), std::string::npos) << line;
    std::string temp = line.substr(11, line.find('|') - 11);
    EXPECT_NE(text.find("FORM:T=v\n"), std::string::npos);
    // The upload is gone once the request has ended.
    for (int i = 0; i < 200 && std::filesystem::exists(temp); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(ListenerTest, LargeBodyGoesInBlocksOf4096) {
    StartListener(&unlimited);
    PipeReply reply = SendRequest(path, Get("bytes=8192"));
    ASSERT_EQ(reply.messages.size(), 3u);
    EXPECT_EQ(reply.messages[0], "Content-type: text/html\n\n");
    EXPECT_EQ(reply.messages[1].size(), 4096u);
    EXPECT_EQ(reply.messages[2].size(), 4096u);
    EXPECT_TRUE(reply.disconnected);
}

TEST_F(ListenerTest, ThrowingPageGivesTheStandardErrorPage) {
    StartListener(&unlimited);
    PipeReply reply = SendRequest(path, Get("fail=1"));
    EXPECT_EQ(reply.Text(),
              "Status: 500 Internal Server Error\nContent-type: text/html; charset=utf-8\n\n<HTML><HEAD><TITLE>Error Occurred While "
              "Processing Request</TITLE>"
              "</HEAD><BODY><HR><H3>Error Occurred While Processing Request</H3><P> <TABLE BORDER><TR><TD><H4>Error "
              "Diagnostic Information</H4><P>Echo failure.<P> The test page was asked to fail.<P></TD></TR></TABLE><P>"
              "<HR>\n</BODY></HTML>");
}

TEST_F(ListenerTest, LimiterDropsTheSecondRequestWithoutAReply) {
    StartListener(&one);
    auto slow = std::async(std::launch::async, [this] { return SendRequest(path, Get("sleep=2500")); });
    // The second request is sent only once the first holds the one permit.
    for (int i = 0; i < 500 && one.GetActiveCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(one.GetActiveCount(), 1);
    PipeReply dropped = SendRequest(path, Get("x=1"));
    EXPECT_FALSE(dropped.disconnected);
    EXPECT_TRUE(dropped.messages.empty());
    EXPECT_TRUE(slow.get().disconnected);
    EXPECT_NE(ReadLog().find("\"Warning\",\"TID="), std::string::npos);
    EXPECT_NE(ReadLog().find("Timed out while waiting for thread semaphore (1 requests are active)"),
              std::string::npos);
}

TEST_F(ListenerTest, UnlimitedRequestsRunTogether) {
    StartListener(&unlimited);
    std::vector<std::future<PipeReply>> replies;
    for (int i = 0; i < 20; ++i)
        replies.push_back(std::async(std::launch::async, [this] { return SendRequest(path, Get("sleep=300")); }));
    for (auto& r : replies) EXPECT_TRUE(r.get().disconnected);
}

TEST_F(ListenerTest, BadFramesGiveTheReadErrorPage) {
    StartListener(&unlimited);
    int fd = ConnectPipe(path);
    ASSERT_GE(fd, 0);
    tessaro::platform::WritePipeMessage(
        fd, EnvironmentBlock({"REQUEST_METHOD=POST", "CONTENT_TYPE=text/plain", "CONTENT_LENGTH=5"}));
    ::shutdown(fd, SHUT_WR);  // the body never comes
    PipeReply reply = ReadReply(fd);
    ::close(fd);
    EXPECT_NE(reply.Text().find("Error attempting to read the content stream from the named pipe"), std::string::npos)
        << reply.Text();
}

TEST_F(ListenerTest, SecondListenerOnTheSameSocketFails) {
    StartListener(&unlimited);
    std::atomic<int> flag{1};
    CPipeListener other(path, RequestRoad{dispatcher, &unlimited, threads}, flag, nullptr);
    long error = 0;
    EXPECT_FALSE(other.Open(&error));
    EXPECT_EQ(error, 231);
}

TEST_F(ListenerTest, StopEndsTheLoopWithoutAnErrorLine) {
    StartListener(&unlimited);
    StopListener();
    EXPECT_EQ(ReadLog().find("ConnectNamedPipe"), std::string::npos);
    EXPECT_TRUE(fatal.empty());
}

TEST_F(ListenerTest, AtTheInstanceLimitNewConnectionsWaitInsteadOfFailing) {
    StartListener(&unlimited, CPipeListener::kDefaultReadTimeoutMilliseconds, 2);
    std::vector<std::future<PipeReply>> replies;
    for (int i = 0; i < 5; ++i)
        replies.push_back(std::async(std::launch::async, [this] { return SendRequest(path, Get("sleep=200")); }));
    for (auto& r : replies) EXPECT_TRUE(r.get().disconnected);
    EXPECT_TRUE(fatal.empty());
    EXPECT_EQ(ReadLog().find("named pipe"), std::string::npos);
}
