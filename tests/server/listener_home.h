// A dispatcher home with the echo page served by a listener on the engine's
// request socket, run on a thread of its own and stopped after each test.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "engine/server/echo_page.h"
#include "engine/server/pipe_listener.h"
#include "engine/server/request_limiter.h"
#include "engine/server/request_thread_pool.h"
#include "request_test_support.h"

class ListenerHome : public DispatcherHome {
protected:
    void SetUp() override {
        DispatcherHome::SetUp();
        RegisterEchoPage(dispatcher, true);
        path = home() + "/run/PIPE/Tessaro/StubToServer20";
    }
    void TearDown() override {
        StopListener();
        DispatcherHome::TearDown();
    }
    void StartListener(RequestLimiter* limiter, int readTimeoutMs = CPipeListener::kDefaultReadTimeoutMilliseconds,
                       int maxInstances = CPipeListener::kMaxInstances) {
        listener = std::make_unique<CPipeListener>(
            path, RequestRoad{dispatcher, limiter, threads}, listening,
            [this](const std::string& text, long) { fatal = text; }, maxInstances);
        listener->SetReadTimeout(readTimeoutMs);
        long error = 0;
        ASSERT_TRUE(listener->Open(&error)) << error;
        thread = std::thread([this] { listener->Run(); });
    }
    void StopListener() {
        if (!listener) return;
        listening = 0;
        listener->Stop();
        if (thread.joinable()) thread.join();
        // Workers still running hold the dispatcher; let them end first.
        for (int i = 0; i < 1000 && listener->GetOpenConnections() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        listener.reset();
    }

    std::atomic<int> listening{1};
    std::unique_ptr<CPipeListener> listener;
    std::thread thread;
    std::string path;
    std::string fatal;  // what the listener reported as fatal, if anything
    // Declared before the listener's end in TearDown: workers release them last.
    RequestLimiter unlimited{false, 0, 0};
    RequestLimiter one{true, 1, 1};
    // Threads the pool asks for that it is refused, as when the system has none to give.
    std::atomic<int> refuseThreads{0};
    // Ends first, once its jobs have: they use the limiters and the dispatcher.
    CRequestThreadPool threads{[this](std::function<void()> body) {
        for (int left = refuseThreads.load(); left > 0;)
            if (refuseThreads.compare_exchange_weak(left, left - 1))
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return tessaro::platform::SizedThread(std::move(body), kRequestThreadStackBytes);
    }};
};
