#include "engine/server/request_thread_pool.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

CRequestThreadPool::CRequestThreadPool(ThreadMaker makeThread) : m_makeThread(std::move(makeThread)) {
    if (!m_makeThread)
        m_makeThread = [](std::function<void()> body) {
            return tessaro::platform::SizedThread(std::move(body), kRequestThreadStackBytes);
        };
}

CRequestThreadPool::~CRequestThreadPool() {
    Threads threads;
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        for (Waiting* waiting : m_waiting) waiting->ready.release();
        m_waiting.clear();
        threads.splice(threads.end(), m_threads);
        m_finished.clear();
    }
    for (Thread& thread : threads) thread.thread.Join();
}

void CRequestThreadPool::JoinFinished() {
    // A thread that has left touches the pool no more; its end is a moment away.
    for (Threads::iterator thread : m_finished) {
        thread->thread.Join();
        m_threads.erase(thread);
    }
    m_finished.clear();
}

void CRequestThreadPool::Serve(Threads::iterator self) {
    std::unique_lock lock(m_mutex);
    Job job = std::move(self->first);
    for (;;) {
        lock.unlock();
        job();
        job = Job();  // the job's captures go before it counts as ended
        lock.lock();
        if (--m_running == 0) m_jobsEnded.notify_all();
        job = NextJob(lock);
        if (!job) break;
    }
    m_finished.push_back(self);
}

CRequestThreadPool::Job CRequestThreadPool::NextJob(std::unique_lock<std::mutex>& lock) {
    if (m_closing || m_waiting.size() >= m_kept) return Job();
    Waiting waiting;
    m_waiting.push_back(&waiting);
    lock.unlock();
    // The next request usually comes within a round trip of the last reply: a thread that
    // stays awake that long takes it without being woken (a wake-up of a sleeping thread is
    // a good part of a short page's time). Other threads that can run go first meanwhile.
    // The probe is asked at least once after every job, however busy the machine is.
    const auto awakeUntil = std::chrono::steady_clock::now() + kAwakeAfterJob;
    bool taken = false;
    for (;;) {
        if (Job own = Probe()) {
            lock.lock();
            auto self = std::find(m_waiting.begin(), m_waiting.end(), &waiting);
            if (self != m_waiting.end()) {
                m_waiting.erase(self);
                ++m_running;
                return own;
            }
            // Run gave this thread a job meanwhile: that one is its own, the probe's goes
            // to another thread as any job does.
            lock.unlock();
            waiting.ready.acquire();
            try {
                Run(std::move(own));
            } catch (...) {
                // No thread for it: it has ended, as Run's refused jobs do.
            }
            lock.lock();
            return std::move(waiting.job);  // none when the pool closes
        }
        taken = waiting.ready.try_acquire();
        if (taken || std::chrono::steady_clock::now() >= awakeUntil) break;
        std::this_thread::yield();
    }
    if (!taken) waiting.ready.acquire();
    lock.lock();
    return std::move(waiting.job);
}

CRequestThreadPool::Job CRequestThreadPool::Probe() {
    std::unique_lock asking(m_probeMutex, std::try_to_lock);
    if (!asking || !m_probe) return Job();
    try {
        return m_probe();
    } catch (...) {
        // What it had made has ended with it; the thread waits as before.
        return Job();
    }
}

void CRequestThreadPool::SetIdleProbe(IdleProbe probe) {
    std::lock_guard asking(m_probeMutex);
    m_probe = std::move(probe);
}

void CRequestThreadPool::ClearIdleProbe() {
    std::lock_guard asking(m_probeMutex);
    m_probe = nullptr;
}

void CRequestThreadPool::Run(Job job) {
    std::unique_lock lock(m_mutex);
    if (m_closing) {
        // No thread starts once the threads are being joined: the job ends, outside the lock.
        lock.unlock();
        return;
    }
    JoinFinished();
    ++m_running;
    if (!m_waiting.empty()) {
        Waiting* waiting = m_waiting.back();
        m_waiting.pop_back();
        waiting->job = std::move(job);
        // Woken after the lock is free, so that it does not wake only to wait for it.
        lock.unlock();
        waiting->ready.release();
        return;
    }
    // The thread finds its own place in the list, and its first job, once the lock is released.
    Threads::iterator self = m_threads.emplace(m_threads.end());
    self->first = std::move(job);
    try {
        self->thread = m_makeThread([this, self] { Serve(self); });
    } catch (...) {
        // The job ends (a request's socket and context) outside the pool's lock, and counts
        // until it has.
        Job refused = std::move(self->first);
        m_threads.erase(self);
        lock.unlock();
        refused = Job();
        lock.lock();
        if (--m_running == 0) m_jobsEnded.notify_all();
        throw;
    }
}

void CRequestThreadPool::Keep(std::size_t count) {
    std::lock_guard lock(m_mutex);
    if (count > m_kept) m_kept = count;
}

std::size_t CRequestThreadPool::Idle() const {
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

long CRequestThreadPool::Running() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

bool CRequestThreadPool::WaitForJobs(unsigned timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_jobsEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_running == 0; });
}
