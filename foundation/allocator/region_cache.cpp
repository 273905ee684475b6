#include "foundation/allocator/region_cache.h"

#include <pthread.h>

#include "foundation/allocator/region_registry.h"
#include "platform/virtual_memory.h"

namespace tessaro::allocator {

namespace {

constexpr unsigned kSlots = 64;
constexpr std::size_t kLargestKept = std::size_t(1) << 20;
constexpr std::size_t kMostKept = std::size_t(8) << 20;

struct Kept {
    void* base;
    std::size_t bytes;
};
// Written by every page made or released: kept off the cache lines of what every allocation
// reads.
alignas(64) Kept g_kept[kSlots];
unsigned g_count = 0;
std::size_t g_keptBytes = 0;
alignas(64) pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;

void Unmap(void* base, std::size_t bytes) {
    UnregisterPageBase(base);
    tessaro::platform::UnmapRegion(base, bytes);
}

void* TakeKept(std::size_t bytes) {
    void* found = nullptr;
    pthread_mutex_lock(&g_lock);
    for (unsigned i = g_count; i-- > 0;) {
        if (g_kept[i].bytes == bytes) {
            found = g_kept[i].base;
            g_kept[i] = g_kept[--g_count];
            g_keptBytes -= bytes;
            break;
        }
    }
    pthread_mutex_unlock(&g_lock);
    return found;
}

}  // namespace

void* TakeRegion(std::size_t bytes, bool* zeroed) {
    if (void* kept = TakeKept(bytes)) {
        *zeroed = false;
        return kept;
    }
    *zeroed = true;
    void* fresh = tessaro::platform::MapAlignedRegion(bytes);
    if (!fresh) {
        // What is kept might be what stands in the way.
        ReleaseKeptRegions();
        fresh = tessaro::platform::MapAlignedRegion(bytes);
    }
    return fresh;
}

void GiveRegion(void* base, std::size_t bytes) {
    bool kept = false;
    if (bytes <= kLargestKept) {
        pthread_mutex_lock(&g_lock);
        if (g_count < kSlots && g_keptBytes + bytes <= kMostKept) {
            g_kept[g_count++] = {base, bytes};
            g_keptBytes += bytes;
            kept = true;
        }
        pthread_mutex_unlock(&g_lock);
    }
    if (!kept) Unmap(base, bytes);
}

void ReleaseKeptRegions() {
    for (;;) {
        pthread_mutex_lock(&g_lock);
        Kept last = g_count ? g_kept[--g_count] : Kept{nullptr, 0};
        g_keptBytes -= last.bytes;
        pthread_mutex_unlock(&g_lock);
        if (!last.base) return;
        Unmap(last.base, last.bytes);
    }
}

}  // namespace tessaro::allocator

namespace tessaro::allocator {

void LockRegionCacheForFork() {
    pthread_mutex_lock(&g_lock);
}
void UnlockRegionCacheForFork() {
    pthread_mutex_unlock(&g_lock);
}
void ResetRegionCacheAfterFork() {
    static const pthread_mutex_t fresh = PTHREAD_MUTEX_INITIALIZER;
    g_lock = fresh;
}

}  // namespace tessaro::allocator
