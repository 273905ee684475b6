// The allocation core: small, variable, large and fixed blocks.
#include <algorithm>
#include <cstring>

#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/thread_cache.h"

namespace tessaro::allocator {

namespace {

// Next fit from the page's rover; a block too large is split from its end, so the
// free part keeps its place in the list.
char* SearchPage(PageHeader* h, std::size_t r) {
    char* sentinel = h->word2;
    char* start = h->word1;
    char* b = start;
    std::size_t largest = 0;
    do {
        if (b != sentinel) {
            std::size_t size = WordSize(*WordOf(b));
            if (size >= r) {
                char* after = NextLink(b);
                char* block;
                std::uint32_t prevFlag = *WordOf(b) & kPrevInUse;
                if (size - r < h->minSplit) {
                    NextLink(PrevLink(b)) = after;
                    PrevLink(after) = PrevLink(b);
                    *WordOf(b) = MakeWord(b, size, kInUse | prevFlag);
                    *WordOf(b + size) |= kPrevInUse;
                    block = b;
                } else {
                    std::size_t rest = size - r;
                    *WordOf(b) = MakeWord(b, rest, prevFlag);
                    TagOf(b, rest) = static_cast<std::uint32_t>(rest);
                    block = b + rest;
                    *WordOf(block) = MakeWord(block, r, kInUse);
                    *WordOf(block + r) |= kPrevInUse;
                }
                h->word1 = after;
                ++h->inUse;
                return block;
            }
            largest = std::max(largest, size);
        }
        b = NextLink(b);
    } while (b != start);
    // Later requests of this size skip the page until a release raises the value.
    h->descriptor->value = static_cast<std::uint32_t>(largest);
    return nullptr;
}

std::size_t ShrinkLocked(PoolRecord* pool);

void* AllocateLarge(PoolRecord* pool, std::size_t n, std::size_t offset, unsigned flags, unsigned* failure) {
    for (;;) {
        PageHeader* h = CreatePage(pool, kLarge, n + offset, failure);
        if (h) {
            h->dataOffset = static_cast<std::uint32_t>(offset);
            h->inUse = 1;
            char* data = reinterpret_cast<char*>(h) + offset;
            if ((flags & TARROCK_ZERO_INIT) && !h->zeroed) std::memset(data, 0, n);
            return data;
        }
        if (ShrinkLocked(pool) == 0) return nullptr;
        *failure = 0;
    }
}

std::size_t ShrinkLocked(PoolRecord* pool) {
    std::size_t before = TotalOf(pool);
    for (unsigned kind : {kVariable, kFixed, kVariableReserved}) {
        bool refused = false;
        while (!refused) {
            Descriptor* head = pool->lists[kind];
            Descriptor* empty = nullptr;
            if (head) {
                Descriptor* d = head;
                do {
                    if (d->page->inUse == 0) empty = d;
                    d = d->next;
                } while (!empty && d != head);
            }
            if (!empty) break;
            refused = !ReleasePage(pool, empty->page, true);
        }
        if (refused) break;
    }
    return before - TotalOf(pool);
}

}  // namespace

void* AllocateVariableLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure) {
    unsigned kind = (flags & 2) ? kVariableReserved : kVariable;
    std::size_t r = VariableBlockSize(n);
    char* b = nullptr;
    if (Descriptor* head = pool->lists[kind]) {
        Descriptor* d = head;
        do {
            if (d->value >= r && (b = SearchPage(d->page, r)) != nullptr) {
                pool->lists[kind] = d;
                break;
            }
            d = d->next;
        } while (d != head);
    }
    if (!b) {
        PageHeader* h = CreatePage(pool, kind, pool->pageSize, failure);
        if (h) b = SearchPage(h, r);
    }
    if (b && (flags & TARROCK_ZERO_INIT)) std::memset(b, 0, WordSize(*WordOf(b)) - kWordBytes);
    return b;
}

void* AllocateSmallLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure) {
    unsigned k = SmallClass(n);
    std::size_t stride = kAlign * k;
    char* b = pool->smallFree[k];
    if (b) {
        pool->smallFree[k] = NextLink(b);
    } else {
        Descriptor* d = pool->lists[kSmall];
        PageHeader* h = d ? d->page : nullptr;
        if (!h || !d->value || static_cast<std::size_t>(h->word2 - (h->word1 - 1)) < stride) {
            if (h && d->value) {
                // Close the page: what is left becomes one free block of a smaller class.
                std::size_t room = static_cast<std::size_t>(h->word2 - (h->word1 - 1));
                if (room >= kAlign) {
                    auto c = static_cast<unsigned>(room / kAlign);
                    char* rest = h->word1;
                    StoreState(rest, static_cast<std::uint8_t>(kSmallFree | c));
                    NextLink(rest) = pool->smallFree[c];
                    pool->smallFree[c] = rest;
                    __atomic_store_n(&h->word1, rest + kAlign * c, __ATOMIC_RELAXED);
                }
                d->value = 0;
            }
            h = CreatePage(pool, kSmall, kRegion, failure);
            if (!h) return nullptr;
        }
        b = h->word1;
        __atomic_store_n(&h->word1, b + stride, __ATOMIC_RELAXED);
    }
    StoreState(b, static_cast<std::uint8_t>(kSmallLive | k));
    ++HeaderOf(PageBase(b))->inUse;
    if (flags & TARROCK_ZERO_INIT) std::memset(b, 0, stride - 1);
    return b;
}

std::size_t Shrink(PoolRecord* pool) {
    return ShrinkLocked(pool);
}

void* AllocateLocked(PoolRecord* pool, std::size_t n, unsigned flags, unsigned* failure) {
    if (n < kSmallLimit) {
        if (void* b = AllocateSmallLocked(pool, n, flags, failure)) return b;
        *failure = 0;
        flags &= ~2u;
    } else {
        flags &= ~2u;
        if (n > pool->largeThreshold) return AllocateLarge(pool, n, kHeaderBytes, flags, failure);
    }
    if (void* b = AllocateVariableLocked(pool, n, flags, failure)) return b;
    std::size_t needed = RoundUp(VariableBlockSize(n), kSysPage);
    if (!BelowCeiling(pool, needed)) {
        *failure = MEM_EXCEEDED_CEILING;
        return nullptr;
    }
    *failure = 0;
    return AllocateLarge(pool, n, kHeaderBytes, flags, failure);
}

void* AllocateFixedLocked(PoolRecord* pool, unsigned* failure) {
    PageHeader* h = nullptr;
    if (Descriptor* head = pool->lists[kFixed]) {
        Descriptor* d = head;
        do {
            if (d->value) {
                pool->lists[kFixed] = d;
                h = d->page;
                break;
            }
            d = d->next;
        } while (d != head);
    }
    if (!h) {
        std::size_t size = pool->pageSize;
        for (;;) {
            h = CreatePage(pool, kFixed, size, failure);
            if (h || *failure == MEM_EXCEEDED_CEILING) break;
            size /= 2;
            if (size < FixedStride(pool) + kHeaderBytes) {
                *failure = MEM_OUT_OF_MEMORY;
                break;
            }
        }
        if (!h) return nullptr;
    }
    char* b = h->word1;
    h->word1 = NextLink(b);
    if (!h->word1) h->descriptor->value = 0;
    reinterpret_cast<std::uintptr_t*>(b)[1] = 0;
    ++h->inUse;
    return b;
}

void* AllocateAligned(PoolRecord* pool, std::size_t alignment, std::size_t n) {
    std::size_t offset = std::max(kHeaderBytes, alignment);
    for (;;) {
        unsigned failure = 0;
        LockPool(pool);
        void* b = AllocateLarge(pool, n, offset, 0, &failure);
        UnlockPool(pool);
        if (b) return b;
        if (failure == MEM_EXCEEDED_CEILING) {
            Report(MEM_EXCEEDED_CEILING, pool);
            return nullptr;
        }
        if (!Report(MEM_OUT_OF_MEMORY, pool)) return nullptr;
    }
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

void* TarrockAlloc(TarrockPool handle, std::size_t n, unsigned flags) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return nullptr;
    }
    if (n == 0) {
        Report(MEM_ALLOC_ZERO, pool);
        return nullptr;
    }
    if (n > kMaxRequest) {
        Report(MEM_BLOCK_TOO_BIG, pool);
        return nullptr;
    }
    // Blocks of the default pool come from the thread's own cache, without the lock.
    if (pool == DefaultPoolIfExists()) {
        if (n < kSmallLimit || n <= pool->largeThreshold) {
            if (void* b = TakeCached(pool, n, flags)) return b;
            if (void* b = CachedAllocate(pool, n, flags)) return b;
        } else if (void* b = TakeCachedLarge(pool, n, flags)) {
            return b;
        }
    }
    // A retry starts from the top under the lock: nothing read before the handler ran
    // (which may have changed the pool) is used again.
    for (;;) {
        unsigned failure = 0;
        LockPool(pool);
        void* b = AllocateLocked(pool, n, flags, &failure);
        UnlockPool(pool);
        if (b) return b;
        if (failure == MEM_EXCEEDED_CEILING) {
            Report(MEM_EXCEEDED_CEILING, pool);
            return nullptr;
        }
        if (!Report(MEM_OUT_OF_MEMORY, pool)) return nullptr;
    }
}

void* TarrockAllocFixed(TarrockPool handle) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return nullptr;
    }
    if (!pool->fixedSize) {
        Report(MEM_ALLOC_ZERO, pool);
        return nullptr;
    }
    for (;;) {
        unsigned failure = 0;
        LockPool(pool);
        void* b = AllocateFixedLocked(pool, &failure);
        UnlockPool(pool);
        if (b) return b;
        if (failure == MEM_EXCEEDED_CEILING) return nullptr;
        if (!Report(MEM_OUT_OF_MEMORY, pool)) return nullptr;
    }
}
