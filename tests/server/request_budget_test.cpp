#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "engine/server/request_budget.h"
#include "engine/server/request_watch.h"
#include "tests/common/web_error_capture.h"

namespace {

using namespace std::chrono_literals;

// A call that blocks until cancelled, as a statement waits in its driver; it counts the
// cancels it gets.
class BlockingCall {
public:
    void Run() {
        std::unique_lock lock(m_mutex);
        m_running = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_cancels > 0; });
    }
    void Cancel() {
        std::lock_guard lock(m_mutex);
        ++m_cancels;
        m_changed.notify_all();
    }
    void WaitUntilRunning() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_running; });
    }
    int Cancels() {
        std::lock_guard lock(m_mutex);
        return m_cancels;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_running = false;
    int m_cancels = 0;
};

TEST(RequestBudgetTest, EachStopEndsThePageWithItsReason) {
    struct Case {
        RequestStop why;
        const char* title;
        const char* detail;
        int status;
    } const cases[] = {
        {RequestStop::TimedOut, "Request timed out", "exceeded the allowable limit of 7 seconds", 500},
        {RequestStop::Abandoned, "Request abandoned", "The connection to the web server closed", 500},
        {RequestStop::ShuttingDown, "Server shutting down", "The server was stopped while it worked", 503},
    };
    for (const Case& c : cases) {
        CRequestBudget budget;
        budget.StartClock(7);
        EXPECT_EQ(WebErrorOf([&] { budget.Check(); }).message, "");
        budget.Stop(c.why);
        // The first reason stays.
        budget.Stop(RequestStop::TimedOut);
        EXPECT_EQ(budget.StoppedBy(), c.why);
        Thrown thrown = WebErrorOf([&] { budget.Check(); });
        EXPECT_EQ(thrown.message, std::string(c.title) + "<P>") << c.title;
        EXPECT_NE(thrown.detail.find(c.detail), std::string::npos) << thrown.detail;
        CWebException* error = budget.StopError();
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->GetHttpStatus(), c.status) << c.title;
        error->Delete();
    }
    CRequestBudget fresh;
    EXPECT_EQ(fresh.StopError(), nullptr);
}

TEST(RequestBudgetTest, TheDeadlineAndAGoneReceiverStopTheBudgetAtTheRequestsOwnLook) {
    CRequestBudget unlimited;
    unlimited.StartClock(0);
    EXPECT_EQ(unlimited.TimeLimitSeconds(), 0);
    unlimited.Watch();
    EXPECT_EQ(unlimited.StoppedBy(), RequestStop::None);

    CRequestBudget timed;
    timed.StartClock(1);
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(WebErrorOf([&] { timed.Check(); }).message, "Request timed out<P>");

    std::atomic<bool> gone{false};
    CRequestBudget watched;
    watched.SetReceiverProbe([&gone] { return gone.load(); });
    watched.StartClock(60);
    watched.Check();
    gone = true;
    // Looked at again only after a moment; the watch looks at every beat.
    std::this_thread::sleep_for(120ms);
    EXPECT_EQ(WebErrorOf([&] { watched.Check(); }).message, "Request abandoned<P>");
}

TEST(RequestBudgetTest, AStopCancelsTheCallInFlightOnceItHasRunAMoment) {
    // Stopped while the call is older than the grace: cancelled by the stop itself.
    {
        CRequestBudget budget;
        BlockingCall call;
        std::thread request([&] {
            CRequestBudget::CancelScope scope(budget, [&call] { call.Cancel(); });
            call.Run();
        });
        call.WaitUntilRunning();
        std::this_thread::sleep_for(std::chrono::milliseconds(CRequestBudget::kCancelAfterMs + 50));
        budget.Stop(RequestStop::TimedOut);
        request.join();
        EXPECT_EQ(call.Cancels(), 1);
        budget.Watch();
        EXPECT_EQ(call.Cancels(), 1);
    }
    // Stopped while the call is young: the next look of the watch cancels it.
    {
        CRequestBudget budget;
        BlockingCall call;
        std::thread request([&] {
            CRequestBudget::CancelScope scope(budget, [&call] { call.Cancel(); });
            call.Run();
        });
        call.WaitUntilRunning();
        budget.Stop(RequestStop::Abandoned);
        EXPECT_EQ(call.Cancels(), 0);
        while (call.Cancels() == 0) {
            budget.Watch();
            std::this_thread::sleep_for(10ms);
        }
        request.join();
        EXPECT_EQ(call.Cancels(), 1);
    }
    // No call in flight: nothing to cancel.
    CRequestBudget idle;
    int cancels = 0;
    { CRequestBudget::CancelScope scope(idle, [&cancels] { ++cancels; }); }
    idle.Stop(RequestStop::ShuttingDown);
    idle.Watch();
    EXPECT_EQ(cancels, 0);
}

TEST(RequestBudgetTest, ResultBytesAreCountedAgainstTheLimit) {
    CRequestBudget budget;
    EXPECT_EQ(budget.ResultByteLimit(), CRequestBudget::kDefaultMaxResultBytes);
    budget.SetResultByteLimit(1000);
    budget.DrawResultBytes(600);
    budget.DrawResultBytes(400);
    EXPECT_EQ(budget.ResultBytes(), 1000u);
    Thrown thrown = WebErrorOf([&] { budget.DrawResultBytes(1); });
    EXPECT_EQ(thrown.message, "Query results too large<P>");
    EXPECT_NE(thrown.detail.find("more than 1000 bytes"), std::string::npos) << thrown.detail;
    EXPECT_NE(thrown.detail.find("Server\\MaxQueryResultBytes"), std::string::npos);
    EXPECT_EQ(budget.ResultBytes(), 1000u);
    EXPECT_EQ(WebErrorOf([&] { budget.DrawResultBytes(static_cast<std::size_t>(-1)); }).message,
              "Query results too large<P>");
    budget.ReturnResultBytes(700);
    budget.DrawResultBytes(700);
    budget.ReturnResultBytes(5000);
    EXPECT_EQ(budget.ResultBytes(), 0u);
    budget.SetResultByteLimit(0);
    EXPECT_EQ(budget.ResultByteLimit(), CRequestBudget::kDefaultMaxResultBytes);
}

TEST(RequestBudgetTest, HeaderBlocksWithinTheBoundsPassAndLongerOnesAreNamed) {
    auto line = [](const std::string& name, std::size_t length) {
        return name + ": " + std::string(length - name.size() - 2, 'x') + "\n";
    };
    struct Case {
        const char* what;
        std::string header;
        const char* named;  // null: it fits
    } const cases[] = {
        {"empty", "", nullptr},
        {"a line of 8000", line("Content-type", 8000), nullptr},
        {"32000 in all", line("A", 8000) + line("B", 8000) + line("C", 8000) + line("D", 7996), nullptr},
        {"a line of 8001", "Status: 200\n" + line("Location", 8001), "the header Location has 8001 bytes."},
        {"32001 in all", line("A", 8000) + line("B", 8000) + line("C", 8000) + line("D", 7997),
         "they have 32001 bytes."},
        {"a long line without a name", std::string(9000, 'y') + "\n", "one header has 9000 bytes."},
        {"a name that is markup", line("<b>X", 9000), "the header &lt;b&gt;X has 9000 bytes."},
    };
    for (const Case& c : cases) {
        const std::string html = CRequestBudget::HeaderOverrun(c.header).Html();
        if (c.named == nullptr) {
            EXPECT_EQ(html, "") << c.what;
            continue;
        }
        EXPECT_NE(html.find("at most 8000 bytes in one header and 32000 bytes in all"), std::string::npos) << c.what;
        EXPECT_NE(html.find(c.named), std::string::npos) << c.what << ": " << html;
    }
}

TEST(RequestWatchTest, TheWatchStopsABudgetPastItsDeadlineAndCancelsItsCall) {
    CRequestWatch watch(10);
    CRequestBudget budget;
    budget.StartClock(1);
    BlockingCall call;
    const auto start = std::chrono::steady_clock::now();
    {
        CRequestWatch::Watched watched(&watch, budget);
        CRequestBudget::CancelScope scope(budget, [&call] { call.Cancel(); });
        call.Run();
    }
    EXPECT_EQ(budget.StoppedBy(), RequestStop::TimedOut);
    EXPECT_EQ(call.Cancels(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(RequestWatchTest, ShutdownStopsEveryBudgetWatchedAndEveryOneAddedLater) {
    CRequestWatch watch;
    CRequestBudget before, after, unwatched;
    {
        CRequestWatch::Watched first(&watch, before);
        watch.StopAll(RequestStop::ShuttingDown);
        EXPECT_EQ(before.StoppedBy(), RequestStop::ShuttingDown);
        CRequestWatch::Watched second(&watch, after);
        EXPECT_EQ(after.StoppedBy(), RequestStop::ShuttingDown);
    }
    EXPECT_EQ(unwatched.StoppedBy(), RequestStop::None);
    // Without a watch nothing happens.
    CRequestWatch::Watched none(nullptr, unwatched);
    EXPECT_EQ(unwatched.StoppedBy(), RequestStop::None);
}

}  // namespace
