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
#include <memory>
#include <mutex>
#include <utility>
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

    // A job may own what it works on (a request): it is moved, never copied.
    class Job {
    public:
        Job() = default;
        template <class F>
        Job(F body) : m_body(std::make_unique<Body<F>>(std::move(body))) {}
        void operator()() { m_body->Run(); }
        explicit operator bool() const { return m_body != nullptr; }

    private:
        struct Base {
            virtual ~Base() = default;
            virtual void Run() = 0;
        };
        template <class F>
        struct Body : Base {
            explicit Body(F f) : body(std::move(f)) {}
            void Run() override { body(); }
            F body;
        };
        std::unique_ptr<Base> m_body;
    };

    // Makes a thread that runs body; throws, as std::thread does, when no thread can be made.
    using ThreadMaker = std::function<tessaro::platform::SizedThread(std::function<void()> body)>;

    // Threads of kRequestThreadStackBytes, or those makeThread makes.
    explicit CRequestThreadPool(ThreadMaker makeThread = {});
    // Lets the jobs still running finish, then ends and joins every thread.
    ~CRequestThreadPool();
    CRequestThreadPool(const CRequestThreadPool&) = delete;
    CRequestThreadPool& operator=(const CRequestThreadPool&) = delete;

    // Runs job on a pooled thread (of kRequestThreadStackBytes); it counts as running from
    // here until it and its captures are gone. Throws like std::thread when no thread can
    // be made; the job is gone then.
    void Run(Job job);

    // How many finished threads may wait for the next job (at least; never lowered).
    void Keep(std::size_t count);
    // Threads now waiting for a job.
    std::size_t Idle() const;
    // Jobs given to Run that have not ended.
    long Running() const;
    // True when every job has ended within timeoutMs.
    bool WaitForJobs(unsigned timeoutMs) const;

private:
    struct Thread {
        tessaro::platform::SizedThread thread;
        Job first;  // taken by the thread when it starts
    };
    using Threads = std::list<Thread>;
    void Serve(Threads::iterator self);
    // Joins the threads that have left (the caller holds the mutex).
    void JoinFinished();

    mutable std::mutex m_mutex;
    std::condition_variable m_jobReady;
    mutable std::condition_variable m_jobsEnded;
    ThreadMaker m_makeThread;
    std::deque<Job> m_jobs;  // never longer than idle: each has a waiting thread
    std::size_t m_idle = 0;
    std::size_t m_kept = kDefaultKept;
    long m_running = 0;
    bool m_closing = false;
    Threads m_threads;
    std::vector<Threads::iterator> m_finished;
};
