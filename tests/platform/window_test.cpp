#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "platform/window.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class WindowTest : public TempHomeTest {
protected:
    // A window on its own thread; its procedure records messages.
    void Open(const std::string& cls, const std::string& title) {
        std::atomic<bool> ready{false};
        thread = std::thread([&, cls, title] {
            window = Window::Create(cls, title, [this](Window& w, WindowMessage& m) -> std::int64_t {
                seen.push_back(m.msg);
                if (m.msg == WM_DESTROY) w.PostQuitMessage();
                if (m.msg == WM_USER + 1) return static_cast<std::int64_t>(m.wParam + m.lParam);
                if (m.msg == WM_COPYDATA) {
                    copied = m.data;
                    sender = m.senderPid;
                    data = m.dwData;
                    if (m.fd >= 0) {
                        char b = 'k';
                        EXPECT_EQ(::write(m.fd, &b, 1), 1);
                    }
                    return 7;
                }
                if (m.msg == WM_TIMER && ++ticks == 2) w.PostQuitMessage();
                return 0;
            });
            ready = true;
            if (window) window->RunMessageLoop();
        });
        while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (thread.joinable()) {
            if (window) window->PostQuitMessage();
            thread.join();
        }
        window.reset();
        TempHomeTest::TearDown();
    }
    std::unique_ptr<Window> window;
    std::thread thread;
    std::vector<std::uint32_t> seen;
    std::string copied;
    pid_t sender = 0;
    std::uint64_t data = 0;
    std::atomic<int> ticks{0};
};

}  // namespace

TEST_F(WindowTest, FoundByClassOrTitleAndAnswersSendMessage) {
    Open("TestClass", "Test Title");
    std::string byClass = FindWindow("TestClass", "");
    ASSERT_FALSE(byClass.empty());
    EXPECT_FALSE(FindWindow("", "Test Title").empty());
    EXPECT_FALSE(FindWindow("TestClass", "Test Title").empty());
    EXPECT_TRUE(FindWindow("Other", "").empty());
    EXPECT_TRUE(FindWindow("", "Other").empty());
    bool ok = false;
    EXPECT_EQ(SendMessage(byClass, WM_USER + 1, 40, 2, &ok), 42);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(PostMessage(byClass, WM_CLOSE, 0, 0));
    thread.join();
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), WM_CREATE);
    EXPECT_EQ(seen.back(), WM_DESTROY);
    window.reset();
    EXPECT_TRUE(FindWindow("TestClass", "").empty());
    SendMessage(byClass, WM_USER + 1, 1, 1, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(WindowTest, SecondWindowOfALiveClassIsRefused) {
    Open("Only", "");
    long error = 0;
    EXPECT_EQ(Window::Create("Only", "", nullptr, &error), nullptr);
    EXPECT_EQ(error, 183);
}

TEST_F(WindowTest, CopyDataCarriesBlockSenderAndDescriptor) {
    Open("Copy", "");
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    std::string block("head\0body", 9);
    bool ok = false;
    EXPECT_EQ(SendCopyData(FindWindow("Copy", ""), 0, 1234, block, p[1], &ok), 7);
    EXPECT_TRUE(ok);
    ::close(p[1]);
    char b = 0;
    EXPECT_EQ(::read(p[0], &b, 1), 1);
    EXPECT_EQ(b, 'k');
    EXPECT_EQ(::read(p[0], &b, 1), 0);  // the window closed its copy
    ::close(p[0]);
    EXPECT_EQ(copied, block);
    EXPECT_EQ(sender, ::getpid());
    EXPECT_EQ(data, 1234u);
}

TEST_F(WindowTest, TimerAndPostedMessagesRunOnTheLoop) {
    std::atomic<bool> ready{false};
    thread = std::thread([&] {
        window = Window::Create("Timed", "", [this](Window& w, WindowMessage& m) -> std::int64_t {
            seen.push_back(m.msg);
            if (m.msg == WM_CREATE) w.SetTimer(14, 20);
            if (m.msg == WM_TIMER && m.wParam == 14 && ++ticks == 2) w.PostQuitMessage();
            return 0;
        });
        ready = true;
        window->RunMessageLoop();
    });
    while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    window->PostMessage(WM_USER + 150);
    thread.join();
    EXPECT_EQ(ticks.load(), 2);
    EXPECT_NE(std::find(seen.begin(), seen.end(), WM_USER + 150), seen.end());
}

TEST_F(WindowTest, LongWorkInAProcedurePumpsWhatIsReadyAndSeesTheQuit) {
    // A procedure that works long (a mail pass in WM_CREATE) serves the window's other
    // messages between its steps, and learns there that the loop is to end.
    std::atomic<bool> ready{false};
    std::atomic<bool> created{false};
    std::atomic<bool> go{false};
    std::vector<std::uint32_t> duringWork;
    int steps = 0;
    thread = std::thread([&] {
        window = Window::Create("Pumped", "", [&](Window& w, WindowMessage& m) -> std::int64_t {
            if (m.msg != WM_CREATE) {
                duringWork.push_back(m.msg);
                if (m.msg == WM_USER + 2) w.PostQuitMessage();
                return m.msg == WM_USER + 1 ? 5 : 0;
            }
            created = true;
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (steps = 1; steps < 1000 && w.PumpPendingMessages(); ++steps)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return 0;
        });
        ready = true;
        window->RunMessageLoop();
    });
    while (!ready || !created) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::string endpoint = FindWindow("Pumped", "");
    ASSERT_FALSE(endpoint.empty());
    window->PostMessage(WM_USER + 3);
    go = true;
    bool ok = false;
    EXPECT_EQ(SendMessage(endpoint, WM_USER + 1, 0, 0, &ok), 5);
    EXPECT_TRUE(ok);
    window->PostMessage(WM_USER + 2);
    thread.join();
    EXPECT_LT(steps, 1000) << "the quit ended the work";
    EXPECT_EQ(duringWork, (std::vector<std::uint32_t>{WM_USER + 3, WM_USER + 1, WM_USER + 2}));
}
