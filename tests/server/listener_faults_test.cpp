// The engine's listener with its system calls made to fail on purpose: a process out of
// descriptors at accept, a request socket whose every call may be interrupted or short, and
// a disk that fills under uploads, request bodies and the log.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "listener_home.h"
#include "pipe_test_client.h"
#include "platform/system_calls.h"
#include "tests/common/descriptor_path.h"

namespace plat = tessaro::platform;

namespace {

std::atomic<int> g_calls{0};

int ExhaustedAccept(int fd, sockaddr* address, socklen_t* length, int flags) {
    if (g_calls++ < 3) {
        errno = EMFILE;
        return -1;
    }
    return plat::SystemCalls().accept4.Real()(fd, address, length, flags);
}

// Every third call is interrupted; the others move a few bytes at most.
ssize_t InterruptedShortRead(int fd, void* data, size_t n) {
    if (g_calls++ % 3 == 0) {
        errno = EINTR;
        return -1;
    }
    return plat::SystemCalls().read.Real()(fd, data, n < 5 ? n : 5);
}
ssize_t InterruptedShortRecv(int fd, void* data, size_t n, int flags) {
    if (g_calls++ % 3 == 0) {
        errno = EINTR;
        return -1;
    }
    return plat::SystemCalls().recv.Real()(fd, data, n < 5 ? n : 5, flags);
}
ssize_t InterruptedShortSend(int fd, const void* data, size_t n, int flags) {
    if (g_calls++ % 3 == 0) {
        errno = EINTR;
        return -1;
    }
    return plat::SystemCalls().send.Real()(fd, data, n < 7 ? n : 7, flags);
}

// The replies the engine sends (the sends that start with the reply's header frame), whole.
std::mutex g_sentMutex;
std::vector<std::string> g_replySends;
ssize_t RecordingSend(int fd, const void* data, size_t n, int flags) {
    const std::string bytes(static_cast<const char*>(data), n);
    if (bytes.find("Content-type:") == 8) {
        std::lock_guard lock(g_sentMutex);
        g_replySends.push_back(bytes);
    }
    return plat::SystemCalls().send.Real()(fd, data, n, flags);
}

// Writes to a file whose name holds g_failedName fail with g_failure (a full disk unless a
// test says otherwise); others go through.
std::string g_failedName;
int g_failure = ENOSPC;
bool WritesToFailedFile(int fd) {
    return tessaro::test::DescriptorPath(fd).find(g_failedName) != std::string::npos;
}
ssize_t DiskFullWrite(int fd, const void* data, size_t n) {
    if (WritesToFailedFile(fd)) {
        ++g_calls;
        errno = g_failure;
        return -1;
    }
    return plat::SystemCalls().write.Real()(fd, data, n);
}
// Removing an upload (from the home's tmp folder) fails.
int FailingUnlink(const char* path) {
    if (std::string(path).find("/tmp/") != std::string::npos) {
        ++g_calls;
        errno = EIO;
        return -1;
    }
    return plat::SystemCalls().unlink.Real()(path);
}
ssize_t DiskFullPwrite(int fd, const void* data, size_t n, off_t offset) {
    if (WritesToFailedFile(fd)) {
        ++g_calls;
        errno = g_failure;
        return -1;
    }
    return plat::SystemCalls().pwrite.Real()(fd, data, n, offset);
}

class ListenerFaultsTest : public ListenerHome {
protected:
    void SetUp() override {
        ListenerHome::SetUp();
        g_calls = 0;
        g_failure = ENOSPC;
    }
    std::vector<std::string> Get(const std::string& query) {
        return {"REQUEST_METHOD=GET", "QUERY_STRING=" + query, "REMOTE_ADDR=10.0.0.9"};
    }
    PipeReply PostUpload() {
        const std::string body =
            "--B0\r\nContent-Disposition: form-data; name=\"photo\"; filename=\"Cat.GIF\"\r\n"
            "Content-Type: image/gif\r\n\r\nGIFdata\r\n--B0--\r\n";
        return SendRequest(path,
                           {"REQUEST_METHOD=POST", "CONTENT_TYPE=multipart/form-data; boundary=B0",
                            "CONTENT_LENGTH=" + std::to_string(body.size())},
                           body);
    }
    // Files left in a folder of the home (none when it does not exist).
    std::size_t FilesIn(const std::string& folder) {
        std::size_t count = 0;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(home() + "/" + folder, ec), end; !ec && it != end; it.increment(ec))
            count += it->is_regular_file();
        return count;
    }
    bool Served(const PipeReply& reply) { return reply.Text().rfind("Content-type: text/html\n\nECHO\n", 0) == 0; }
};

}  // namespace

TEST_F(ListenerFaultsTest, OutOfDescriptorsAtAcceptTheRequestWaitsAndIsServed) {
    StartListener(&unlimited);
    plat::ScopedSystemCall accept(plat::SystemCalls().accept4, &ExhaustedAccept);
    for (const char* query : {"a=1", "a=2"}) {
        PipeReply reply = SendRequest(path, Get(query));
        EXPECT_TRUE(reply.disconnected) << query;
        EXPECT_EQ(reply.Text().rfind("Content-type: text/html\n\nECHO\n", 0), 0u) << reply.Text();
    }
    EXPECT_GE(g_calls.load(), 4);  // the failing accepts were met
}

// The reply that arrives through interrupted and short calls is the one that arrives without.
TEST_F(ListenerFaultsTest, InterruptedAndShortSocketCallsLoseNoByte) {
    StartListener(&unlimited);
    const PipeReply plain = SendRequest(path, Get("a=1&bytes=8192"));
    ASSERT_TRUE(plain.disconnected);
    PipeReply cut;
    {
        plat::ScopedSystemCall read(plat::SystemCalls().read, &InterruptedShortRead);
        plat::ScopedSystemCall recv(plat::SystemCalls().recv, &InterruptedShortRecv);
        plat::ScopedSystemCall send(plat::SystemCalls().send, &InterruptedShortSend);
        cut = SendRequest(path, Get("a=1&bytes=8192"));
    }
    EXPECT_GT(g_calls.load(), 1000);
    EXPECT_TRUE(cut.disconnected);
    EXPECT_EQ(cut.messages, plain.messages);
    // And the engine is still there.
    EXPECT_EQ(SendRequest(path, Get("a=2")).Text().rfind("Content-type: text/html\n\nECHO\n", 0), 0u);
}


// A page's reply, its end included, is one send: each send is a call, and a wake-up of the
// gateway that waits for it.
TEST_F(ListenerFaultsTest, AReplyAndItsEndGoOutInOneSend) {
    StartListener(&unlimited);
    PipeReply reply;
    {
        plat::ScopedSystemCall send(plat::SystemCalls().send, &RecordingSend);
        reply = SendRequest(path, Get("a=1&bytes=8192"));
    }
    ASSERT_TRUE(reply.disconnected);
    std::lock_guard lock(g_sentMutex);
    ASSERT_EQ(g_replySends.size(), 1u);
    const std::string disconnect("\2\0\0\0\0\0\0\0", 8);
    EXPECT_EQ(g_replySends[0].substr(g_replySends[0].size() - 8), disconnect);
    EXPECT_GT(g_replySends[0].size(), 8192u);
    g_replySends.clear();
}

// The disk fills, or fails, while an upload or a body kept in a file is written: the visitor
// gets the error page naming the cause, the log says which file failed and why, no partial
// file stays behind, and the next request is served.
TEST_F(ListenerFaultsTest, AFullOrFailingDiskUnderAnUploadOrABodyFileIsAnErrorPageAndALogLine) {
    StartListener(&unlimited);
    const std::string bodyPage = "Error attempting to read the content stream from the named pipe";
    const struct {
        const char* failedName;     // the upload's or the body's file, not the log
        const char* maxBodyMemory;  // "1": every body goes to a file
        int failure;
        std::vector<std::string> said;
        std::vector<std::string> logged;  // in this order on one line of the log
    } cases[] = {
        {"/tmp/BTS", "", ENOSPC, {"The disk is full."},
         {"Error attempting to write the uploaded file '", "/tmp/", "' (the disk is full).",
          " Windows NT error number 112 occurred."}},
        {"/tmp/BTS", "", EIO, {},
         {"Error attempting to write the uploaded file '", "/tmp/", "' (an input or output error of the device).",
          " Windows NT error number 1117 occurred."}},
        {"/tmp/body/BDY", "1", ENOSPC, {bodyPage, "Windows NT error number 112 occurred."},
         {"Error attempting to write the request body file '", "/tmp/body/", "' (the disk is full).",
          " Windows NT error number 112 occurred."}},
        {"/tmp/body/BDY", "1", EIO, {bodyPage, "Windows NT error number 1117 occurred."},
         {"Error attempting to write the request body file '", "/tmp/body/", " Windows NT error number 1117 occurred."}},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.failedName) + " errno " + std::to_string(c.failure);
        g_failedName = c.failedName;
        g_failure = c.failure;
        g_calls = 0;
        if (*c.maxBodyMemory) SetValue("Server", "MaxBodyMemoryBytes", c.maxBodyMemory);
        const std::size_t logBefore = ReadLog().size();
        PipeReply reply;
        {
            plat::ScopedSystemCall write(plat::SystemCalls().write, &DiskFullWrite);
            plat::ScopedSystemCall pwrite(plat::SystemCalls().pwrite, &DiskFullPwrite);
            reply = PostUpload();
        }
        EXPECT_GE(g_calls.load(), 1) << label;
        const std::string text = reply.Text();
        EXPECT_EQ(text.rfind("Status: 500 Internal Server Error\n", 0), 0u) << text;
        for (const std::string& said : c.said) EXPECT_NE(text.find(said), std::string::npos) << said << "\n" << text;
        // The line written for this request, its pieces found in order and within it.
        const std::string added = ReadLog().substr(logBefore);
        std::size_t at = added.find(c.logged.front());
        ASSERT_NE(at, std::string::npos) << label << "\n" << added;
        const std::size_t lineEnd = added.find('\n', at);
        for (const std::string& piece : c.logged) {
            at = added.find(piece, at);
            EXPECT_LT(at, lineEnd) << label << ": " << piece << "\n" << added;
            if (at == std::string::npos) break;
            at += piece.size();
        }
        for (int i = 0; i < 200 && FilesIn("tmp") + FilesIn("tmp/body") > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(FilesIn("tmp") + FilesIn("tmp/body"), 0u) << label;
        EXPECT_TRUE(Served(SendRequest(path, Get("a=1"))));
    }
}

// An upload that cannot be removed is logged with its number; when the log's own folder is
// full too, the line goes to the fallback log in the Windows folder. The visitor's page is
// whole either way.
TEST_F(ListenerFaultsTest, AFailedRemovalIsLoggedAndAFullLogFallsBack) {
    StartListener(&unlimited);
    std::filesystem::create_directories(home() + "/windows");
    const std::string said = "Error number 1117 occurred while attempting to delete uploaded file";
    const std::string fallbackLog = home() + "/windows/SERVER.LOG";
    for (bool logFull : {false, true}) {
        // Where the line is to arrive: the log, or the fallback when the log's disk is full.
        auto arrived = [&] {
            const std::string text = tessaro::test::ReadFileText(logFull ? fallbackLog : home() + "/log/SERVER.LOG");
            return text.find(said) != std::string::npos;
        };
        const std::string logBefore = ReadLog();
        PipeReply reply;
        {
            g_failedName = "/log/";
            plat::ScopedSystemCall unlink(plat::SystemCalls().unlink, &FailingUnlink);
            std::optional<plat::ScopedSystemCall<decltype(plat::SystemCalls().write)>> fullLog;
            if (logFull) fullLog.emplace(plat::SystemCalls().write, &DiskFullWrite);
            reply = PostUpload();
            // The record removes its file once the request has ended, on the worker's thread.
            for (int i = 0; i < 500 && !arrived(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_NE(reply.Text().find("FILE:PHOTO="), std::string::npos) << reply.Text();
        EXPECT_TRUE(arrived()) << "log full: " << logFull;
        if (logFull) {
            EXPECT_EQ(ReadLog(), logBefore);  // nothing half written into the full log
        }
        for (const auto& entry : std::filesystem::directory_iterator(home() + "/tmp"))
            if (entry.is_regular_file()) std::filesystem::remove(entry.path());
        EXPECT_TRUE(Served(SendRequest(path, Get("a=1"))));
    }
}
