// Many threads on one serialized pool: the pool stays consistent.
#include <cstring>
#include <random>
#include <thread>

#include "tests/allocator/allocator_fixture.h"

namespace allocator_test {
namespace {

TEST_F(PoolTest, ThreadsAllocatingResizingAndFreingLeaveAConsistentPool) {
    constexpr int kThreads = 8;
    constexpr int kSteps = 20000;
    std::vector<std::thread> threads;
    std::atomic<int> corrupt{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &corrupt] {
            std::mt19937 random(static_cast<unsigned>(t) * 7919u + 1);
            std::vector<std::pair<unsigned char*, std::size_t>> mine(64, {nullptr, 0});
            const std::size_t sizes[] = {8, 24, 100, 254, 255, 600, 2000, 4096, 4097, 20000};
            for (int step = 0; step < kSteps; ++step) {
                auto& slot = mine[random() % mine.size()];
                std::size_t n = sizes[random() % std::size(sizes)] + random() % 16;
                auto tag = static_cast<unsigned char>(t * 16 + 1);
                if (slot.first) {
                    if (slot.first[0] != tag || slot.first[slot.second - 1] != tag) ++corrupt;
                    if (random() % 2) {
                        TarrockFree(slot.first);
                        slot = {nullptr, 0};
                        continue;
                    }
                    slot.first = static_cast<unsigned char*>(TarrockRealloc(slot.first, n, 0));
                } else {
                    slot.first = static_cast<unsigned char*>(TarrockAlloc(pool_, n, 0));
                }
                slot.second = n;
                if (!slot.first || (reinterpret_cast<std::uintptr_t>(slot.first) & 15)) {
                    ++corrupt;
                    slot = {nullptr, 0};
                    continue;
                }
                std::memset(slot.first, tag, n);
            }
            for (auto& slot : mine)
                if (slot.first) TarrockFree(slot.first);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(corrupt, 0);
    EXPECT_EQ(Reports::count, 0);
    EXPECT_EQ(TarrockCheckPool(pool_), 1);
}

}  // namespace
}  // namespace allocator_test
