#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "engine/server/copy_data_intake.h"
#include "engine/server/echo_page.h"
#include "support/registry.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "engine/server/request_worker.h"
#include "platform/system_calls.h"
#include "support/server_settings.h"
#include "request_test_support.h"
#include "tests/common/descriptor_path.h"
#include "tests/common/file_text.h"

namespace {

namespace plat = tessaro::platform;

// Calls on the reply file fail with g_failure; the log and the pipes are left alone.
int g_failure = 0;
bool g_truncateFails = false;
bool OnReplyFile(int fd) {
    return tessaro::test::DescriptorPath(fd).find("/tmp/TST") != std::string::npos;
}
ssize_t FailingReplyWrite(int fd, const void* data, size_t n) {
    if (OnReplyFile(fd)) {
        errno = g_failure;
        return -1;
    }
    return plat::SystemCalls().write.Real()(fd, data, n);
}
int FailingReplyTruncate(int fd, off_t length) {
    if (g_truncateFails && OnReplyFile(fd)) {
        errno = g_failure;
        return -1;
    }
    return plat::SystemCalls().ftruncate.Real()(fd, length);
}

class CopyDataIntakeTest : public DispatcherHome {
protected:
    void SetUp() override {
        DispatcherHome::SetUp();
        RegisterEchoPage(dispatcher, true);
        ASSERT_EQ(::pipe(done), 0);
        replyFile = home() + "/tmp/TST0001.TMP";
    }
    void TearDown() override {
        for (int fd : done)
            if (fd >= 0) ::close(fd);
        // A worker still ends its request (the limiter's release) after signalling completion.
        threads.WaitForJobs(10000);
        DispatcherHome::TearDown();
    }
    tessaro::platform::WindowMessage Message(const std::string& env, const std::string& body) {
        tessaro::platform::WindowMessage m;
        m.msg = tessaro::platform::WM_COPYDATA;
        m.senderPid = ::getpid();
        m.dwData = static_cast<std::uint64_t>(::getpid());
        std::uint32_t words[4] = {0, static_cast<std::uint32_t>(replyFile.size()),
                                  static_cast<std::uint32_t>(env.size()), static_cast<std::uint32_t>(body.size())};
        m.data.assign(reinterpret_cast<const char*>(words), sizeof words);
        m.data += replyFile + env + body;
        m.fd = done[1];
        return m;
    }
    // 1 when the completion byte came, 0 on end of file, -1 on time-out.
    int Completion(int ms = 5000) {
        pollfd p{done[0], POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return -1;
        char b;
        return static_cast<int>(::read(done[0], &b, 1));
    }
    std::string ReplyText() { return tessaro::test::ReadFileText(replyFile); }

    RequestLimiter unlimited{false, 0, 0};
    CRequestThreadPool threads;  // goes first: its jobs use the limiter and the dispatcher
    RequestRoad road{dispatcher, &unlimited, threads};
    int done[2] = {-1, -1};
    std::string replyFile;
};

}  // namespace

TEST_F(CopyDataIntakeTest, RequestIsAnsweredInTheReplyFile) {
    const char raw[] =
        "REQUEST_METHOD=POST\0CONTENT_TYPE=application/x-www-form-urlencoded\0"
        "CONTENT_LENGTH=3\0QUERY_STRING=q=1\0";
    std::string env(raw, sizeof raw);
    auto m = Message(env, "a=b");
    OnCopyData(m, true, road);
    EXPECT_EQ(m.fd, -1);  // taken over by the request
    done[1] = -1;
    EXPECT_EQ(Completion(), 1);
    std::string reply = ReplyText();
    EXPECT_EQ(reply.rfind("Content-type: text/html\n\nECHO\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("URL:Q=1\n"), std::string::npos);
    EXPECT_NE(reply.find("FORM:A=b\n"), std::string::npos);
}

TEST_F(CopyDataIntakeTest, IgnoredWhileNotListeningOrFromAnotherProcess) {
    auto quiet = Message(std::string("A=1\0\0", 5), "");
    OnCopyData(quiet, false, road);
    EXPECT_EQ(quiet.fd, done[1]);
    auto spoofed = Message(std::string("A=1\0\0", 5), "");
    spoofed.dwData = 1;
    OnCopyData(spoofed, true, road);
    EXPECT_EQ(spoofed.fd, done[1]);
    auto truncated = Message(std::string("A=1\0\0", 5), "");
    truncated.data.resize(truncated.data.size() - 3);
    OnCopyData(truncated, true, road);
    EXPECT_EQ(truncated.fd, done[1]);
    EXPECT_EQ(Completion(100), -1);
    EXPECT_FALSE(std::filesystem::exists(replyFile));
}

TEST_F(CopyDataIntakeTest, UnwritableReplyFileSignalsAtOnce) {
    replyFile = home() + "/no/such/dir/reply.tmp";
    auto m = Message(std::string("A=1\0\0", 5), "");
    OnCopyData(m, true, road);
    done[1] = -1;
    EXPECT_EQ(Completion(), 1);
    EXPECT_NE(ReadLog().find("Unexpected exception occurred in WM_COPYDATA handler."), std::string::npos);
}

TEST_F(CopyDataIntakeTest, RequestNoThreadTakesSignalsItsSenderOnce) {
    CRequestThreadPool refusing([](std::function<void()>) -> tessaro::platform::SizedThread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    auto m = Message(std::string("REQUEST_METHOD=GET\0\0", 20), "");
    OnCopyData(m, true, RequestRoad{dispatcher, &unlimited, refusing});
    EXPECT_EQ(m.fd, -1);
    done[1] = -1;
    // One completion byte, then the end: the event was signalled and closed once.
    EXPECT_EQ(Completion(), 1);
    EXPECT_EQ(Completion(), 0);
    EXPECT_EQ(refusing.Running(), 0);
    EXPECT_EQ(ReplyText(), "");  // no reply in the file
}

// A reply file the disk will not take: the log says which file failed and why, the sender gets
// no part of a page (an empty file, which it answers with its error page, or no completion
// when the file cannot even be emptied), and the next request is answered whole.
TEST_F(CopyDataIntakeTest, AReplyFileThatCannotBeWrittenIsLoggedAndNoPartOfAPageIsSent) {
    const char raw[] = "REQUEST_METHOD=GET\0QUERY_STRING=bytes=9000\0";
    const std::string env(raw, sizeof raw);
    const struct {
        int failure;
        bool truncateFails;
        int completion;  // 1: the byte came, 0: closed without it
        std::vector<std::string> logged;
    } cases[] = {
        {ENOSPC, false, 1, {"' (the disk is full). Windows NT error number 112 occurred."}},
        {EIO, false, 1, {"' (an input or output error of the device). Windows NT error number 1117 occurred."}},
        {EIO, true, 0,
         {" Windows NT error number 1117 occurred.",
          "Error attempting to empty the reply file '" + replyFile + "'"}},
    };
    for (const auto& c : cases) {
        const std::string label = "errno " + std::to_string(c.failure) + (c.truncateFails ? ", no truncation" : "");
        g_failure = c.failure;
        g_truncateFails = c.truncateFails;
        const std::size_t logBefore = ReadLog().size();
        {
            plat::ScopedSystemCall write(plat::SystemCalls().write, &FailingReplyWrite);
            plat::ScopedSystemCall truncate(plat::SystemCalls().ftruncate, &FailingReplyTruncate);
            auto m = Message(env, "");
            OnCopyData(m, true, road);
            done[1] = -1;
            EXPECT_EQ(Completion(), c.completion) << label;
            threads.WaitForJobs(10000);
        }
        auto freshPipe = [this] {
            ::close(done[0]);
            done[1] = -1;
            ASSERT_EQ(::pipe(done), 0);
        };
        if (!c.truncateFails) {
            EXPECT_EQ(ReplyText(), "") << label;
        }
        const std::string added = ReadLog().substr(logBefore);
        EXPECT_NE(added.find("Error attempting to write the reply file '" + replyFile + "'"), std::string::npos)
            << label << "\n" << added;
        for (const std::string& line : c.logged) EXPECT_NE(added.find(line), std::string::npos) << label << "\n" << added;
        // The engine answers the next request in full.
        freshPipe();
        auto next = Message(env, "");
        OnCopyData(next, true, road);
        done[1] = -1;
        EXPECT_EQ(Completion(), 1) << label;
        const std::string page = ReplyText();
        EXPECT_EQ(page.rfind("Content-type: text/html\n\n", 0), 0u) << label << "\n" << page.substr(0, 300);
        EXPECT_NE(page.find(std::string(9000, 'x')), std::string::npos) << label;
        threads.WaitForJobs(10000);
        freshPipe();
    }
}
