// Pool settings: page size, fixed size, floor and ceiling, pre-allocation and shrink.
#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {
std::size_t Shrink(PoolRecord* pool);

namespace {

// Runs `op` under the pool's lock when the pool is valid; `bad` otherwise (code 10).
template <class Result, class Op>
Result WithPool(TarrockPool handle, Result bad, Op op) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return bad;
    }
    PoolGuard guard(pool);
    return op(pool);
}

unsigned NormalizePageSize(unsigned size) {
    if (size == kDefaultPageSize) return size;
    if (size >= kMaxPageSize) return kMaxPageSize;
    if (size <= 4096) return 4096;
    unsigned power = 4096;
    while (power < size) power *= 2;
    return power > kMaxPageSize ? kMaxPageSize : power;
}

std::size_t NormalizeLimit(std::size_t bytes) {
    return bytes == static_cast<std::size_t>(-1) ? TARROCK_NO_CEILING : bytes;
}

}  // namespace
}  // namespace tessaro::allocator

using namespace tessaro::allocator;

unsigned TarrockSetPageSize(TarrockPool handle, unsigned size) {
    return WithPool(handle, 0u, [&](PoolRecord* pool) {
        unsigned normal = NormalizePageSize(size);
        if (normal < FixedStride(pool) + kHeaderBytes) return 0u;
        unsigned previous = pool->pageSize;
        pool->pageSize = normal;
        pool->largeThreshold = normal / 4;
        return previous;
    });
}

int TarrockSetFixedSize(TarrockPool handle, unsigned size) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    // Two words at least: a free block holds its link and a free mark.
    std::size_t rounded = RoundUp(size ? size : 1, kAlign);
    LockPool(pool);
    bool tooBig = rounded > pool->pageSize - kHeaderBytes;
    bool applied = !tooBig && pool->lists[kFixed] == nullptr;
    if (applied) pool->fixedSize = static_cast<unsigned>(rounded);
    UnlockPool(pool);
    if (tooBig) Report(MEM_BLOCK_TOO_BIG, pool);
    return applied ? 1 : 0;
}

std::size_t TarrockSetFloor(TarrockPool handle, std::size_t bytes) {
    return WithPool(handle, TARROCK_REFUSED, [&](PoolRecord* pool) {
        bytes = NormalizeLimit(bytes);
        if (bytes > pool->ceiling) return TARROCK_REFUSED;
        std::size_t previous = pool->floor;
        pool->floor = bytes;
        return previous;
    });
}

std::size_t TarrockSetCeiling(TarrockPool handle, std::size_t bytes) {
    return WithPool(handle, TARROCK_REFUSED, [&](PoolRecord* pool) {
        bytes = NormalizeLimit(bytes);
        if (bytes < pool->floor || bytes < TotalOf(pool)) return TARROCK_REFUSED;
        std::size_t previous = pool->ceiling;
        pool->ceiling = bytes;
        return previous;
    });
}

std::size_t TarrockPoolSize(TarrockPool handle) {
    return WithPool(handle, std::size_t(0), [](PoolRecord* pool) { return TotalOf(pool); });
}

std::size_t TarrockShrinkPool(TarrockPool handle) {
    return WithPool(handle, std::size_t(0), [](PoolRecord* pool) { return Shrink(pool); });
}

std::ptrdiff_t TarrockPreAllocate(TarrockPool handle, std::size_t bytes, unsigned kind) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return -1;
    }
    unsigned pageKind;
    switch (kind) {
        case TARROCK_FIXED_PAGES:
            pageKind = kFixed;
            break;
        case TARROCK_VARIABLE_RESERVED_PAGES:
            pageKind = kVariableReserved;
            break;
        case TARROCK_VARIABLE_PAGES:
            pageKind = kVariable;
            break;
        default:
            return -1;
    }
    if (pageKind == kFixed && !pool->fixedSize) {
        Report(MEM_ALLOC_ZERO, pool);
        return -1;
    }
    std::size_t added = 0;
    unsigned failure = 0;
    LockPool(pool);
    while (added < bytes) {
        PageHeader* h = CreatePage(pool, pageKind, pool->pageSize, &failure);
        if (!h) break;
        added += h->committed;
    }
    UnlockPool(pool);
    if (failure) Report(failure, pool);
    return static_cast<std::ptrdiff_t>(added);
}

int TarrockLockPool(TarrockPool handle) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    LockPool(pool);
    return 1;
}

int TarrockUnlockPool(TarrockPool handle) {
    PoolRecord* pool = AsRecord(handle);
    if (!PoolValid(pool)) {
        Report(MEM_BAD_MEM_POOL, nullptr);
        return 0;
    }
    UnlockPool(pool);
    return 1;
}
