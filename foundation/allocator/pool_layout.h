// Internal layout of pools, pages and blocks (64-bit).
//
// Every page is a region whose base is 64 KB-aligned; its 64-byte header lies at
// the base and block data starts 64 bytes in, so all data is 16-byte aligned.
//  - small page (64 KB): blocks of 16k bytes (k = 1..16), each preceded by a state
//    byte (the last byte of the block before it, or of the header); usable 16k - 1.
//  - variable page: a 4-byte header word before each block's data; a block is a
//    multiple of 16 bytes (at least 32); a free block carries two list links and,
//    in its last 4 bytes, a copy of its size. A sentinel closes the page.
//  - fixed page: blocks of the pool's fixed size, no header.
//  - large page: one block, data at a 64-byte (or larger, aligned) offset.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "foundation/allocator/region_registry.h"
#include "foundation/allocator/tarrock.h"

namespace tessaro::allocator {

constexpr std::size_t kRegion = 65536;
constexpr std::size_t kSysPage = 4096;
constexpr std::size_t kHeaderBytes = 64;
constexpr std::size_t kAlign = 16;
// Requests above this are refused outright, so no size arithmetic can wrap.
constexpr std::size_t kMaxRequest = std::size_t(1) << 46;
constexpr std::size_t kMaxAlignment = 32768;

constexpr std::uint16_t kPoolSignature = 0xBEAD;
constexpr std::uint16_t kPageSignature = 0xCAD0;

enum PageKind : unsigned { kVariable = 0, kFixed = 1, kVariableReserved = 2, kLarge = 3, kSmall = 4 };
constexpr unsigned kPageKinds = 5;
constexpr unsigned kFreeDescriptorKind = 5;

// Small blocks: class k serves up to 16k - 1 bytes.
constexpr std::size_t kSmallLimit = 255;  // requests below it are small
constexpr unsigned kSmallClasses = 16;
constexpr std::uint8_t kSmallLive = 0x40;
constexpr std::uint8_t kSmallFree = 0x20;
// Waiting in a thread's cache of the default pool: counted in its page's in-use count
// (the pool lent it out) but handed to nobody, so a free of it is refused as for a
// free block and the diagnostics show it free.
constexpr std::uint8_t kSmallCached = 0x80;

// Variable blocks: header word = size | check << 16 | flags.
constexpr std::uint32_t kInUse = 1;
constexpr std::uint32_t kPrevInUse = 2;
constexpr std::uint32_t kSizeMask = 0xFFF0;
constexpr std::size_t kMinVariableBlock = 32;
constexpr std::size_t kWordBytes = 4;

constexpr unsigned kDefaultPageSize = 16384;
constexpr unsigned kMaxPageSize = 65535;

struct PageHeader;

struct Descriptor {
    std::uint32_t value;  // variable: largest free block (upper bound); fixed: has free; small: room left
    std::uint16_t kind;   // 0x8000 | kind << 12 in use; kFreeDescriptorKind when free
    std::uint16_t unused;
    PageHeader* page;
    Descriptor* next;
    Descriptor* prev;
};

struct PoolRecord;

struct PageHeader {
    PoolRecord* pool;
    Descriptor* descriptor;
    std::size_t committed;  // bytes counted in the pool total
    std::size_t mapped;     // bytes of the region
    std::uint32_t inUse;
    std::uint16_t signature;   // kPageSignature | kind; 0 once released
    std::uint8_t minSplit;     // variable pages
    bool zeroed;               // the region was fresh when the page was made
    char* word1;               // small: next block to carve; variable: rover; fixed: free list
    char* word2;               // small: page end; variable: sentinel; fixed: carved end
    std::uint32_t dataOffset;  // large pages
    // Bytes 60..63 hold the first block's header word or state byte.
};
static_assert(offsetof(PageHeader, dataOffset) + sizeof(std::uint32_t) <= 60);

constexpr unsigned kSmallBatches = 8;
struct SmallBatch {
    char* head;  // linked through each block's first word, the last link null
    unsigned count;
};

struct PoolRecord {
    // Read by every allocation from a thread's cache and seldom written: a cache line apart
    // from what every page made or released and every refill writes under the lock.
    std::uint16_t signature;
    std::uint16_t flags;
    unsigned fixedSize;
    unsigned pageSize;
    unsigned largeThreshold;
    std::size_t floor;
    std::size_t ceiling;
    PoolRecord* next;
    const void* library;
    alignas(64) Descriptor* lists[kPageKinds];
    Descriptor* freeDescriptors;
    std::size_t total;                   // atomic accesses only: threads' caches change it unlocked
    pthread_mutex_t mutex;               // not recursive: owner and nesting make it so
    pthread_t owner;                     // the holding thread, 0 when free
    unsigned nesting;                    // how often the owner holds it
    char* smallFree[kSmallClasses + 1];  // index = class
    char* descriptorRegions;             // chain through each region's first word
    char* descriptorNext;                // carving cursor of the newest descriptor region
    char* descriptorEnd;
    char* descriptorCounted;  // end of the part counted in the total
    // Default pool: chains of small blocks that a thread's full cache list handed on, for the
    // next thread whose list of that class runs empty. Their blocks stay cached (lent out in
    // their pages), so neither hand-over touches them one by one under the lock.
    SmallBatch batches[kSmallClasses + 1][kSmallBatches];
    unsigned batchCounts[kSmallClasses + 1];
};

inline std::size_t TotalOf(const PoolRecord* pool) {
    return __atomic_load_n(&pool->total, __ATOMIC_RELAXED);
}
inline void GrowTotal(PoolRecord* pool, std::size_t bytes) {
    __atomic_fetch_add(&pool->total, bytes, __ATOMIC_RELAXED);
}
inline void ShrinkTotal(PoolRecord* pool, std::size_t bytes) {
    __atomic_fetch_sub(&pool->total, bytes, __ATOMIC_RELAXED);
}
// Whether `bytes` more stay within the ceiling.
inline bool BelowCeiling(const PoolRecord* pool, std::size_t bytes) {
    return bytes <= pool->ceiling && TotalOf(pool) <= pool->ceiling - bytes;
}

inline PoolRecord* AsRecord(TarrockPool pool) {
    return reinterpret_cast<PoolRecord*>(pool);
}
inline TarrockPool AsPool(PoolRecord* pool) {
    return reinterpret_cast<TarrockPool>(pool);
}

inline std::size_t RoundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) & ~(to - 1);
}
inline char* PageBase(const void* p) {
    return reinterpret_cast<char*>(reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t(kRegion - 1));
}
inline PageHeader* HeaderOf(char* base) {
    return reinterpret_cast<PageHeader*>(base);
}
inline unsigned KindOf(const PageHeader* h) {
    return h->signature & 7u;
}

// Pool lock: recursive, with the nesting count the error dispatch needs. An adaptive
// mutex spins briefly before it sleeps, which suits the short holds of the allocator.
// Only the holder ever finds its own id in `owner`.
inline void LockPool(PoolRecord* pool) {
    if (!(pool->flags & TARROCK_SERIALIZED)) return;
    pthread_t self = pthread_self();
    if (__atomic_load_n(&pool->owner, __ATOMIC_RELAXED) == self) {
        ++pool->nesting;
        return;
    }
    pthread_mutex_lock(&pool->mutex);
    __atomic_store_n(&pool->owner, self, __ATOMIC_RELAXED);
    pool->nesting = 1;
}
inline void UnlockPool(PoolRecord* pool) {
    if (!(pool->flags & TARROCK_SERIALIZED)) return;
    if (--pool->nesting == 0) {
        __atomic_store_n(&pool->owner, pthread_t(0), __ATOMIC_RELAXED);
        pthread_mutex_unlock(&pool->mutex);
    }
}
// A fresh, unlocked pool lock.
inline void InitPoolLock(PoolRecord* pool) {
    static const pthread_mutex_t fresh = PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP;
    pool->mutex = fresh;
    pool->owner = 0;
    pool->nesting = 0;
}
class PoolGuard {
public:
    explicit PoolGuard(PoolRecord* pool) : pool_(pool) { LockPool(pool_); }
    ~PoolGuard() { UnlockPool(pool_); }
    PoolGuard(const PoolGuard&) = delete;
    PoolGuard& operator=(const PoolGuard&) = delete;

private:
    PoolRecord* pool_;
};

// Variable-block header words. The check bits tie a header to its address and size,
// so that a pointer into the middle of a block is recognised before anything changes.
inline std::uint32_t* WordOf(char* data) {
    return reinterpret_cast<std::uint32_t*>(data - kWordBytes);
}
inline std::uint32_t CheckBits(const char* data, std::size_t size) {
    auto a = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data) >> 4);
    return ((a * 0x9E37u) ^ static_cast<std::uint32_t>(size) ^ 0x5A3Cu) & 0xFFFFu;
}
inline std::uint32_t MakeWord(const char* data, std::size_t size, std::uint32_t flags) {
    return static_cast<std::uint32_t>(size) | (CheckBits(data, size) << 16) | flags;
}
inline std::size_t WordSize(std::uint32_t word) {
    return word & kSizeMask;
}
inline bool WordValid(const char* data, std::uint32_t word) {
    return (word & 0xC) == 0 && (word >> 16) == CheckBits(data, WordSize(word));
}
inline char*& NextLink(char* data) {
    return *reinterpret_cast<char**>(data);
}
inline char*& PrevLink(char* data) {
    return *reinterpret_cast<char**>(data + 8);
}
inline std::uint32_t& TagOf(char* data, std::size_t size) {
    return *reinterpret_cast<std::uint32_t*>(data + size - 2 * kWordBytes);
}
inline char* FirstVariableBlock(char* base) {
    return base + kHeaderBytes;
}

// Small blocks: state byte before the data.
inline std::uint8_t& StateOf(char* data) {
    return *reinterpret_cast<std::uint8_t*>(data - 1);
}
// The state byte and the carving cursor are read without the pool lock by the threads'
// caches, so they are written and read as single atomic bytes and words.
inline std::uint8_t LoadState(char* data) {
    return __atomic_load_n(&StateOf(data), __ATOMIC_RELAXED);
}
inline void StoreState(char* data, std::uint8_t state) {
    __atomic_store_n(&StateOf(data), state, __ATOMIC_RELAXED);
}
inline char* CarvedEnd(PageHeader* h) {
    return __atomic_load_n(&h->word1, __ATOMIC_RELAXED);
}
inline unsigned SmallClass(std::size_t n) {
    return static_cast<unsigned>((n + 1 + kAlign - 1) / kAlign);
}

// Variable blocks waiting in a thread's cache of the default pool stay in use in their
// header; their second word holds a mark derived from the address, which makes them free
// to the caller (a free of one is refused) and to the diagnostics.
inline std::uintptr_t CachedVariableMark(const char* data) {
    return reinterpret_cast<std::uintptr_t>(data) ^ std::uintptr_t(0xCAC4EDB10C4ED00Dull);
}
inline std::uintptr_t* MarkWordOf(char* data) {
    return reinterpret_cast<std::uintptr_t*>(data + 8);
}
inline bool IsCachedVariable(char* data) {
    return __atomic_load_n(MarkWordOf(data), __ATOMIC_RELAXED) == CachedVariableMark(data);
}
inline std::size_t VariableBlockSize(std::size_t n) {
    return n + kWordBytes <= kMinVariableBlock ? kMinVariableBlock : RoundUp(n + kWordBytes, kAlign);
}

// A large page waiting in a thread's cache of the default pool keeps its place in the page
// list but is no page to anything else: its signature fails every page lookup, as a
// released page's does, the diagnostics pass over it and the pool's total leaves it out.
constexpr std::uint16_t kCachedLargeSignature = 0x1AC3;

// Fixed blocks: a free block's second word holds a mark derived from its address.
inline std::uintptr_t FreeFixedMark(const char* data) {
    return reinterpret_cast<std::uintptr_t>(data) ^ std::uintptr_t(0xF1EEB10C5EEDF00Dull);
}
inline std::size_t FixedStride(const PoolRecord* pool) {
    return RoundUp(pool->fixedSize, kAlign);
}

// Under the pool lock: whether `h`, found before the lock was taken, is still a page of `pool`.
// Another thread may have released it meanwhile (a second free of the same block at the same
// moment), and its region may be gone: the registry is cleared before a region is unmapped,
// which happens under the lock of the pool that released it.
inline bool StillPageOf(const PoolRecord* pool, PageHeader* h) {
    return IsPageBase(h) && (__atomic_load_n(&h->signature, __ATOMIC_RELAXED) & 0xFFF8) == kPageSignature &&
           h->pool == pool;
}

// Internal operations shared by the files of the engine.
// Error dispatch: non-zero asks the caller to retry.
int Report(unsigned code, PoolRecord* pool);
inline bool PoolValid(const PoolRecord* pool) {
    return pool && reinterpret_cast<std::uintptr_t>(pool) >= 0x10000 && pool->signature == kPoolSignature;
}
// The page of a block the allocator handed out, or null (nothing is read before the
// region registry confirms the address).
inline PageHeader* FindPage(const void* p) {
    char* base = PageBase(p);
    if (!IsPageBase(base)) return nullptr;
    PageHeader* h = HeaderOf(base);
    if ((__atomic_load_n(&h->signature, __ATOMIC_RELAXED) & 0xFFF8) != kPageSignature) return nullptr;
    return h;
}
PageHeader* CreatePage(PoolRecord* pool, unsigned kind, std::size_t size, unsigned* failure);
bool ReleasePage(PoolRecord* pool, PageHeader* page, bool floorTest);
void* AllocateLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure);
// A small block only (n below kSmallLimit), or null when no small page can be made.
void* AllocateSmallLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure);
// A variable block only, or null when no page serves and none can be made.
void* AllocateVariableLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure);
// False when `b` is no live block of the page `h`.
bool ReleaseBlockLocked(PoolRecord* pool, PageHeader* h, char* b);
void* AllocateFixedLocked(PoolRecord* pool, unsigned* failure);
void* AllocateAligned(PoolRecord* pool, std::size_t alignment, std::size_t n);
// Null until the first allocation made it; written once, read without a lock by every
// allocation and free, so it has a cache line to itself (a lock or counter beside it would
// make each of them wait for that line).
struct alignas(64) DefaultPoolSlot {
    PoolRecord* pool;
};
extern DefaultPoolSlot g_defaultPool;
inline PoolRecord* DefaultPoolIfExists() {
    return __atomic_load_n(&g_defaultPool.pool, __ATOMIC_ACQUIRE);
}
PoolRecord* CreateDefaultPool();
inline PoolRecord* DefaultPool() {
    PoolRecord* pool = DefaultPoolIfExists();
    return pool ? pool : CreateDefaultPool();
}
// Library record: pool list and lock.
void LockLibrary();
void UnlockLibrary();
void LockCreation();
void UnlockCreation();
PoolRecord* FirstPoolRecord();
const void* LibraryAddress();
void LinkPool(PoolRecord* pool);
void UnlinkPool(PoolRecord* pool);
void DestroyPool(PoolRecord* pool);

}  // namespace tessaro::allocator
