// Error codes and texts, the handler, re-entry and the thread table.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <sys/resource.h>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

TEST(TarrockErrors, CodesCarryTheirNamesAndShownTexts) {
    const char* names[16] = {"",
                             "MEM_INTERNAL_ERROR",
                             "",
                             "MEM_BLOCK_TOO_BIG",
                             "MEM_ALLOC_ZERO",
                             "MEM_RESIZE_FAILED",
                             "MEM_LOCK_ERROR",
                             "MEM_EXCEEDED_CEILING",
                             "MEM_TOO_MANY_PAGES",
                             "MEM_TOO_MANY_TASKS",
                             "MEM_BAD_MEM_POOL",
                             "MEM_BAD_BLOCK",
                             "MEM_BAD_FREE_BLOCK",
                             "MEM_BAD_HANDLE",
                             "MEM_BAD_POINTER",
                             "MEM_WRONG_TASK"};
    for (unsigned code = 0; code < 16; ++code) {
        EXPECT_STREQ(TarrockErrorName(code), names[code]) << code;
        EXPECT_LE(std::strlen(TarrockErrorName(code)), 20u);
        const char* shown = code == 2                   ? "Out of memory.  Please free some memory, then choose retry."
                            : (code >= 3 && code <= 14) ? names[code]
                                                        : "MEM_INTERNAL_ERROR";
        EXPECT_STREQ(TarrockErrorText(code), shown) << code;
    }
    EXPECT_STREQ(TarrockErrorText(99), "MEM_INTERNAL_ERROR");
}

TEST_F(PoolTest, HandlerBelowTheFirst64KilobytesIsRefused) {
    EXPECT_EQ(TarrockSetErrorHandler(reinterpret_cast<TarrockErrorHandler>(0x1234)), nullptr);
    EXPECT_EQ(TarrockSetErrorHandler(&Reports::Record), &Reports::Record);  // unchanged
}

TEST_F(PoolTest, WithoutAHandlerFailuresSimplyFail) {
    TarrockSetErrorHandler(nullptr);
    int local = 0;
    EXPECT_EQ(TarrockFree(&local), 0);
    EXPECT_EQ(TarrockAlloc(pool_, 0, 0), nullptr);
    EXPECT_EQ(Reports::count, 0);
}

TEST_F(PoolTest, CeilingFailureReachesTheHandlerWithoutThePoolLock) {
    static TarrockPool pool;
    static void* ballast;
    static int calls;
    pool = pool_;
    calls = 0;
    ballast = TarrockAlloc(pool_, 30000, 0);
    ASSERT_EQ(TarrockSetCeiling(pool_, TarrockPoolSize(pool_) + 4096), TARROCK_NO_CEILING);
    TarrockSetErrorHandler([](TarrockErrorInfo* info) -> int {
        ++calls;
        if (info->code == MEM_EXCEEDED_CEILING && ballast) {
            std::thread other([] { TarrockFree(ballast); });  // would block on a held lock
            other.join();
            ballast = nullptr;
        }
        return 1;
    });
    EXPECT_EQ(TarrockAlloc(pool, 40000, 0), nullptr);  // the ceiling gives up at once
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ballast, nullptr);
    EXPECT_NE(TarrockAlloc(pool, 20000, 0), nullptr);  // room came back
    TarrockSetErrorHandler(&Reports::Record);
}

// Out of address space: a retry answer repeats the failed step, which then succeeds
// on the room the handler gave back. Run in a child, as it limits the address space.
TEST_F(PoolTest, RetryAnswerRepeatsTheFailedStep) {
    EXPECT_EXIT(
        {
            static void* ballast;
            static int calls;
            ballast = TarrockAlloc(pool_, 1 << 20, 0);
            TarrockSetErrorHandler([](TarrockErrorInfo* info) -> int {
                ++calls;
                if (info->code != MEM_OUT_OF_MEMORY || !ballast) return 0;
                TarrockFree(ballast);
                ballast = nullptr;
                return 1;
            });
            TarrockHeapMin();  // nothing kept for reuse may stand in for the ballast
            std::FILE* statm = std::fopen("/proc/self/statm", "r");
            unsigned long pages = 0;
            if (!statm || std::fscanf(statm, "%lu", &pages) != 1) std::_Exit(2);
            std::fclose(statm);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = pages * 4096 + 512 * 1024;
            if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
            void* p = TarrockAlloc(pool_, 1 << 20, 0);
            std::_Exit(p && calls == 1 && !ballast ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PoolTest, HandlerIsNotReenteredOnItsOwnThread) {
    static TarrockPool pool;
    static int outer;
    static void* inner;
    pool = pool_;
    outer = 0;
    inner = reinterpret_cast<void*>(1);
    TarrockSetErrorHandler([](TarrockErrorInfo*) -> int {
        ++outer;
        inner = TarrockAlloc(pool, 0, 0);  // fails again on this thread
        return 0;
    });
    EXPECT_EQ(TarrockAlloc(pool_, 0, 0), nullptr);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, nullptr);
    // Once it has returned, the thread may be handled again.
    EXPECT_EQ(TarrockAlloc(pool_, 0, 0), nullptr);
    EXPECT_EQ(outer, 2);
    TarrockSetErrorHandler(&Reports::Record);
}

TEST_F(PoolTest, HandlerMayUseThePoolWhileTheCallerHoldsItsLock) {
    static TarrockPool pool;
    static void* fromHandler;
    pool = pool_;
    fromHandler = nullptr;
    TarrockSetErrorHandler([](TarrockErrorInfo*) -> int {
        // Another thread must be able to take the lock while the handler runs.
        std::thread other([] { fromHandler = TarrockAlloc(pool, 100, 0); });
        other.join();
        return 0;
    });
    ASSERT_EQ(TarrockLockPool(pool_), 1);
    ASSERT_EQ(TarrockLockPool(pool_), 1);
    EXPECT_EQ(TarrockAlloc(pool_, 0, 0), nullptr);
    EXPECT_NE(fromHandler, nullptr);
    TarrockUnlockPool(pool_);
    TarrockUnlockPool(pool_);
    TarrockSetErrorHandler(&Reports::Record);
    std::thread after([this] { EXPECT_NE(TarrockAlloc(pool_, 100, 0), nullptr); });
    after.join();  // the caller's two levels were given back and released again
}

TEST_F(PoolTest, TwentySixthConcurrentThreadGetsNoHandler) {
    static std::mutex mutex;
    static std::condition_variable changed;
    static int inside;
    static bool release;
    inside = 0;
    release = false;
    TarrockSetErrorHandler([](TarrockErrorInfo*) -> int {
        std::unique_lock<std::mutex> lock(mutex);
        ++inside;
        changed.notify_all();
        changed.wait(lock, [] { return release; });
        return 0;
    });
    std::vector<std::thread> threads;
    int local = 0;
    for (int i = 0; i < 25; ++i) threads.emplace_back([&local] { TarrockFree(&local); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [] { return inside == 25; }));
    }
    std::thread extra([&local] { EXPECT_EQ(TarrockFree(&local), 0); });
    extra.join();  // returned without waiting: it never reached the handler
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(inside, 25);
        release = true;
        changed.notify_all();
    }
    for (auto& t : threads) t.join();
    TarrockSetErrorHandler(&Reports::Record);
    // The table is empty again: a new thread is handled.
    std::thread later([&local] { TarrockFree(&local); });
    later.join();
    EXPECT_EQ(Reports::lastCode, MEM_BAD_POINTER);
}

}  // namespace
}  // namespace allocator_test
