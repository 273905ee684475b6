// Pool and pointer checks, pool enumeration, heap check and heap walk.
#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/region_cache.h"
#include "foundation/allocator/region_registry.h"
#include "foundation/allocator/thread_cache.h"

namespace tessaro::allocator {

namespace {

struct Block {
    char* data;
    std::size_t size;
    bool live;
    bool cached;  // lent to a thread's cache: free to the caller, counted in the page's in-use
};

// Visits every block of a page in address order; false when the chain is broken.
template <class Visit>
bool ForEachBlock(PageHeader* h, Visit visit) {
    char* base = reinterpret_cast<char*>(h);
    char* b = base + kHeaderBytes;
    switch (KindOf(h)) {
        case kSmall:
            while (b < h->word1) {
                std::uint8_t state = LoadState(b);
                unsigned k = state & 0x1F;
                unsigned tag = state & 0xE0;
                if (k < 1 || k > kSmallClasses || (tag != kSmallLive && tag != kSmallFree && tag != kSmallCached))
                    return false;
                if (!visit(Block{b, kAlign * k - 1, tag == kSmallLive, tag == kSmallCached})) return true;
                b += kAlign * k;
            }
            return b == h->word1;
        case kVariable:
        case kVariableReserved: {
            char* sentinel = h->word2;
            bool prevLive = true;
            while (b < sentinel) {
                std::uint32_t word = *WordOf(b);
                std::size_t size = WordSize(word);
                if (!WordValid(b, word) || size < kMinVariableBlock || size > static_cast<std::size_t>(sentinel - b))
                    return false;
                bool live = word & kInUse;
                if (((word & kPrevInUse) != 0) != prevLive) return false;
                if (!live && (!prevLive || TagOf(b, size) != size)) return false;  // free neighbours always merge
                bool cached = live && IsCachedVariable(b);
                if (!visit(Block{b, size - kWordBytes, live && !cached, cached})) return true;
                prevLive = live;
                b += size;
            }
            return b == sentinel && (((*WordOf(sentinel) & kPrevInUse) != 0) == prevLive);
        }
        case kFixed: {
            std::size_t stride = FixedStride(h->pool);
            for (; b < h->word2; b += stride) {
                bool live = reinterpret_cast<std::uintptr_t*>(b)[1] != FreeFixedMark(b);
                if (!visit(Block{b, h->pool->fixedSize, live, false})) return true;
            }
            return b == h->word2;
        }
        case kLarge:
            // A page kept in a thread's cache shows nothing, as a released page does.
            if (__atomic_load_n(&h->signature, __ATOMIC_RELAXED) != kCachedLargeSignature)
                visit(Block{base + h->dataOffset, h->committed - h->dataOffset, true, false});
            return true;
        default:
            return false;
    }
}

// Floyd's two walkers: false when the list loops.
template <class Next>
bool ListEnds(char* head, Next next, char* end) {
    char* slow = head;
    char* fast = head;
    while (fast != end && next(fast) != end) {
        fast = next(next(fast));
        slow = next(slow);
        if (slow == fast) return false;
    }
    return true;
}

bool PageSane(PoolRecord* pool, Descriptor* d, unsigned kind) {
    PageHeader* h = d->page;
    if (!h || !IsPageBase(h)) return false;
    std::uint16_t signature = __atomic_load_n(&h->signature, __ATOMIC_RELAXED);
    bool known = signature == (kPageSignature | kind) || (kind == kLarge && signature == kCachedLargeSignature);
    return known && h->descriptor == d && h->pool == pool &&
           h->committed % kSysPage == 0 && h->committed <= h->mapped && d->kind == (0x8000 | (kind << 12));
}

bool CheckVariableFreeList(PageHeader* h, std::size_t freeBlocks) {
    char* sentinel = h->word2;
    auto next = [](char* b) { return NextLink(b); };
    if (!ListEnds(NextLink(sentinel), next, sentinel)) return false;
    char* base = reinterpret_cast<char*>(h);
    std::size_t count = 0;
    bool roverSeen = h->word1 == sentinel;
    for (char* b = NextLink(sentinel); b != sentinel; b = NextLink(b)) {
        if (b < base + kHeaderBytes || b > sentinel) return false;
        std::uint32_t word = *WordOf(b);
        if (!WordValid(b, word) || (word & kInUse) || !(word & kPrevInUse)) return false;
        if (PrevLink(NextLink(b)) != b || NextLink(PrevLink(b)) != b) return false;
        if (b == h->word1) roverSeen = true;
        ++count;
    }
    return roverSeen && count == freeBlocks;
}

bool CheckFixedFreeList(PoolRecord* pool, PageHeader* h) {
    char* base = reinterpret_cast<char*>(h);
    std::size_t stride = FixedStride(pool);
    auto next = [](char* b) { return NextLink(b); };
    if (h->word1 && !ListEnds(h->word1, next, nullptr)) return false;
    for (char* b = h->word1; b; b = NextLink(b)) {
        if (b < base + kHeaderBytes || b >= h->word2 || (static_cast<std::size_t>(b - base) - kHeaderBytes) % stride)
            return false;
        if (reinterpret_cast<std::uintptr_t*>(b)[1] != FreeFixedMark(b)) return false;
    }
    return true;
}

bool CheckSmallLists(PoolRecord* pool) {
    auto next = [](char* b) { return NextLink(b); };
    for (unsigned k = 1; k <= kSmallClasses; ++k) {
        if (pool->smallFree[k] && !ListEnds(pool->smallFree[k], next, nullptr)) return false;
        for (char* b = pool->smallFree[k]; b; b = NextLink(b)) {
            PageHeader* h = FindPage(b);
            if (!h || h->pool != pool || KindOf(h) != kSmall || b >= h->word1) return false;
            if (StateOf(b) != (kSmallFree | k)) return false;
        }
    }
    return true;
}

// Each chain handed on between threads' caches holds exactly its count of cached blocks.
bool CheckBatches(PoolRecord* pool) {
    for (unsigned k = 1; k <= kSmallClasses; ++k) {
        if (pool->batchCounts[k] > kSmallBatches) return false;
        for (unsigned i = 0; i < pool->batchCounts[k]; ++i) {
            const SmallBatch& batch = pool->batches[k][i];
            char* b = batch.head;
            unsigned seen = 0;
            for (; b && seen < batch.count; ++seen, b = NextLink(b))
                if (!cache::SmallIntact(pool, b, k)) return false;
            if (b || seen != batch.count) return false;
        }
    }
    return true;
}

// 0 good, else the code of the fault.
unsigned CheckLocked(PoolRecord* pool) {
    for (unsigned kind = 0; kind < kPageKinds; ++kind) {
        Descriptor* head = pool->lists[kind];
        if (!head) continue;
        auto next = [](Descriptor* d) { return d->next; };
        Descriptor* d = head;
        std::size_t guard = 0;
        do {
            if (!PageSane(pool, d, kind) || d->next->prev != d) return MEM_BAD_BLOCK;
            PageHeader* h = d->page;
            std::size_t live = 0, free = 0;
            if (!ForEachBlock(h, [&](const Block& b) {
                    (b.live || b.cached ? live : free) += 1;
                    return true;
                }))
                return MEM_BAD_BLOCK;
            // A large page's one block is in use, live or kept in a thread's cache meanwhile.
            if (kind == kLarge ? h->inUse != 1 : live != h->inUse) return MEM_BAD_BLOCK;
            if ((kind == kVariable || kind == kVariableReserved) && !CheckVariableFreeList(h, free))
                return MEM_BAD_FREE_BLOCK;
            if (kind == kFixed && !CheckFixedFreeList(pool, h)) return MEM_BAD_FREE_BLOCK;
            d = next(d);
            if (++guard > (std::size_t(1) << 32)) return MEM_BAD_BLOCK;
        } while (d != head);
    }
    return CheckSmallLists(pool) && CheckBatches(pool) ? 0u : unsigned(MEM_BAD_FREE_BLOCK);
}

void FillInfo(PoolRecord* pool, TarrockPoolInfoRecord* info) {
    info->pool = AsPool(pool);
    info->kinds = (pool->lists[kFixed] ? 1u : 0u) | (pool->lists[kVariableReserved] ? 2u : 0u) |
                  (pool->lists[kVariable] || pool->lists[kSmall] ? 4u : 0u);
    info->fixedSize = pool->fixedSize;
    info->pageSize = pool->pageSize;
    info->floor = pool->floor;
    info->ceiling = pool->ceiling;
    info->flags = pool->flags;
    info->library = pool->library;
}

}  // namespace

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

int TarrockCheckPool(TarrockPool handle) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    LockPool(pool);
    unsigned fault = CheckLocked(pool);
    UnlockPool(pool);
    if (fault) Report(fault, pool);
    return fault ? 0 : 1;
}

int TarrockCheckPointer(TarrockPool handle, void* p) {
    PageHeader* h = p ? FindPage(p) : nullptr;
    if (!h) {
        Report(MEM_BAD_POINTER, nullptr);
        return 0;
    }
    PoolRecord* pool = h->pool;
    if (handle && AsRecord(handle) != pool) return 0;
    int result = 0;
    LockPool(pool);
    if (StillPageOf(pool, h))
        ForEachBlock(h, [&](const Block& b) {
            if (b.data != p) return true;
            result = b.live ? 1 : -1;
            return false;
        });
    UnlockPool(pool);
    return result;
}

int TarrockPoolInfo(TarrockPool handle, void* p, TarrockPoolInfoRecord* info) {
    if (!info) return 0;
    PoolRecord* pool = AsRecord(handle);
    if (!pool && p) {
        PageHeader* h = FindPage(p);
        if (!h) {
            Report(MEM_BAD_POINTER, nullptr);
            return 0;
        }
        pool = h->pool;
    }
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    PoolGuard guard(pool);
    FillInfo(pool, info);
    return 1;
}

int TarrockFirstPool(TarrockPoolInfoRecord* info) {
    if (!info) return 0;
    LockLibrary();
    PoolRecord* pool = FirstPoolRecord();
    if (pool) FillInfo(pool, info);
    UnlockLibrary();
    return pool ? 1 : 0;
}

int TarrockNextPool(TarrockPoolInfoRecord* info) {
    if (!info) return 0;
    LockLibrary();
    PoolRecord* pool = nullptr;
    for (PoolRecord* p = FirstPoolRecord(); p; p = p->next)
        if (AsPool(p) == info->pool) pool = p->next;
    if (pool) FillInfo(pool, info);
    UnlockLibrary();
    return pool ? 1 : 0;
}

int TarrockHeapCheck() {
    PoolRecord* pool = DefaultPoolIfExists();
    if (!pool) return TARROCK_HEAP_EMPTY;
    return TarrockCheckPool(AsPool(pool)) ? TARROCK_HEAP_OK : TARROCK_HEAP_BAD_NODE;
}

int TarrockHeapSet(unsigned) {
    return TarrockHeapCheck();
}

int TarrockHeapAdd(void*, std::size_t) {
    return -1;
}

int TarrockHeapMin() {
    FlushThreadCache();
    if (PoolRecord* pool = DefaultPoolIfExists()) TarrockShrinkPool(AsPool(pool));
    ReleaseKeptRegions();
    return 0;
}

int TarrockHeapWalk(TarrockHeapEntry* entry) {
    PoolRecord* pool = DefaultPoolIfExists();
    if (!pool) return TARROCK_HEAP_EMPTY;
    if (!entry) return TARROCK_HEAP_BAD_POINTER;
    if (entry->pointer) {
        PageHeader* h = FindPage(entry->pointer);
        if (!h || h->pool != pool) return TARROCK_HEAP_BAD_POINTER;
    }
    PoolGuard guard(pool);
    bool passed = entry->pointer == nullptr;
    bool delivered = false;
    // Page kind by page kind, each page's blocks in address order.
    for (unsigned kind = 0; kind < kPageKinds && !delivered; ++kind) {
        Descriptor* head = pool->lists[kind];
        if (!head) continue;
        Descriptor* d = head;
        do {
            bool intact = ForEachBlock(d->page, [&](const Block& b) {
                if (passed) {
                    entry->pointer = b.data;
                    entry->size = b.size;
                    entry->inUse = b.live ? 1 : 0;
                    delivered = true;
                    return false;
                }
                if (b.data == entry->pointer) passed = true;
                return true;
            });
            if (!intact) return TARROCK_HEAP_BAD_NODE;
            d = d->next;
        } while (!delivered && d != head);
    }
    if (delivered) return TARROCK_HEAP_OK;
    return passed ? TARROCK_HEAP_END : TARROCK_HEAP_BAD_POINTER;
}
