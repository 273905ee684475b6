// The engine's look at every request in work, on a thread of its own: a request whose time
// is spent, or whose gateway has gone, is stopped even while its work cannot look at the
// clock (a statement that runs for minutes), and at shutdown every request is stopped at once.
#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "engine/server/request_budget.h"

class CRequestWatch {
public:
    static constexpr int kDefaultPeriodMs = 50;

    // The thread starts with the first budget watched.
    explicit CRequestWatch(int periodMs = kDefaultPeriodMs);
    // Ends and joins the thread.
    ~CRequestWatch();
    CRequestWatch(const CRequestWatch&) = delete;
    CRequestWatch& operator=(const CRequestWatch&) = delete;

    // Stops every budget being watched, and every one added from now on, with why.
    void StopAll(RequestStop why);

    // A budget watched while the object lives (no watch: nothing happens). The budget must
    // outlive it.
    class Watched {
    public:
        Watched(CRequestWatch* watch, CRequestBudget& budget);
        ~Watched();
        Watched(const Watched&) = delete;
        Watched& operator=(const Watched&) = delete;

    private:
        CRequestWatch* m_watch;
        CRequestBudget& m_budget;
    };

private:
    void Run();

    const int m_periodMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::set<CRequestBudget*> m_budgets;
    RequestStop m_stopAll = RequestStop::None;
    bool m_closing = false;
    std::thread m_thread;
};
