#include "engine/server/request_thread_pool.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/sized_thread.h"

namespace {

// The engine's MaxRequests default: the threads a steadily loaded engine keeps busy.
constexpr std::size_t kDefaultKept = 15;

struct Pool {
    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<std::function<void()>> jobs;  // never longer than idle: each has a waiting thread
    std::size_t idle = 0;
    std::size_t kept = kDefaultKept;
};

Pool& ThePool() {
    static Pool* pool = new Pool;  // never destroyed: waiting threads outlive static destruction
    return *pool;
}

void WaitForJobs(Pool& pool) {
    std::unique_lock lock(pool.mutex);
    while (pool.idle < pool.kept) {
        ++pool.idle;
        pool.jobReady.wait(lock, [&] { return !pool.jobs.empty(); });
        --pool.idle;
        std::function<void()> job = std::move(pool.jobs.front());
        pool.jobs.pop_front();
        lock.unlock();
        job();
        job = nullptr;  // the job's captures go before the thread waits again
        lock.lock();
    }
}

}  // namespace

void RunOnRequestThread(std::function<void()> job) {
    Pool& pool = ThePool();
    {
        std::lock_guard lock(pool.mutex);
        if (pool.idle > pool.jobs.size()) {
            pool.jobs.push_back(std::move(job));
            pool.jobReady.notify_one();
            return;
        }
    }
    tessaro::platform::StartDetachedThread(
        [job = std::move(job)]() mutable {
            job();
            job = nullptr;
            WaitForJobs(ThePool());
        },
        kRequestThreadStackBytes);
}

void KeepRequestThreads(std::size_t count) {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    if (count > pool.kept) pool.kept = count;
}

std::size_t IdleRequestThreads() {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    return pool.idle;
}
