#include "foundation/allocator/thread_cache.h"

#include <pthread.h>

#include <cstdint>
#include <cstring>
#include <iterator>

#include "foundation/allocator/block_validation.h"

namespace tessaro::allocator {

namespace {

enum CacheState : std::uint8_t { kUnregistered = 0, kRegistering, kActive, kRetired };

// Variable requests are rounded up to one of these block sizes (four a doubling, up to
// the block of a 4096-byte request), so that a cached block serves many request sizes.
// Blocks of other sizes (resized in place, or from before) take the locked road.
constexpr std::size_t kVariableClassSizes[] = {272,  320,  384,  448,  512,  640,  768,  896, 1024,
                                               1280, 1536, 1792, 2048, 2560, 3072, 3584, 4112};
constexpr unsigned kVariableLists = std::size(kVariableClassSizes);
constexpr unsigned kNoList = kVariableLists;

// The list whose blocks serve a block of `size`, or kNoList.
unsigned ServingList(std::size_t size) {
    for (unsigned list = 0; list < kVariableLists; ++list)
        if (kVariableClassSizes[list] >= size) return list;
    return kNoList;
}
// Blocks a list keeps: about 16 KB of each size, 4 to 16 blocks (about 200 KB a thread).
unsigned VariableLimit(unsigned list) {
    std::size_t blocks = 16384 / kVariableClassSizes[list];
    return blocks < 4 ? 4u : blocks > 16 ? 16u : static_cast<unsigned>(blocks);
}
// The list that keeps a freed block of exactly `size`, or kNoList.
unsigned KeepingList(std::size_t size) {
    unsigned list = ServingList(size);
    return list != kNoList && kVariableClassSizes[list] == size ? list : kNoList;
}

struct ThreadCache {
    char* heads[kSmallClasses + 1];  // index = class, linked through each block's first word
    std::uint16_t counts[kSmallClasses + 1];
    std::uint8_t state;
    char* variableHeads[kVariableLists];
    std::uint8_t variableCounts[kVariableLists];
    std::size_t variableBytes;
};

// Constant-initialised and in the static TLS block: reaching it never allocates, which
// it must not do from inside malloc.
thread_local ThreadCache t_cache __attribute__((tls_model("initial-exec")));

pthread_once_t g_keyOnce = PTHREAD_ONCE_INIT;
pthread_key_t g_exitKey;
bool g_keyMade = false;

constexpr unsigned kEverything = ~0u;

// Larger classes keep fewer blocks: a thread holds at most about 50 KB.
unsigned Limit(unsigned k) {
    return k <= 4 ? 64 : k <= 8 ? 32 : 16;
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

// A block is checked before it leaves a list: an overrun or a write after free that
// damaged the list must not make the pool hand out memory it does not own.
bool Intact(PoolRecord* pool, char* b, unsigned k) {
    if (reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) return false;
    PageHeader* h = FindPage(b);
    return h && h->pool == pool && KindOf(h) == kSmall && b >= PageBase(b) + kHeaderBytes && b < CarvedEnd(h) &&
           LoadState(b) == (kSmallCached | k);
}

// A damaged list is given up: its blocks stay lent out and are never reused.
void Abandon(ThreadCache& c, unsigned k) {
    c.heads[k] = nullptr;
    c.counts[k] = 0;
}

// Under the pool lock: up to `count` blocks of list k go back to the pool's free list.
// False when the list was found damaged.
bool ReturnBlocks(PoolRecord* pool, ThreadCache& c, unsigned k, unsigned count) {
    for (; count && c.heads[k]; --count) {
        char* b = c.heads[k];
        if (!Intact(pool, b, k)) {
            Abandon(c, k);
            return false;
        }
        c.heads[k] = NextLink(b);
        --c.counts[k];
        StoreState(b, static_cast<std::uint8_t>(kSmallFree | k));
        NextLink(b) = pool->smallFree[k];
        pool->smallFree[k] = b;
        --HeaderOf(PageBase(b))->inUse;
    }
    return true;
}

bool VariableIntact(PoolRecord* pool, char* b, std::size_t size) {
    if (reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) return false;
    PageHeader* h = FindPage(b);
    if (!h || h->pool != pool || KindOf(h) != kVariable || b < PageBase(b) + kHeaderBytes || b >= h->word2)
        return false;
    std::uint32_t word = __atomic_load_n(WordOf(b), __ATOMIC_RELAXED);
    return WordValid(b, word) && (word & kInUse) && WordSize(word) == size && IsCachedVariable(b);
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

void Flush(PoolRecord* pool, ThreadCache& c, unsigned k, unsigned count) {
    LockPool(pool);
    bool intact = ReturnBlocks(pool, c, k, count);
    UnlockPool(pool);
    if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
}

void ReturnAll(ThreadCache& c) {
    PoolRecord* pool = DefaultPoolIfExists();
    bool any = c.variableBytes != 0;
    for (unsigned k = 1; k <= kSmallClasses; ++k) any = any || c.heads[k];
    if (!pool || !any) return;
    bool intact = true;
    LockPool(pool);
    for (unsigned k = 1; k <= kSmallClasses; ++k) intact = ReturnBlocks(pool, c, k, kEverything) && intact;
    intact = ReturnAllVariable(pool, c) && intact;
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

// Half a list in one hold of the pool lock.
bool Refill(PoolRecord* pool, ThreadCache& c, unsigned k) {
    unsigned failure = 0;
    LockPool(pool);
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

void* AllocateVariable(PoolRecord* pool, ThreadCache& c, std::size_t n, unsigned flags) {
    unsigned list = ServingList(VariableBlockSize(n));
    if (list == kNoList) return nullptr;
    if (!c.variableHeads[list] && !RefillVariable(pool, c, list)) return nullptr;
    std::size_t size = kVariableClassSizes[list];
    char* b = c.variableHeads[list];
    if (!VariableIntact(pool, b, size)) {
        AbandonVariable(c, list);
        Report(MEM_BAD_FREE_BLOCK, pool);
        return nullptr;
    }
    c.variableHeads[list] = NextLink(b);
    --c.variableCounts[list];
    c.variableBytes -= size;
    __atomic_store_n(MarkWordOf(b), std::uintptr_t(0), __ATOMIC_RELAXED);
    if (flags & TARROCK_ZERO_INIT) std::memset(b, 0, size - kWordBytes);
    return b;
}

bool ReleaseVariable(PoolRecord* pool, ThreadCache& c, PageHeader* h, char* b) {
    std::size_t usable = LiveBlockSize(h, b);
    std::size_t size = usable + kWordBytes;
    unsigned list = usable ? KeepingList(size) : kNoList;
    if (list == kNoList) return false;
    // Two threads freeing the same block at once: only one of them marks it.
    std::uintptr_t seen = __atomic_load_n(MarkWordOf(b), __ATOMIC_RELAXED);
    if (seen == CachedVariableMark(b) || !__atomic_compare_exchange_n(MarkWordOf(b), &seen, CachedVariableMark(b),
                                                                      false, __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        return false;
    if (c.variableCounts[list] >= VariableLimit(list)) {
        LockPool(pool);
        bool intact = ReturnVariableBlocks(pool, c, list, (VariableLimit(list) + 1) / 2);
        UnlockPool(pool);
        if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
    }
    NextLink(b) = c.variableHeads[list];
    c.variableHeads[list] = b;
    ++c.variableCounts[list];
    c.variableBytes += size;
    return true;
}

}  // namespace

void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags) {
    ThreadCache& c = t_cache;
    if (c.state != kActive && !Activate(c)) return nullptr;
    if (n >= kSmallLimit) return AllocateVariable(pool, c, n, flags);
    unsigned k = SmallClass(n);
    if (!c.heads[k] && !Refill(pool, c, k)) return nullptr;
    char* b = c.heads[k];
    if (!Intact(pool, b, k)) {
        Abandon(c, k);
        Report(MEM_BAD_FREE_BLOCK, pool);
        return nullptr;
    }
    c.heads[k] = NextLink(b);
    --c.counts[k];
    StoreState(b, static_cast<std::uint8_t>(kSmallLive | k));
    if (flags & TARROCK_ZERO_INIT) std::memset(b, 0, kAlign * k - 1);
    return b;
}

bool CachedRelease(PoolRecord* pool, PageHeader* h, char* b) {
    ThreadCache& c = t_cache;
    if (c.state != kActive && !Activate(c)) return false;
    if (KindOf(h) == kVariable) return ReleaseVariable(pool, c, h, b);
    if (LiveBlockSize(h, b) == 0) return false;
    std::uint8_t live = LoadState(b);
    unsigned k = live & 0x1Fu;
    if ((live & 0xE0) != kSmallLive || k < 1 || k > kSmallClasses) return false;
    // Two threads freeing the same block at once: only one of them takes it.
    if (!__atomic_compare_exchange_n(&StateOf(b), &live, static_cast<std::uint8_t>(kSmallCached | k), false,
                                     __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        return false;
    if (c.counts[k] >= Limit(k)) Flush(pool, c, k, Limit(k) / 2);
    NextLink(b) = c.heads[k];
    c.heads[k] = b;
    ++c.counts[k];
    return true;
}

void FlushThreadCache() {
    ReturnAll(t_cache);
}

}  // namespace tessaro::allocator
