// Threads for request workers, kept after a request for the next one instead of being
// created and torn down each time. There is no queue and no bound: a job runs at once,
// on a waiting thread or on a new one, exactly as a thread of its own would; the request
// limiter alone decides how many requests work at the same time. The pool counts the
// jobs it runs, so that shutdown can wait for the workers still in flight.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <semaphore>
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
    // How long a thread that has finished a job stays awake for the next one.
    static constexpr std::chrono::microseconds kAwakeAfterJob{500};

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
    // be made; the job is gone then. Given while the pool closes, it ends at once.
    void Run(Job job);

    // What a thread that has just finished a job asks, while it stays awake, for a job of its
    // own making (a connection that has arrived, say): the job runs on that thread, with no
    // hand-off to another. One thread asks at a time; none: no job. ClearIdleProbe returns
    // once no thread is asking any more, so that what the probe uses may go after it.
    using IdleProbe = std::function<Job()>;
    void SetIdleProbe(IdleProbe probe);
    void ClearIdleProbe();

    // How many finished threads may wait for the next job (at least; never lowered).
    void Keep(std::size_t count);
    // Threads now waiting for a job.
    std::size_t Idle() const;
    // Jobs given to Run that have not ended.
    long Running() const;
    // True when every job has ended within timeoutMs.
    bool WaitForJobs(unsigned timeoutMs) const;

private:
    // A thread between jobs: Run gives it the next job and wakes it alone, so the job goes
    // straight to one thread that does not then wait for the pool's lock.
    struct Waiting {
        Job job;  // none when the pool closes
        std::binary_semaphore ready{0};
    };
    struct Thread {
        tessaro::platform::SizedThread thread;
        Job first;  // taken by the thread when it starts
    };
    using Threads = std::list<Thread>;
    void Serve(Threads::iterator self);
    // The next job of a thread that has finished one; none: the thread leaves.
    Job NextJob(std::unique_lock<std::mutex>& lock);
    // Joins the threads that have left (the caller holds the mutex).
    void JoinFinished();
    // The idle probe's job, when no other thread is asking it now; none otherwise.
    Job Probe();

    // Held while the probe runs: the threads that find it taken go on waiting as before.
    std::mutex m_probeMutex;
    IdleProbe m_probe;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_jobsEnded;
    ThreadMaker m_makeThread;
    // The last to finish is the first to get work: its stack and its per-thread caches are
    // still warm, and the threads kept beyond the load stay asleep.
    std::vector<Waiting*> m_waiting;
    std::size_t m_kept = kDefaultKept;
    long m_running = 0;
    bool m_closing = false;
    Threads m_threads;
    std::vector<Threads::iterator> m_finished;
};
