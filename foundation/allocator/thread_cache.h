// The per-thread front of the default pool for small and variable blocks. Every thread
// keeps a bounded list per small class and per variable size class (variable requests up
// to 4096 bytes are rounded up to one of a few sizes); the common allocate and free pair
// touches only that list and the block itself, and the pool lock is taken once per batch
// (refill, overflow, thread exit). A block of the default pool freed by any thread goes to
// that thread's list. Cached blocks stay in use in their pages and carry a mark of their
// own (the state byte of a small block, an address-derived word in a variable block), so
// the pool's check, walk and pointer checks stay exact without visiting other threads, and
// a second free of a cached block is refused at once.
//
// Large pages of one region are kept too: a kept page is no page to anything else (its
// signature fails every lookup, as a released page's does, and the pool's total leaves it
// out) until a request of its size takes it again.
//
// TakeCached and KeepCached are the common case, inline in every entry point: a list that
// can serve, a block that passes every check of the locked road. Anything else (a thread's
// first use, an empty or full list, a damaged list, a block that is no live one) falls to
// CachedAllocate or TarrockFree, which decide and report as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "foundation/allocator/block_validation.h"
#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {

namespace cache {

enum CacheState : std::uint8_t { kUnregistered = 0, kRegistering, kActive, kRetired };

// Variable requests are rounded up to one of these block sizes (four a doubling, up to
// the block of a 4096-byte request), so that a cached block serves many request sizes.
// Blocks of other sizes (resized in place, or from before) take the locked road.
constexpr std::size_t kVariableClassSizes[] = {272,  320,  384,  448,  512,  640,  768,  896, 1024,
                                               1280, 1536, 1792, 2048, 2560, 3072, 3584, 4112};
constexpr unsigned kVariableLists = std::size(kVariableClassSizes);
constexpr unsigned kNoList = kVariableLists;
constexpr std::size_t kLargestClass = kVariableClassSizes[kVariableLists - 1];

// Block sizes are multiples of 16: one step of these tables per 16 bytes.
struct ListTables {
    std::uint8_t serving[kLargestClass / kAlign + 1];  // the list whose blocks serve a block of this size
    std::uint8_t keeping[kLargestClass / kAlign + 1];  // the list that keeps a freed block of exactly it
    std::uint8_t variableLimit[kVariableLists];        // about 16 KB of each size, 4 to 16 blocks
    std::uint8_t smallLimit[kSmallClasses + 1];        // larger classes keep fewer: about 50 KB a thread
};

constexpr ListTables MakeListTables() {
    ListTables t{};
    for (std::size_t step = 0; step <= kLargestClass / kAlign; ++step) {
        unsigned list = 0;
        while (list < kVariableLists && kVariableClassSizes[list] < step * kAlign) ++list;
        t.serving[step] = static_cast<std::uint8_t>(list);
        t.keeping[step] = static_cast<std::uint8_t>(
            list < kVariableLists && kVariableClassSizes[list] == step * kAlign ? list : kNoList);
    }
    for (unsigned list = 0; list < kVariableLists; ++list) {
        std::size_t blocks = 16384 / kVariableClassSizes[list];
        t.variableLimit[list] = static_cast<std::uint8_t>(blocks < 4 ? 4 : blocks > 16 ? 16 : blocks);
    }
    for (unsigned k = 1; k <= kSmallClasses; ++k) t.smallLimit[k] = static_cast<std::uint8_t>(k <= 4 ? 64 : k <= 8 ? 32 : 16);
    return t;
}
inline constexpr ListTables kTables = MakeListTables();

inline unsigned ServingList(std::size_t size) {
    return size <= kLargestClass ? kTables.serving[size / kAlign] : kNoList;
}
inline unsigned KeepingList(std::size_t size) {
    return size <= kLargestClass && size % kAlign == 0 ? kTables.keeping[size / kAlign] : kNoList;
}

// Large pages of one region (8 to 64 KB committed) are kept by their committed size, a few
// of each and at most about 256 KB a thread, and serve only requests of exactly that size.
constexpr unsigned kLargeLists = kRegion / kSysPage - 1;  // index = committed / 4 KB - 2
constexpr unsigned kLargeLimit = 4;
constexpr std::size_t kMostLargeBytes = std::size_t(256) << 10;

struct ThreadCache {
    char* heads[kSmallClasses + 1];  // index = class, linked through each block's first word
    std::uint16_t counts[kSmallClasses + 1];
    std::uint8_t state;
    char* variableHeads[kVariableLists];
    std::uint8_t variableCounts[kVariableLists];
    std::size_t variableBytes;
    PageHeader* largeHeads[kLargeLists];  // linked through each page header's second word
    std::uint8_t largeCounts[kLargeLists];
    std::size_t largeBytes;
};

// Constant-initialised and in the static TLS block: reaching it never allocates, which
// it must not do from inside malloc.
extern __thread ThreadCache t_cache __attribute__((tls_model("initial-exec")));

// A block is checked before it leaves a list: an overrun or a write after free that
// damaged the list must not make the pool hand out memory it does not own.
inline bool SmallIntact(PoolRecord* pool, char* b, unsigned k) {
    if (reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) return false;
    char* base = PageBase(b);
    if (!IsPageBase(base)) return false;
    PageHeader* h = HeaderOf(base);
    return __atomic_load_n(&h->signature, __ATOMIC_RELAXED) == (kPageSignature | kSmall) && h->pool == pool &&
           b >= base + kHeaderBytes && b < CarvedEnd(h) && LoadState(b) == (kSmallCached | k);
}

inline bool VariableIntact(PoolRecord* pool, char* b, std::size_t size) {
    if (reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) return false;
    char* base = PageBase(b);
    if (!IsPageBase(base)) return false;
    PageHeader* h = HeaderOf(base);
    if (__atomic_load_n(&h->signature, __ATOMIC_RELAXED) != (kPageSignature | kVariable) || h->pool != pool ||
        b < base + kHeaderBytes || b >= h->word2)
        return false;
    std::uint32_t word = __atomic_load_n(WordOf(b), __ATOMIC_RELAXED);
    return WordValid(b, word) && (word & kInUse) && WordSize(word) == size && IsCachedVariable(b);
}

}  // namespace cache

// The variable halves of TakeCached and KeepCached, out of line: most requests are small,
// and the small half then needs no frame.
void* TakeCachedVariable(PoolRecord* pool, std::size_t n, unsigned flags);
bool KeepCachedVariable(cache::ThreadCache& c, PageHeader* h, char* b);

// A block of `pool`, the default pool, for n from 1 to its large threshold, when the
// calling thread's list for it holds an intact block; null otherwise (nothing changed).
[[gnu::always_inline]] inline void* TakeCached(PoolRecord* pool, std::size_t n, unsigned flags) {
    using namespace cache;
    if (n >= kSmallLimit) return TakeCachedVariable(pool, n, flags);
    ThreadCache& c = t_cache;
    unsigned k = SmallClass(n);
    char* b = c.heads[k];
    if (c.state != kActive || !b || !SmallIntact(pool, b, k)) return nullptr;
    c.heads[k] = NextLink(b);
    --c.counts[k];
    StoreState(b, static_cast<std::uint8_t>(kSmallLive | k));
    if (flags & TARROCK_ZERO_INIT) std::memset(b, 0, kAlign * k - 1);
    return b;
}

// Takes `p` into the calling thread's cache when it is a live small or variable block of
// the default pool of a size the cache keeps and its list has room; false otherwise
// (nothing changed).
[[gnu::always_inline]] inline bool KeepCached(void* p) {
    using namespace cache;
    char* b = static_cast<char*>(p);
    char* base = PageBase(b);
    if ((reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) || b < base + kHeaderBytes || !IsPageBase(base))
        return false;
    ThreadCache& c = t_cache;
    PageHeader* h = HeaderOf(base);
    if (c.state != kActive || h->pool != DefaultPoolIfExists()) return false;
    std::uint16_t signature = __atomic_load_n(&h->signature, __ATOMIC_RELAXED);
    if (signature == (kPageSignature | kVariable)) return KeepCachedVariable(c, h, b);
    if (signature != (kPageSignature | kSmall)) return false;
    std::size_t usable = LiveSmallSize(h, b);
    if (!usable) return false;
    auto k = static_cast<unsigned>((usable + 1) / kAlign);
    if (c.counts[k] >= kTables.smallLimit[k]) return false;
    // Two threads freeing the same block at once: only one of them takes it (the
    // exchange expects the live state just checked).
    auto live = static_cast<std::uint8_t>(kSmallLive | k);
    if (!__atomic_compare_exchange_n(&StateOf(b), &live, static_cast<std::uint8_t>(kSmallCached | k), false,
                                     __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        return false;
    NextLink(b) = c.heads[k];
    c.heads[k] = b;
    ++c.counts[k];
    return true;
}

// The block of a large page of the default pool for a request n above its large threshold,
// from the calling thread's list of pages of its committed size; null when there is none
// (nothing changed, or a damaged list reported and given up). While the pool has a ceiling
// the cache keeps and gives no pages.
void* TakeCachedLarge(PoolRecord* pool, std::size_t n, unsigned flags);

// Takes `b`, the block of the large page `h` of the default pool, into the calling thread's
// cache; false when the page is of no size kept, its list is full, or `b` is no live block
// (the caller then releases the page, or reports).
bool KeepCachedLarge(PoolRecord* pool, PageHeader* h, char* b);

// The whole road: TakeCached, then the thread's first use, a refill under the pool lock,
// or the report of a damaged list. Null when the cache cannot serve and the caller must
// take the locked road (which then reports or falls back as it always did).
void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags);

// Takes `b`, a block of the small or variable page `h` of the default pool, into the calling
// thread's cache, emptying half its list into the pool first when it is full; false when `b`
// is no live block or the thread has no cache, and the caller takes the locked road (which
// reports a bad pointer).
bool CachedRelease(PoolRecord* pool, PageHeader* h, char* b);

// Gives the calling thread's cached blocks and pages, and the chains handed on between
// threads, back to the default pool.
void FlushThreadCache();

}  // namespace tessaro::allocator
