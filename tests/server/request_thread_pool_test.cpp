// Request threads are kept for the next request, yet a request never waits for one: jobs
// that block each other must all run at once, however few threads are waiting.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/server/request_thread_pool.h"

namespace {

using namespace std::chrono_literals;

// Waits (bounded) until pred holds.
template <class Pred>
bool Eventually(Pred pred) {
    for (int i = 0; i < 500 && !pred(); ++i) std::this_thread::sleep_for(10ms);
    return pred();
}

TEST(RequestThreadPoolTest, JobsThatWaitForEachOtherAllRunAtOnce) {
    // Each job waits until all have started: a queue behind busy threads would never end.
    constexpr int kJobs = 40;  // more than the threads kept
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0, finished = 0;
    CRequestThreadPool pool;  // its threads end before what they use goes
    for (int i = 0; i < kJobs; ++i) {
        pool.Run([&] {
            std::unique_lock lock(mutex);
            ++started;
            changed.notify_all();
            changed.wait_for(lock, 30s, [&] { return started == kJobs; });
            ++finished;
            changed.notify_all();
        });
    }
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 30s, [&] { return finished == kJobs; }));
}

TEST(RequestThreadPoolTest, FinishedThreadsServeTheNextJobsUpToTheKeptNumber) {
    constexpr int kKept = 20, kFirst = 24;  // above the number kept by default
    std::mutex mutex;
    std::set<std::thread::id> first, second;
    std::atomic<int> done{0};
    std::condition_variable allStarted;
    int started = 0;
    CRequestThreadPool pool;  // its threads end before what they use goes
    pool.Keep(kKept);
    // More at once than are kept: the surplus threads end afterwards.
    for (int i = 0; i < kFirst; ++i) {
        pool.Run([&] {
            std::unique_lock lock(mutex);
            first.insert(std::this_thread::get_id());
            ++started;
            allStarted.notify_all();
            allStarted.wait_for(lock, 30s, [&] { return started == kFirst; });
            ++done;
        });
    }
    ASSERT_TRUE(Eventually([&] { return done == kFirst && pool.Idle() == kKept; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(pool.Idle(), static_cast<std::size_t>(kKept));  // the others have ended
    for (int i = 0; i < kKept; ++i) {
        pool.Run([&] {
            std::lock_guard lock(mutex);
            second.insert(std::this_thread::get_id());
            ++done;
        });
        ASSERT_TRUE(Eventually([&] { return done == kFirst + 1 + i && pool.Idle() == kKept; }));
    }
    std::lock_guard lock(mutex);
    for (std::thread::id id : second) EXPECT_TRUE(first.count(id)) << "a job ran on a new thread";
}

// One request after another keeps to one thread, whose per-thread parsers and caches are warm,
// however many others wait: the next job goes to the thread that finished last.
TEST(RequestThreadPoolTest, JobsOneAfterAnotherRunOnTheThreadThatFinishedLast) {
    constexpr int kThreads = 6, kSequential = 30;
    std::mutex mutex;
    std::condition_variable allStarted;
    int started = 0;
    std::atomic<int> done{0};
    std::vector<std::thread::id> ran;
    CRequestThreadPool pool;  // its threads end before what they use goes
    for (int i = 0; i < kThreads; ++i) {
        pool.Run([&] {
            std::unique_lock lock(mutex);
            ++started;
            allStarted.notify_all();
            allStarted.wait_for(lock, 30s, [&] { return started == kThreads; });
            ++done;
        });
    }
    ASSERT_TRUE(Eventually([&] { return done == kThreads && pool.Idle() == kThreads; }));
    for (int i = 0; i < kSequential; ++i) {
        pool.Run([&] {
            std::lock_guard lock(mutex);
            ran.push_back(std::this_thread::get_id());
            ++done;
        });
        ASSERT_TRUE(Eventually([&] { return done == kThreads + 1 + i && pool.Idle() == kThreads; }));
    }
    std::lock_guard lock(mutex);
    for (std::thread::id id : ran) EXPECT_EQ(id, ran.front()) << "a job went to a thread that had waited longer";
}

// Shutdown waits for the workers through the pool: a job counts until it and what it
// captured are gone, and the pool's end waits for the jobs still running.
TEST(RequestThreadPoolTest, JobsCountUntilTheirCapturesAreGoneAndTheEndWaitsForThem) {
    std::atomic<bool> release{false};
    std::atomic<int> capturesAlive{0};
    struct Capture {
        std::atomic<int>* alive;
        explicit Capture(std::atomic<int>* a) : alive(a) { ++*alive; }
        Capture(const Capture& other) : alive(other.alive) { ++*alive; }
        ~Capture() { --*alive; }
    };
    auto pool = std::make_unique<CRequestThreadPool>();
    EXPECT_TRUE(pool->WaitForJobs(0));
    pool->Run([&release, capture = Capture(&capturesAlive)] {
        while (!release) std::this_thread::sleep_for(1ms);
    });
    EXPECT_EQ(pool->Running(), 1);
    EXPECT_FALSE(pool->WaitForJobs(20));
    release = true;
    ASSERT_TRUE(pool->WaitForJobs(10000));
    EXPECT_EQ(capturesAlive, 0);
    EXPECT_EQ(pool->Running(), 0);

    std::atomic<bool> ended{false};
    pool->Run([&ended] {
        std::this_thread::sleep_for(50ms);
        ended = true;
    });
    pool.reset();
    EXPECT_TRUE(ended);
}

TEST(RequestThreadPoolTest, EveryRequestThreadHasTheStackItsNestingBoundsAssume) {
    // Three at once, so that kept threads and new ones are both asked.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::size_t> sizes;
    CRequestThreadPool pool;  // its threads end before what they use goes
    for (int i = 0; i < 3; ++i) {
        pool.Run([&] {
            pthread_attr_t attributes;
            std::size_t size = 0;
            if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
                pthread_attr_getstacksize(&attributes, &size);
                pthread_attr_destroy(&attributes);
            }
            std::lock_guard lock(mutex);
            sizes.push_back(size);
            changed.notify_all();
        });
    }
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 30s, [&] { return sizes.size() == 3; }));
    for (std::size_t size : sizes) EXPECT_GE(size, kRequestThreadStackBytes);
}

// A job may own what it works on; one the pool cannot start is gone when Run throws, and
// counts no more, so that shutdown does not wait for it.
TEST(RequestThreadPoolTest, JobWithoutAThreadIsGoneWhenRunThrows) {
    struct Owned {
        std::atomic<int>* alive;
        explicit Owned(std::atomic<int>* a) : alive(a) { ++*alive; }
        ~Owned() { --*alive; }
    };
    std::atomic<int> alive{0};
    std::atomic<bool> refuse{true};
    CRequestThreadPool pool([&refuse](std::function<void()> body) {
        if (refuse) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return tessaro::platform::SizedThread(std::move(body), kRequestThreadStackBytes);
    });
    std::atomic<int> ran{0};
    auto job = [&] {
        return [owned = std::make_unique<Owned>(&alive), &ran] { ++ran; };
    };
    EXPECT_THROW(pool.Run(job()), std::system_error);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(pool.Running(), 0);
    EXPECT_TRUE(pool.WaitForJobs(0));

    refuse = false;
    pool.Run(job());
    ASSERT_TRUE(pool.WaitForJobs(10000));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(alive, 0);
}

// A thread that has just finished asks the idle probe for a job of its own (an arrived
// connection) at least once: that job runs on the asking thread and counts like any other. A
// probe that throws leaves the thread waiting as before.
TEST(RequestThreadPoolTest, AFinishedThreadRunsWhatItsIdleProbeGivesIt) {
    CRequestThreadPool pool;  // its threads end before what they use goes
    std::mutex mutex;
    std::set<std::thread::id> finishedJobs;  // the threads that have run a job
    auto job = [&] {
        std::lock_guard lock(mutex);
        finishedJobs.insert(std::this_thread::get_id());
    };
    pool.SetIdleProbe([]() -> CRequestThreadPool::Job { throw std::runtime_error("no connection could be made"); });
    pool.Run(job);
    ASSERT_TRUE(Eventually([&] { return pool.Idle() == 1; }));
    pool.Run(job);
    ASSERT_TRUE(pool.WaitForJobs(10000));
    EXPECT_EQ(finishedJobs.size(), 1u);
    pool.ClearIdleProbe();

    // One job, and the probe set before it: no other job can reach the thread meanwhile.
    CRequestThreadPool probing;  // its threads end before what they use goes
    std::atomic<std::thread::id> probed{};
    std::atomic<bool> given{false}, release{false};
    probing.SetIdleProbe([&]() -> CRequestThreadPool::Job {
        if (given.exchange(true)) return {};
        return [&] {
            probed = std::this_thread::get_id();
            while (!release) std::this_thread::sleep_for(1ms);
        };
    });
    finishedJobs.clear();
    probing.Run(job);
    ASSERT_TRUE(Eventually([&] { return probed.load() != std::thread::id(); }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(finishedJobs, std::set<std::thread::id>{probed.load()}) << "the probe's job ran on a thread of its own";
    }
    EXPECT_EQ(probing.Running(), 1);
    EXPECT_FALSE(probing.WaitForJobs(0));
    release = true;
    EXPECT_TRUE(probing.WaitForJobs(10000));
    probing.ClearIdleProbe();
}

// Run may give the asking thread a job while its probe makes one: both run.
TEST(RequestThreadPoolTest, AJobGivenToAThreadWhileItsProbeAsksIsNotLost) {
    std::atomic<int> ran{0};
    std::atomic<bool> given{false};
    CRequestThreadPool pool;  // its threads end before what they use goes
    pool.SetIdleProbe([&]() -> CRequestThreadPool::Job {
        if (given.exchange(true)) return {};
        pool.Run([&] { ++ran; });  // the asking thread is the only one waiting: it gets this one
        return [&] { ++ran; };
    });
    pool.Run([] {});
    ASSERT_TRUE(Eventually([&] { return ran == 2; }));
    EXPECT_TRUE(pool.WaitForJobs(10000));
    pool.ClearIdleProbe();
}

// What the probe uses may go once ClearIdleProbe has returned: it waits for a probe that
// is asking.
TEST(RequestThreadPoolTest, ClearingTheIdleProbeWaitsForTheThreadAskingIt) {
    std::atomic<bool> asking{false}, release{false}, cleared{false}, clearedWhileAsking{false};
    CRequestThreadPool pool;  // its threads end before what they use goes
    pool.SetIdleProbe([&]() -> CRequestThreadPool::Job {
        asking = true;
        while (!release) std::this_thread::sleep_for(1ms);
        if (cleared) clearedWhileAsking = true;
        return {};
    });
    pool.Run([] {});
    ASSERT_TRUE(Eventually([&] { return asking.load(); }));
    std::thread clearer([&] {
        pool.ClearIdleProbe();
        cleared = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(cleared);
    release = true;
    clearer.join();
    EXPECT_TRUE(cleared);
    EXPECT_FALSE(clearedWhileAsking);
}

}  // namespace
