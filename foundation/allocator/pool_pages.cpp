// Pools, page descriptors and pages: where the address space comes from and goes back.
#include <algorithm>
#include <cstring>

#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/region_cache.h"
#include "foundation/allocator/region_registry.h"
#include "platform/virtual_memory.h"

namespace tessaro::allocator {

namespace {

using tessaro::platform::MapAlignedRegion;
using tessaro::platform::MapRegion;
using tessaro::platform::UnmapRegion;

Descriptor* TakeDescriptor(PoolRecord* pool, unsigned* failure) {
    if (Descriptor* d = pool->freeDescriptors) {
        pool->freeDescriptors = d->next;
        return d;
    }
    if (pool->descriptorNext + sizeof(Descriptor) > pool->descriptorEnd) {
        // A further region, chained through its first word.
        char* region = static_cast<char*>(MapRegion(kRegion));
        if (!region) {
            *failure = MEM_OUT_OF_MEMORY;
            return nullptr;
        }
        *reinterpret_cast<char**>(region) = pool->descriptorRegions;
        pool->descriptorRegions = region;
        pool->descriptorNext = region + sizeof(Descriptor);
        pool->descriptorEnd = region + kRegion;
        pool->descriptorCounted = region;
    }
    auto* d = reinterpret_cast<Descriptor*>(pool->descriptorNext);
    pool->descriptorNext += sizeof(Descriptor);
    // The total counts descriptor memory a system page at a time, as it is first used.
    while (pool->descriptorNext > pool->descriptorCounted) {
        pool->descriptorCounted += kSysPage;
        GrowTotal(pool, kSysPage);
    }
    return d;
}

void ReturnDescriptor(PoolRecord* pool, Descriptor* d) {
    d->kind = kFreeDescriptorKind;
    d->page = nullptr;
    d->prev = nullptr;
    d->next = pool->freeDescriptors;
    pool->freeDescriptors = d;
}

void InsertAtHead(Descriptor*& head, Descriptor* d) {
    if (!head) {
        d->next = d->prev = d;
    } else {
        d->next = head;
        d->prev = head->prev;
        head->prev->next = d;
        head->prev = d;
    }
    head = d;
}

void Unlink(Descriptor*& head, Descriptor* d) {
    if (d->next == d) {
        head = nullptr;
    } else {
        d->prev->next = d->next;
        d->next->prev = d->prev;
        if (head == d) head = d->next;
    }
}

// A variable page: one free block spanning the page, closed by an in-use sentinel of
// size 0 whose links anchor the circular free list.
void FormatVariablePage(PageHeader* h, char* base, std::size_t pageBytes, unsigned kind) {
    std::size_t usable = pageBytes & ~(kAlign - 1);
    char* sentinel = base + usable - 16;
    char* first = FirstVariableBlock(base);
    std::size_t size = static_cast<std::size_t>(sentinel - first);
    *WordOf(sentinel) = kInUse;
    *WordOf(first) = MakeWord(first, size, kPrevInUse);
    TagOf(first, size) = static_cast<std::uint32_t>(size);
    NextLink(sentinel) = PrevLink(sentinel) = first;
    NextLink(first) = PrevLink(first) = sentinel;
    h->word1 = first;
    h->word2 = sentinel;
    h->minSplit = kind == kVariable ? 64 : 32;
    h->descriptor->value = static_cast<std::uint32_t>(size);
}

void FormatFixedPage(PageHeader* h, char* base, std::size_t stride) {
    char* end = base + h->committed;
    char* head = nullptr;
    char* b = base + kHeaderBytes;
    char* last = b;
    for (; b + stride <= end; b += stride) last = b + stride;
    // Link from the top down so that the list hands out blocks in address order.
    for (char* at = last - stride; at >= base + kHeaderBytes; at -= stride) {
        NextLink(at) = head;
        reinterpret_cast<std::uintptr_t*>(at)[1] = FreeFixedMark(at);
        head = at;
    }
    h->word1 = head;
    h->word2 = last;
    h->descriptor->value = head ? 1 : 0;
}

}  // namespace

PageHeader* CreatePage(PoolRecord* pool, unsigned kind, std::size_t size, unsigned* failure) {
    std::size_t committed = RoundUp(size, kSysPage);
    if (kind != kLarge && committed > kRegion) committed = kRegion;
    if (!BelowCeiling(pool, committed)) {
        *failure = MEM_EXCEEDED_CEILING;
        return nullptr;
    }
    Descriptor* d = TakeDescriptor(pool, failure);
    if (!d) return nullptr;
    std::size_t mapped = RoundUp(committed, kRegion);
    bool zeroed = false;
    char* base = static_cast<char*>(TakeRegion(mapped, &zeroed));
    if (base && !RegisterPageBase(base)) {
        GiveRegion(base, mapped);
        base = nullptr;
    }
    if (!base) {
        ReturnDescriptor(pool, d);
        *failure = MEM_OUT_OF_MEMORY;
        return nullptr;
    }
    if (!zeroed) std::memset(base, 0, kHeaderBytes);
    PageHeader* h = HeaderOf(base);
    h->zeroed = zeroed;
    h->pool = pool;
    h->descriptor = d;
    h->committed = committed;
    h->mapped = mapped;
    h->inUse = 0;
    h->dataOffset = kHeaderBytes;
    d->page = h;
    d->kind = static_cast<std::uint16_t>(0x8000 | (kind << 12));
    d->value = 0;
    switch (kind) {
        case kVariable:
        case kVariableReserved:
            FormatVariablePage(h, base, std::min<std::size_t>(pool->pageSize, committed), kind);
            break;
        case kFixed:
            FormatFixedPage(h, base, FixedStride(pool));
            break;
        case kSmall:
            h->word1 = base + kHeaderBytes;
            h->word2 = base + kRegion;
            d->value = 1;
            break;
        default:
            break;
    }
    InsertAtHead(pool->lists[kind], d);
    GrowTotal(pool, committed);
    // Published last: until the signature is there, the page is nobody's.
    __atomic_store_n(&h->signature, static_cast<std::uint16_t>(kPageSignature | kind), __ATOMIC_RELEASE);
    return h;
}

bool ReleasePage(PoolRecord* pool, PageHeader* h, bool floorTest) {
    if (floorTest && TotalOf(pool) - h->committed < pool->floor) return false;
    Descriptor* d = h->descriptor;
    Unlink(pool->lists[(d->kind >> 12) & 7u], d);  // the signature may be cleared already
    ReturnDescriptor(pool, d);
    ShrinkTotal(pool, h->committed);
    __atomic_store_n(&h->signature, std::uint16_t(0), __ATOMIC_RELAXED);
    GiveRegion(reinterpret_cast<char*>(h), h->mapped);
    return true;
}

void DestroyPool(PoolRecord* pool) {
    LockCreation();
    LockPool(pool);
    UnlinkPool(pool);
    pool->signature = 0;
    for (unsigned kind = 0; kind < kPageKinds; ++kind)
        while (Descriptor* d = pool->lists[kind]) ReleasePage(pool, d->page, false);
    for (char* region = pool->descriptorRegions; region;) {
        char* next = *reinterpret_cast<char**>(region);
        UnmapRegion(region, kRegion);
        region = next;
    }
    UnlockPool(pool);
    UnmapRegion(pool, kRegion);
    UnlockCreation();
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

TarrockPool TarrockCreatePool(unsigned fixedSize, unsigned initialCount, unsigned flags) {
    LockCreation();
    char* region = nullptr;
    for (;;) {
        region = static_cast<char*>(MapAlignedRegion(kRegion));
        if (region || !Report(MEM_OUT_OF_MEMORY, nullptr)) break;
    }
    if (!region) {
        UnlockCreation();
        return nullptr;
    }
    auto* pool = reinterpret_cast<PoolRecord*>(region);
    pool->signature = kPoolSignature;
    pool->flags = static_cast<std::uint16_t>(flags & ~TARROCK_SERIALIZED);
    pool->pageSize = kDefaultPageSize;
    pool->largeThreshold = kDefaultPageSize / 4;
    pool->floor = 0;
    pool->ceiling = TARROCK_NO_CEILING;
    pool->total = kSysPage;
    pool->descriptorNext = region + RoundUp(sizeof(PoolRecord), sizeof(Descriptor));
    pool->descriptorEnd = region + kRegion;
    pool->descriptorCounted = region + kSysPage;
    if (flags & TARROCK_SERIALIZED) {
        InitPoolLock(pool);
        pool->flags = static_cast<std::uint16_t>(flags);
    }
    LinkPool(pool);
    UnlockCreation();
    if (fixedSize && !TarrockSetFixedSize(AsPool(pool), fixedSize)) {
        DestroyPool(pool);
        return nullptr;
    }
    if (initialCount && fixedSize)
        TarrockPreAllocate(AsPool(pool), std::size_t(initialCount) * FixedStride(pool), TARROCK_FIXED_PAGES);
    return AsPool(pool);
}

int TarrockFreePool(TarrockPool handle) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    if (pool == DefaultPoolIfExists()) return 0;  // it serves the whole process
    DestroyPool(pool);
    return 1;
}
