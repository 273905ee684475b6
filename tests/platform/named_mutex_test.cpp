#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/named_mutex.h"
#include "platform/timed_lock.h"
#include "platform/win32_error.h"
#include "tests/common/temp_home.h"

using namespace tessaro::platform;

namespace {

class NamedMutexTest : public TempHomeTest {};

TEST_F(NamedMutexTest, SecondHolderTimesOutUntilTheFirstReleases) {
    NamedMutexLock first;
    ASSERT_EQ(first.Acquire("TSMailFileMutex", 0), ERROR_SUCCESS);
    NamedMutexLock second;
    EXPECT_EQ(second.Acquire("TSMailFileMutex", 50), WAIT_TIMEOUT_ERROR);
    EXPECT_FALSE(second.Held());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        first.Release();
    });
    EXPECT_EQ(second.Acquire("TSMailFileMutex", 0xFFFFFFFFu), ERROR_SUCCESS);
    releaser.join();
    EXPECT_TRUE(second.Held());
}

TEST_F(NamedMutexTest, ThreadsExcludeEachOther) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlap{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                NamedMutexLock lock("Shared", 0xFFFFFFFFu);
                if (!lock.Held()) continue;
                if (++inside > 1) overlap = true;
                std::this_thread::yield();
                --inside;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(overlap.load());
}

TEST_F(NamedMutexTest, ADeadOwnerReleasesTheMutex) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        NamedMutexLock lock;
        if (lock.Acquire("Abandoned", 0) != ERROR_SUCCESS) _exit(1);
        char c = 1;
        if (write(ready[1], &c, 1) != 1) _exit(1);
        pause();  // killed while holding the lock
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    NamedMutexLock lock;
    EXPECT_EQ(lock.Acquire("Abandoned", 0), WAIT_TIMEOUT_ERROR);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(lock.Acquire("Abandoned", 1000), ERROR_SUCCESS);
    close(ready[0]);
    close(ready[1]);
}

TEST(TimedLockTest, GuardTimesOutOnAHeldMutex) {
    TimedMutex mutex;
    {
        TimedLockGuard<TimedMutex> held(mutex, 0);
        ASSERT_TRUE(held.Held());
        bool other = true;
        std::thread([&] { other = TimedLockGuard<TimedMutex>(mutex, 20).Held(); }).join();
        EXPECT_FALSE(other);
    }
    TimedLockGuard<TimedMutex> again(mutex, 0);
    EXPECT_TRUE(again.Held());
    RequestSemaphore semaphore(1);
    EXPECT_TRUE(AcquireFor(semaphore, 0));
    EXPECT_FALSE(AcquireFor(semaphore, 10));
    semaphore.release();
}

}  // namespace
