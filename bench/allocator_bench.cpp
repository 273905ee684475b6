// The default pool under threads: each thread keeps a ring of 64 blocks and replaces one
// per iteration (a free and an allocation), with small (below 255 bytes) or variable
// (255 to 4096 bytes) sizes. items_per_second is free-and-allocate pairs per second.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "foundation/allocator/tarrock.h"

namespace {

void ReplaceInRing(benchmark::State& state, std::size_t smallest, std::size_t spread) {
    TarrockPool pool = TarrockDefaultPool();
    void* ring[64] = {};
    unsigned step = static_cast<unsigned>(state.thread_index()) * 13;
    for (auto _ : state) {
        unsigned slot = (step * 7) & 63;
        if (ring[slot]) TarrockFree(ring[slot]);
        ring[slot] = TarrockAlloc(pool, smallest + (step * 37) % spread, 0);
        benchmark::DoNotOptimize(ring[slot]);
        ++step;
    }
    for (void* p : ring)
        if (p) TarrockFree(p);
    state.SetItemsProcessed(state.iterations());
}

void BM_SmallBlocks(benchmark::State& state) {
    ReplaceInRing(state, 1, 254);
}
void BM_VariableBlocks(benchmark::State& state) {
    ReplaceInRing(state, 255, 3800);
}

}  // namespace

BENCHMARK(BM_SmallBlocks)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_VariableBlocks)->ThreadRange(1, 8)->UseRealTime();
