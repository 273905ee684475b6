// The release core: a block goes back to its page; empty variable and fixed pages and
// every large page go back to the system.
#include "foundation/allocator/block_validation.h"
#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/thread_cache.h"

namespace tessaro::allocator {

namespace {

void FreeSmall(PoolRecord* pool, PageHeader* h, char* b) {
    unsigned k = StateOf(b) & 0x1F;
    StoreState(b, static_cast<std::uint8_t>(kSmallFree | k));
    NextLink(b) = pool->smallFree[k];
    pool->smallFree[k] = b;
    --h->inUse;  // small pages stay for the life of the pool
}

void FreeFixed(PoolRecord* pool, PageHeader* h, char* b) {
    NextLink(b) = h->word1;
    reinterpret_cast<std::uintptr_t*>(b)[1] = FreeFixedMark(b);
    h->word1 = b;
    h->descriptor->value = 1;
    if (--h->inUse == 0) ReleasePage(pool, h, true);
}

// Merges with free neighbours through the boundary tags.
void FreeVariable(PoolRecord* pool, PageHeader* h, char* b) {
    char* sentinel = h->word2;
    std::uint32_t word = *WordOf(b);
    std::size_t size = WordSize(word);
    char* block = b;
    if (!(word & kPrevInUse)) {
        std::size_t prevSize = *reinterpret_cast<std::uint32_t*>(b - 2 * kWordBytes);
        block = b - prevSize;  // keeps its place in the free list
        size += prevSize;
        *WordOf(block) = MakeWord(block, size, *WordOf(block) & kPrevInUse);
        *WordOf(b) = 0;  // a header left inside a free block would let a second free through
    } else {
        *WordOf(b) = MakeWord(b, size, word & kPrevInUse);
        char* first = NextLink(sentinel);
        NextLink(b) = first;
        PrevLink(b) = sentinel;
        PrevLink(first) = b;
        NextLink(sentinel) = b;
    }
    char* next = block + size;
    if (next != sentinel && !(*WordOf(next) & kInUse)) {
        std::size_t nextSize = WordSize(*WordOf(next));
        NextLink(PrevLink(next)) = NextLink(next);
        PrevLink(NextLink(next)) = PrevLink(next);
        if (h->word1 == next) h->word1 = block;
        *WordOf(next) = 0;
        size += nextSize;
        *WordOf(block) = MakeWord(block, size, *WordOf(block) & kPrevInUse);
    }
    TagOf(block, size) = static_cast<std::uint32_t>(size);
    if (size > h->descriptor->value) h->descriptor->value = static_cast<std::uint32_t>(size);
    *WordOf(block + size) &= ~kPrevInUse;
    if (--h->inUse == 0) ReleasePage(pool, h, true);
}

}  // namespace

// False when `b` is no live block of the page.
bool ReleaseBlockLocked(PoolRecord* pool, PageHeader* h, char* b) {
    if (!StillPageOf(pool, h) || LiveBlockSize(h, b) == 0) return false;
    switch (KindOf(h)) {
        case kSmall:
            FreeSmall(pool, h, b);
            break;
        case kFixed:
            FreeFixed(pool, h, b);
            break;
        case kVariable:
        case kVariableReserved:
            FreeVariable(pool, h, b);
            break;
        case kLarge: {
            // A thread's cache may take the page at this moment (a second free of its block
            // from another thread): only one of them gets it.
            auto live = static_cast<std::uint16_t>(kPageSignature | kLarge);
            if (!__atomic_compare_exchange_n(&h->signature, &live, std::uint16_t(0), false, __ATOMIC_ACQ_REL,
                                             __ATOMIC_RELAXED))
                return false;
            ReleasePage(pool, h, false);
            break;
        }
        default:
            return false;
    }
    return true;
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

int TarrockFree(void* p) {
    if (p && KeepCached(p)) return 1;
    PageHeader* h = p ? FindPage(p) : nullptr;
    if (!h) {
        Report(MEM_BAD_POINTER, nullptr);
        return 0;
    }
    PoolRecord* pool = h->pool;
    unsigned kind = KindOf(h);
    if (pool == DefaultPoolIfExists()) {
        if ((kind == kSmall || kind == kVariable) && CachedRelease(pool, h, static_cast<char*>(p))) return 1;
        if (kind == kLarge && KeepCachedLarge(pool, h, static_cast<char*>(p))) return 1;
    }
    LockPool(pool);
    bool done = ReleaseBlockLocked(pool, h, static_cast<char*>(p));
    UnlockPool(pool);
    if (!done) {
        Report(MEM_BAD_POINTER, pool);
        return 0;
    }
    return 1;
}
