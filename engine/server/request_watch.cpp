#include "engine/server/request_watch.h"

#include <chrono>

CRequestWatch::CRequestWatch(int periodMs) : m_periodMs(periodMs > 0 ? periodMs : kDefaultPeriodMs) {}

CRequestWatch::~CRequestWatch() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CRequestWatch::StopAll(RequestStop why) {
    std::lock_guard lock(m_mutex);
    m_stopAll = why;
    for (CRequestBudget* budget : m_budgets) budget->Stop(why);
}

void CRequestWatch::Run() {
    std::unique_lock lock(m_mutex);
    while (!m_closing) {
        m_wake.wait_for(lock, std::chrono::milliseconds(m_periodMs));
        if (m_closing) break;
        // Under the lock: a budget stays watched, and so alive, while it is looked at.
        for (CRequestBudget* budget : m_budgets) budget->Watch();
    }
}

CRequestWatch::Watched::Watched(CRequestWatch* watch, CRequestBudget& budget) : m_watch(watch), m_budget(budget) {
    if (m_watch == nullptr) return;
    std::lock_guard lock(m_watch->m_mutex);
    // Started by the first request, on a request thread: it takes that thread's signal mask,
    // not that of whoever made the engine.
    if (!m_watch->m_thread.joinable() && !m_watch->m_closing) m_watch->m_thread = std::thread([w = m_watch] { w->Run(); });
    m_watch->m_budgets.insert(&m_budget);
    if (m_watch->m_stopAll != RequestStop::None) m_budget.Stop(m_watch->m_stopAll);
}

CRequestWatch::Watched::~Watched() {
    if (m_watch == nullptr) return;
    std::lock_guard lock(m_watch->m_mutex);
    m_watch->m_budgets.erase(&m_budget);
}
