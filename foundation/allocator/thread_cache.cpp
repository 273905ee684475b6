#include "foundation/allocator/thread_cache.h"

#include <pthread.h>

#include <cstdint>
#include <cstring>

#include "foundation/allocator/block_validation.h"

namespace tessaro::allocator {

namespace {

enum CacheState : std::uint8_t { kUnregistered = 0, kRegistering, kActive, kRetired };

struct ThreadCache {
    char* heads[kSmallClasses + 1];  // index = class, linked through each block's first word
    std::uint16_t counts[kSmallClasses + 1];
    std::uint8_t state;
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

void Flush(PoolRecord* pool, ThreadCache& c, unsigned k, unsigned count) {
    LockPool(pool);
    bool intact = ReturnBlocks(pool, c, k, count);
    UnlockPool(pool);
    if (!intact) Report(MEM_BAD_FREE_BLOCK, pool);
}

void ReturnAll(ThreadCache& c) {
    PoolRecord* pool = DefaultPoolIfExists();
    bool any = false;
    for (unsigned k = 1; k <= kSmallClasses; ++k) any = any || c.heads[k];
    if (!pool || !any) return;
    bool intact = true;
    LockPool(pool);
    for (unsigned k = 1; k <= kSmallClasses; ++k) intact = ReturnBlocks(pool, c, k, kEverything) && intact;
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

}  // namespace

void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags) {
    ThreadCache& c = t_cache;
    if (c.state != kActive && !Activate(c)) return nullptr;
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
