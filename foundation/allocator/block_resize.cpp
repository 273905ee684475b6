// The resize core and the usable size of a block.
#include <algorithm>
#include <cstring>

#include "foundation/allocator/block_validation.h"
#include "foundation/allocator/pool_layout.h"
#include "platform/virtual_memory.h"

namespace tessaro::allocator {

namespace {

void LinkAfterSentinel(PageHeader* h, char* b) {
    char* sentinel = h->word2;
    char* first = NextLink(sentinel);
    NextLink(b) = first;
    PrevLink(b) = sentinel;
    PrevLink(first) = b;
    NextLink(sentinel) = b;
}

void UnlinkFree(PageHeader* h, char* b) {
    NextLink(PrevLink(b)) = NextLink(b);
    PrevLink(NextLink(b)) = PrevLink(b);
    if (h->word1 == b) h->word1 = h->word2;  // the rover must stay on the list
}

// A free block of `size` at `t`, whose predecessor is in use.
void MakeFreeTail(PageHeader* h, char* t, std::size_t size) {
    *WordOf(t) = MakeWord(t, size, kPrevInUse);
    TagOf(t, size) = static_cast<std::uint32_t>(size);
    LinkAfterSentinel(h, t);
    *WordOf(t + size) &= ~kPrevInUse;
    if (size > h->descriptor->value) h->descriptor->value = static_cast<std::uint32_t>(size);
}

bool ResizeVariableInPlace(PageHeader* h, char* b, std::size_t wanted) {
    std::uint32_t word = *WordOf(b);
    std::uint32_t prevFlag = word & kPrevInUse;
    std::size_t size = WordSize(word);
    char* sentinel = h->word2;
    char* next = b + size;
    bool nextFree = next != sentinel && !(*WordOf(next) & kInUse);
    std::size_t nextSize = nextFree ? WordSize(*WordOf(next)) : 0;
    if (wanted == size) return true;
    if (wanted > size) {
        if (!nextFree || size + nextSize < wanted) return false;
        UnlinkFree(h, next);
        std::size_t whole = size + nextSize;
        if (whole - wanted >= h->minSplit) {
            *WordOf(b) = MakeWord(b, wanted, kInUse | prevFlag);
            MakeFreeTail(h, b + wanted, whole - wanted);
        } else {
            *WordOf(b) = MakeWord(b, whole, kInUse | prevFlag);
            *WordOf(b + whole) |= kPrevInUse;
        }
        return true;
    }
    std::size_t tail = size - wanted;
    if (nextFree) {
        UnlinkFree(h, next);
        tail += nextSize;
    } else if (tail < h->minSplit) {
        return true;  // too little to give back: the block keeps its size
    }
    *WordOf(b) = MakeWord(b, wanted, kInUse | prevFlag);
    MakeFreeTail(h, b + wanted, tail);
    return true;
}

enum class Outcome { InPlace, Move, Bad, TooBig };

Outcome ResizeLocked(PoolRecord* pool, PageHeader* h, char* b, std::size_t m, unsigned flags, std::size_t* copy) {
    std::size_t usable = StillPageOf(pool, h) ? LiveBlockSize(h, b) : 0;
    if (usable == 0) return Outcome::Bad;
    bool inPlaceOnly = (flags & TARROCK_RESIZE_IN_PLACE) != 0;
    switch (KindOf(h)) {
        case kSmall:
            if (m < kSmallLimit && SmallClass(m) == (StateOf(b) & 0x1Fu)) return Outcome::InPlace;
            *copy = std::min(usable, m);
            return Outcome::Move;
        case kFixed:
            if (m <= pool->fixedSize) return Outcome::InPlace;
            *copy = usable;
            return Outcome::Move;
        case kVariable:
        case kVariableReserved: {
            *copy = std::min(usable, m);
            if (m > usable && m > pool->largeThreshold) return Outcome::Move;
            std::size_t wanted = std::max(RoundUp(m + kWordBytes, kAlign), kMinVariableBlock);
            if (ResizeVariableInPlace(h, b, wanted)) {
                if (flags & TARROCK_ZERO_INIT && m > usable) std::memset(b + usable, 0, m - usable);
                return Outcome::InPlace;
            }
            return Outcome::Move;
        }
        case kLarge: {
            *copy = std::min(usable, m);
            if (!inPlaceOnly && m <= pool->largeThreshold) return Outcome::Move;
            if (m > kMaxRequest) return Outcome::TooBig;
            std::size_t committed = RoundUp(m + h->dataOffset, kSysPage);
            if (committed > h->mapped) return Outcome::Move;
            if (committed > h->committed) {
                std::size_t more = committed - h->committed;
                if (!BelowCeiling(pool, more)) return Outcome::Move;
                GrowTotal(pool, more);
                // A reused region still holds what its last page left there.
                if (flags & TARROCK_ZERO_INIT) std::memset(b + usable, 0, committed - h->committed);
            } else if (committed < h->committed) {
                char* base = reinterpret_cast<char*>(h);
                tessaro::platform::DiscardPages(base + committed, h->committed - committed);
                ShrinkTotal(pool, h->committed - committed);
            }
            h->committed = committed;
            return Outcome::InPlace;
        }
        default:
            return Outcome::Bad;
    }
}

}  // namespace

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

void* TarrockRealloc(void* p, std::size_t m, unsigned flags) {
    PageHeader* h = p ? FindPage(p) : nullptr;
    if (!h) {
        Report(MEM_BAD_POINTER, nullptr);
        return nullptr;
    }
    PoolRecord* pool = h->pool;
    if (m == 0) {
        Report(MEM_ALLOC_ZERO, pool);
        return nullptr;
    }
    if (m > kMaxRequest) {
        Report(MEM_BLOCK_TOO_BIG, pool);
        return nullptr;
    }
    std::size_t copy = 0;
    LockPool(pool);
    Outcome outcome = ResizeLocked(pool, h, static_cast<char*>(p), m, flags, &copy);
    UnlockPool(pool);
    switch (outcome) {
        case Outcome::InPlace:
            return p;
        case Outcome::Bad:
            Report(MEM_BAD_POINTER, pool);
            return nullptr;
        case Outcome::TooBig:
            Report(MEM_BLOCK_TOO_BIG, pool);
            return nullptr;
        case Outcome::Move:
            break;
    }
    if (flags & TARROCK_RESIZE_IN_PLACE) {
        Report(MEM_RESIZE_FAILED, pool);
        return nullptr;
    }
    void* moved = TarrockAlloc(AsPool(pool), m, flags & TARROCK_ZERO_INIT);
    if (!moved) return nullptr;  // the old block stays as it was
    std::memcpy(moved, p, copy);
    TarrockFree(p);
    return moved;
}

std::ptrdiff_t TarrockSizeOf(void* p) {
    PageHeader* h = p ? FindPage(p) : nullptr;
    PoolRecord* pool = h ? h->pool : nullptr;
    std::size_t usable = 0;
    if (h) {
        LockPool(pool);
        usable = StillPageOf(pool, h) ? LiveBlockSize(h, static_cast<char*>(p)) : 0;
        UnlockPool(pool);
    }
    if (usable == 0) {
        Report(MEM_BAD_POINTER, pool);
        return -1;
    }
    return static_cast<std::ptrdiff_t>(usable);
}
