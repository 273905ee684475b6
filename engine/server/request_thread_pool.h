// Threads for request workers, kept after a request for the next one instead of being
// created and torn down each time. There is no queue and no bound: a job runs at once,
// on a waiting thread or on a new one, exactly as a thread of its own would; the request
// limiter alone decides how many requests work at the same time. The pool counts the
// jobs it runs, so that shutdown can wait for the workers still in flight.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <vector>

#include "platform/sized_thread.h"

// The stack of every request thread, whatever the process's limits say: the bounds on what
// a template may nest (sections, includes) leave the page an error, not the engine dead,
// only within a stack of this size.
constexpr std::size_t kRequestThreadStackBytes = 8u << 20;

class CRequestThreadPool {
public:
    // The engine's MaxRequests default: the threads a steadily loaded engine keeps busy.
    static constexpr std::size_t kDefaultKept = 15;

    CRequestThreadPool() = default;
    // Lets the jobs still running finish, then ends and joins every thread.
    ~CRequestThreadPool();
    CRequestThreadPool(const CRequestThreadPool&) = delete;
    CRequestThreadPool& operator=(const CRequestThreadPool&) = delete;

    // Runs job on a pooled thread (of kRequestThreadStackBytes); it counts as running from
    // here until it and its captures are gone. Throws like std::thread when no thread can
    // be made.
    void Run(std::function<void()> job);

    // How many finished threads may wait for the next job (at least; never lowered).
    void Keep(std::size_t count);
    // Threads now waiting for a job.
    std::size_t Idle() const;
    // Jobs given to Run that have not ended.
    long Running() const;
    // True when every job has ended within timeoutMs.
    bool WaitForJobs(unsigned timeoutMs) const;

private:
    using Threads = std::list<tessaro::platform::SizedThread>;
    void Serve(std::function<void()> job, Threads::iterator self);
    // Joins the threads that have left (the caller holds the mutex).
    void JoinFinished();

    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    mutable std::condition_variable m_jobsEnded;
    std::deque<std::function<void()>> m_jobs;  // never longer than idle: each has a waiting thread
    std::size_t m_idle = 0;
    std::size_t m_kept = kDefaultKept;
    long m_running = 0;
    bool m_closing = false;
    Threads m_threads;
    std::vector<Threads::iterator> m_finished;
};
