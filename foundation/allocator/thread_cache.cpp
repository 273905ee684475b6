#include "foundation/allocator/thread_cache.h"

#include <pthread.h>

#include <cstdint>
#include <cstring>
#include <iterator>

#include "foundation/allocator/block_validation.h"

namespace tessaro::allocator {

namespace cache {

__thread ThreadCache t_cache __attribute__((tls_model("initial-exec")));

}  // namespace cache

namespace {

using namespace cache;

pthread_once_t g_keyOnce = PTHREAD_ONCE_INIT;
pthread_key_t g_exitKey;
bool g_keyMade = false;

constexpr unsigned kEverything = ~0u;

unsigned Limit(unsigned k) {
    return kTables.smallLimit[k];
}
unsigned VariableLimit(unsigned list) {
    return kTables.variableLimit[list];
}

void ThreadExit(void*);

void MakeKey() {
    g_keyMade = pthread_key_create(&g_exitKey, ThreadExit) == 0;
}

// The first use in a thread registers the flush at its exit. Registration may allocate
// (a key beyond the thread's built-in slots); meanwhile the thread takes the locked road.
bool Activate(ThreadCache& c) {
    if (c.state != kUnregistered) return false;
    c.state = kRegistering;
    pthread_once(&g_keyOnce, MakeKey);
    bool registered = g_keyMade && pthread_setspecific(g_exitKey, &c) == 0;
    c.state = registered ? kActive : kRetired;
    return registered;
}

// A damaged list is given up: its blocks stay lent out and are never reused.
void Abandon(ThreadCache& c, unsigned k) {
    c.heads[k] = nullptr;
    c.counts[k] = 0;
}

// Under the pool lock: up to `count` blocks of list k go back to the pool's free list.
// False when the list was found damaged.
// Under the pool lock: a cached block of class k, checked by the caller, becomes free.
void MakeFree(PoolRecord* pool, char* b, unsigned k) {
    StoreState(b, static_cast<std::uint8_t>(kSmallFree | k));
    NextLink(b) = pool->smallFree[k];
    pool->smallFree[k] = b;
    --HeaderOf(PageBase(b))->inUse;
}

bool ReturnBlocks(PoolRecord* pool, ThreadCache& c, unsigned k, unsigned count) {
    for (; count && c.heads[k]; --count) {
        char* b = c.heads[k];
        if (!SmallIntact(pool, b, k)) {
            Abandon(c, k);
            return false;
        }
        c.heads[k] = NextLink(b);
        --c.counts[k];
        MakeFree(pool, b, k);
    }
    return true;
}

// Under the pool lock: the chains handed on go to the pool's lists. False when one was found
// damaged (its rest stays lent out).
bool ReturnBatches(PoolRecord* pool) {
    bool intact = true;
    for (unsigned k = 1; k <= kSmallClasses; ++k) {
        while (pool->batchCounts[k]) {
            SmallBatch batch = pool->batches[k][--pool->batchCounts[k]];
            char* b = batch.head;
            for (unsigned i = 0; b && i < batch.count; ++i) {
                if (!SmallIntact(pool, b, k)) {
                    intact = false;
                    break;
                }
                char* next = NextLink(b);
                MakeFree(pool, b, k);
                b = next;
            }
        }
    }
    return intact;
}

void AbandonVariable(ThreadCache& c, unsigned list) {
    c.variableBytes -= kVariableClassSizes[list] * c.variableCounts[list];
    c.variableHeads[list] = nullptr;
    c.variableCounts[list] = 0;
}

// Under the pool lock: up to `count` blocks of variable list `list` are freed into their
// pages (merging with free neighbours). False when the list was found damaged.
bool ReturnVariableBlocks(PoolRecord* pool, ThreadCache& c, unsigned list, unsigned count) {
    std::size_t size = kVariableClassSizes[list];
    for (; count && c.variableHeads[list]; --count) {
        char* b = c.variableHeads[list];
        if (!VariableIntact(pool, b, size)) {
            AbandonVariable(c, list);
            return false;
        }
        c.variableHeads[list] = NextLink(b);
        --c.variableCounts[list];
        c.variableBytes -= size;
        __atomic_store_n(MarkWordOf(b), std::uintptr_t(0), __ATOMIC_RELAXED);
        ReleaseBlockLocked(pool, FindPage(b), b);
    }
    return true;
}

bool ReturnAllVariable(PoolRecord* pool, ThreadCache& c) {
    bool intact = true;
    for (unsigned list = 0; list < kVariableLists; ++list)
        if (c.variableHeads[list]) intact = ReturnVariableBlocks(pool, c, list, kEverything) && intact;
    return intact;
}

// Half of a full list goes to the pool in one hold of the lock: as a chain for another
// thread's empty list while the pool has room for one, else block by block to its lists.
// The chain is walked and checked before the lock is taken.
void FlushHalf(PoolRecord* pool, ThreadCache& c, unsigned k) {
    unsigned half = Limit(k) / 2;
    char* last = nullptr;
    unsigned count = 0;
    for (char* b = c.heads[k]; b && count < half; b = NextLink(b)) {
        if (!SmallIntact(pool, b, k)) {
            Abandon(c, k);
            Report(MEM_BAD_FREE_BLOCK, pool);
            return;
        }
        last = b;
        ++count;
    }
    if (!count) return;
    LockPool(pool);
    if (pool->batchCounts[k] < kSmallBatches) {
        pool->batches[k][pool->batchCounts[k]++] = {c.heads[k], count};
        c.heads[k] = NextLink(last);
        c.counts[k] = static_cast<std::uint16_t>(c.counts[k] - count);
        NextLink(last) = nullptr;
        UnlockPool(pool);
        return;
    }
    bool intact = ReturnBlocks(pool, c, k, count);
    UnlockPool(pool);
    if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
}

void FlushHalfVariable(PoolRecord* pool, ThreadCache& c, unsigned list) {
    LockPool(pool);
    bool intact = ReturnVariableBlocks(pool, c, list, (VariableLimit(list) + 1) / 2);
    UnlockPool(pool);
    if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
}

constexpr unsigned kNoLargeList = kLargeLists;

unsigned LargeList(std::size_t committed) {
    return committed >= 2 * kSysPage && committed <= kRegion && committed % kSysPage == 0
               ? static_cast<unsigned>(committed / kSysPage - 2)
               : kNoLargeList;
}
std::size_t LargeListBytes(unsigned list) {
    return (list + 2) * kSysPage;
}

// A page is checked before it leaves a list, as blocks are: a damaged header must not make
// the pool hand out or release memory it does not own.
bool LargeIntact(PoolRecord* pool, PageHeader* h, unsigned list) {
    if ((reinterpret_cast<std::uintptr_t>(h) & (kRegion - 1)) || !IsPageBase(h)) return false;
    return __atomic_load_n(&h->signature, __ATOMIC_RELAXED) == kCachedLargeSignature && h->pool == pool &&
           h->committed == LargeListBytes(list) && h->mapped == kRegion && h->dataOffset == kHeaderBytes;
}

// The head of large list `list`, checked by the caller, leaves it: a page of the pool again.
PageHeader* PopLarge(PoolRecord* pool, ThreadCache& c, unsigned list) {
    PageHeader* h = c.largeHeads[list];
    c.largeHeads[list] = reinterpret_cast<PageHeader*>(h->word2);
    --c.largeCounts[list];
    c.largeBytes -= LargeListBytes(list);
    h->word2 = nullptr;
    GrowTotal(pool, h->committed);
    __atomic_store_n(&h->signature, static_cast<std::uint16_t>(kPageSignature | kLarge), __ATOMIC_RELEASE);
    return h;
}

void AbandonLarge(ThreadCache& c, unsigned list) {
    c.largeBytes -= LargeListBytes(list) * c.largeCounts[list];
    c.largeHeads[list] = nullptr;
    c.largeCounts[list] = 0;
}

// Under the pool lock: the pages of every large list are released. False when a list was
// found damaged.
bool ReturnAllLarge(PoolRecord* pool, ThreadCache& c) {
    bool intact = true;
    for (unsigned list = 0; list < kLargeLists; ++list) {
        while (c.largeHeads[list]) {
            if (!LargeIntact(pool, c.largeHeads[list], list)) {
                AbandonLarge(c, list);
                intact = false;
                break;
            }
            ReleasePage(pool, PopLarge(pool, c, list), false);
        }
    }
    return intact;
}

// The thread's lists, and the chains handed on between threads, go back to the pool.
void ReturnAll(ThreadCache& c) {
    PoolRecord* pool = DefaultPoolIfExists();
    if (!pool) return;
    bool intact = true;
    LockPool(pool);
    for (unsigned k = 1; k <= kSmallClasses; ++k) intact = ReturnBlocks(pool, c, k, kEverything) && intact;
    intact = ReturnAllVariable(pool, c) && intact;
    intact = ReturnAllLarge(pool, c) && intact;
    intact = ReturnBatches(pool) && intact;
    UnlockPool(pool);
    if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
}

// Runs among the thread's last steps, inside the replaced allocator: everything this
// thread frees or allocates from now on takes the locked road.
void ThreadExit(void*) {
    ThreadCache& c = t_cache;
    c.state = kRetired;
    ReturnAll(c);
}

// An empty list takes a chain another thread handed on, or half a list carved or taken from
// the pool's lists, in one hold of the pool lock.
bool Refill(PoolRecord* pool, ThreadCache& c, unsigned k) {
    unsigned failure = 0;
    c.counts[k] = 0;
    LockPool(pool);
    if (pool->batchCounts[k]) {
        SmallBatch batch = pool->batches[k][--pool->batchCounts[k]];
        UnlockPool(pool);
        c.heads[k] = batch.head;
        c.counts[k] = static_cast<std::uint16_t>(batch.count);
        return true;
    }
    for (unsigned i = Limit(k) / 2; i; --i) {
        auto* b = static_cast<char*>(AllocateSmallLocked(pool, kAlign * k - 1, 0, &failure));
        if (!b) break;
        StoreState(b, static_cast<std::uint8_t>(kSmallCached | k));
        NextLink(b) = c.heads[k];
        c.heads[k] = b;
        ++c.counts[k];
    }
    UnlockPool(pool);
    return c.heads[k] != nullptr;
}

// A few blocks of list `list` in one hold of the pool lock. A block that came out larger
// (its remainder was too small to split off) goes back at once.
bool RefillVariable(PoolRecord* pool, ThreadCache& c, unsigned list) {
    std::size_t size = kVariableClassSizes[list];
    unsigned failure = 0;
    LockPool(pool);
    for (unsigned i = (VariableLimit(list) + 1) / 2; i; --i) {
        auto* b = static_cast<char*>(AllocateVariableLocked(pool, size - kWordBytes, 0, &failure));
        if (!b) break;
        if (WordSize(*WordOf(b)) != size) {
            ReleaseBlockLocked(pool, FindPage(b), b);
            break;
        }
        *MarkWordOf(b) = CachedVariableMark(b);
        NextLink(b) = c.variableHeads[list];
        c.variableHeads[list] = b;
        ++c.variableCounts[list];
        c.variableBytes += size;
    }
    UnlockPool(pool);
    return c.variableHeads[list] != nullptr;
}

}  // namespace

void* TakeCachedVariable(PoolRecord* pool, std::size_t n, unsigned flags) {
    ThreadCache& c = t_cache;
    unsigned list = ServingList(VariableBlockSize(n));
    if (c.state != kActive || list == kNoList) return nullptr;
    std::size_t size = kVariableClassSizes[list];
    char* b = c.variableHeads[list];
    if (!b || !VariableIntact(pool, b, size)) return nullptr;
    c.variableHeads[list] = NextLink(b);
    --c.variableCounts[list];
    c.variableBytes -= size;
    __atomic_store_n(MarkWordOf(b), std::uintptr_t(0), __ATOMIC_RELAXED);
    if (flags & TARROCK_ZERO_INIT) std::memset(b, 0, size - kWordBytes);
    return b;
}

bool KeepCachedVariable(ThreadCache& c, PageHeader* h, char* b) {
    std::size_t usable = LiveVariableSize(h, b);
    unsigned list = usable ? KeepingList(usable + kWordBytes) : kNoList;
    if (list == kNoList || c.variableCounts[list] >= VariableLimit(list)) return false;
    // Two threads freeing the same block at once: only one of them marks it.
    std::uintptr_t seen = __atomic_load_n(MarkWordOf(b), __ATOMIC_RELAXED);
    if (seen == CachedVariableMark(b) || !__atomic_compare_exchange_n(MarkWordOf(b), &seen, CachedVariableMark(b),
                                                                      false, __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        return false;
    NextLink(b) = c.variableHeads[list];
    c.variableHeads[list] = b;
    ++c.variableCounts[list];
    c.variableBytes += usable + kWordBytes;
    return true;
}

void* TakeCachedLarge(PoolRecord* pool, std::size_t n, unsigned flags) {
    ThreadCache& c = t_cache;
    if ((c.state != kActive && !Activate(c)) || pool->ceiling != TARROCK_NO_CEILING) return nullptr;
    unsigned list = LargeList(RoundUp(n + kHeaderBytes, kSysPage));
    if (list == kNoLargeList || !c.largeHeads[list]) return nullptr;
    if (!LargeIntact(pool, c.largeHeads[list], list)) {
        AbandonLarge(c, list);
        Report(MEM_BAD_FREE_BLOCK, pool);
        return nullptr;
    }
    char* data = reinterpret_cast<char*>(PopLarge(pool, c, list)) + kHeaderBytes;
    if (flags & TARROCK_ZERO_INIT) std::memset(data, 0, n);
    return data;
}

bool KeepCachedLarge(PoolRecord* pool, PageHeader* h, char* b) {
    ThreadCache& c = t_cache;
    if ((c.state != kActive && !Activate(c)) || pool->ceiling != TARROCK_NO_CEILING) return false;
    // The page's sizes change only by a resize of its live block, which the freeing caller owns.
    if (h->pool != pool || b != reinterpret_cast<char*>(h) + kHeaderBytes || h->dataOffset != kHeaderBytes ||
        h->mapped != kRegion)
        return false;
    std::size_t committed = h->committed;
    unsigned list = LargeList(committed);
    if (list == kNoLargeList || c.largeCounts[list] >= kLargeLimit || c.largeBytes + committed > kMostLargeBytes)
        return false;
    // Two threads freeing the same block at once: only one of them takes the page.
    auto live = static_cast<std::uint16_t>(kPageSignature | kLarge);
    if (!__atomic_compare_exchange_n(&h->signature, &live, kCachedLargeSignature, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_RELAXED))
        return false;
    ShrinkTotal(pool, committed);
    h->word2 = reinterpret_cast<char*>(c.largeHeads[list]);
    c.largeHeads[list] = h;
    ++c.largeCounts[list];
    c.largeBytes += committed;
    return true;
}

void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags) {
    ThreadCache& c = t_cache;
    if (c.state != kActive && !Activate(c)) return nullptr;
    if (n >= kSmallLimit) {
        unsigned list = ServingList(VariableBlockSize(n));
        if (list == kNoList || (!c.variableHeads[list] && !RefillVariable(pool, c, list))) return nullptr;
        if (void* b = TakeCachedVariable(pool, n, flags)) return b;
        AbandonVariable(c, list);
    } else {
        unsigned k = SmallClass(n);
        if (!c.heads[k] && !Refill(pool, c, k)) return nullptr;
        if (void* b = TakeCached(pool, n, flags)) return b;
        Abandon(c, k);
    }
    // The head of a list that was not empty failed its check: the list is damaged.
    Report(MEM_BAD_FREE_BLOCK, pool);
    return nullptr;
}

bool CachedRelease(PoolRecord* pool, PageHeader* h, char* b) {
    ThreadCache& c = t_cache;
    if (c.state != kActive && !Activate(c)) return false;
    std::size_t usable = LiveBlockSize(h, b);
    if (!usable) return false;
    if (KindOf(h) == kSmall) {
        auto k = static_cast<unsigned>((usable + 1) / kAlign);
        if (c.counts[k] >= Limit(k)) FlushHalf(pool, c, k);
    } else {
        unsigned list = KeepingList(usable + kWordBytes);
        if (list == kNoList) return false;
        if (c.variableCounts[list] >= VariableLimit(list)) FlushHalfVariable(pool, c, list);
    }
    return KeepCached(b);
}

void FlushThreadCache() {
    ReturnAll(t_cache);
}

}  // namespace tessaro::allocator
