#include "foundation/allocator/heap.h"

#include <cerrno>
#include <cstdint>

#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/thread_cache.h"

namespace tessaro::allocator {

namespace {

TarrockNewHandler g_newHandler = nullptr;
int g_newMode = 0;

unsigned DefaultZeroFlag(const PoolRecord* pool) {
    return (pool->flags & TARROCK_ZERO_INIT_DEFAULT) ? TARROCK_ZERO_INIT : 0;
}

bool PowerOfTwo(std::size_t n) {
    return n && (n & (n - 1)) == 0;
}

void* Fail() {
    errno = ENOMEM;
    return nullptr;
}

// One attempt on the default pool; sizes beyond any region never reach the pool,
// so no size arithmetic can wrap.
void* TryDefault(std::size_t n, unsigned flags) {
    if (n > kMaxRequest) return nullptr;
    PoolRecord* pool = DefaultPool();
    if (!pool) return nullptr;
    return TarrockAlloc(AsPool(pool), n ? n : 1, flags | DefaultZeroFlag(pool));
}

// The common case of TryDefault, as TarrockAlloc begins it: the default pool exists and
// the thread's list for the size serves. It calls nothing, so the entry points that try
// it first need no frame of their own when it succeeds.
[[gnu::always_inline]] inline void* FromThreadCache(std::size_t n) {
    PoolRecord* pool = DefaultPoolIfExists();
    if (!pool || n - 1 >= pool->largeThreshold || pool->signature != kPoolSignature) return nullptr;
    return TakeCached(pool, n, DefaultZeroFlag(pool));
}

void* TryDefaultAligned(std::size_t alignment, std::size_t n) {
    if (alignment <= kAlign) return TryDefault(n, 0);
    if (alignment > kMaxAlignment || n > kMaxRequest) return nullptr;
    PoolRecord* pool = DefaultPool();
    if (!pool) return nullptr;
    return AllocateAligned(pool, alignment, n ? n : 1);
}

[[gnu::noinline]] void* MallocRetrying(std::size_t n) {
    for (;;) {
        if (void* p = TryDefault(n, 0)) return p;
        if (!(g_newMode && g_newHandler && g_newHandler(n))) return Fail();
    }
}

[[gnu::noinline]] void FreeKeepingErrno(void* p) {
    int saved = errno;
    TarrockFree(p);
    errno = saved;
}

}  // namespace

void* HeapMalloc(std::size_t n) {
    if (void* p = FromThreadCache(n)) return p;
    return MallocRetrying(n);
}

void HeapFree(void* p) {
    if (!p || KeepCached(p)) return;
    FreeKeepingErrno(p);
}

void* HeapCalloc(std::size_t count, std::size_t size) {
    std::size_t n;
    if (__builtin_mul_overflow(count, size, &n)) return Fail();
    for (;;) {
        if (void* p = TryDefault(n, TARROCK_ZERO_INIT)) return p;
        if (!(g_newMode && g_newHandler && g_newHandler(n))) return Fail();
    }
}

void* HeapRealloc(void* p, std::size_t n) {
    if (!p) return HeapMalloc(n);
    if (n == 0) {
        HeapFree(p);
        return nullptr;
    }
    if (n > kMaxRequest) return Fail();
    void* moved = TarrockRealloc(p, n, 0);
    return moved ? moved : Fail();
}

void* HeapReallocArray(void* p, std::size_t count, std::size_t size) {
    std::size_t n;
    if (__builtin_mul_overflow(count, size, &n)) return Fail();
    return HeapRealloc(p, n);
}

void* HeapAligned(std::size_t alignment, std::size_t n) {
    void* p = TryDefaultAligned(alignment, n);
    return p ? p : Fail();
}

int HeapPosixMemalign(void** out, std::size_t alignment, std::size_t n) {
    if (!PowerOfTwo(alignment) || alignment % sizeof(void*) != 0) return EINVAL;
    int saved = errno;
    void* p = TryDefaultAligned(alignment, n);
    errno = saved;
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}

void* HeapAlignedAlloc(std::size_t alignment, std::size_t n) {
    if (!PowerOfTwo(alignment)) {
        errno = EINVAL;
        return nullptr;
    }
    return HeapAligned(alignment, n);
}

void* HeapMemalign(std::size_t alignment, std::size_t n) {
    std::size_t power = 1;
    while (power < alignment && power <= kMaxAlignment) power <<= 1;
    return HeapAligned(power, n);
}

void* HeapValloc(std::size_t n) {
    return HeapAligned(kSysPage, n);
}

void* HeapPvalloc(std::size_t n) {
    if (n > kMaxRequest) return Fail();
    return HeapAligned(kSysPage, RoundUp(n ? n : 1, kSysPage));
}

std::size_t HeapUsableSize(void* p) {
    if (!p) return 0;
    std::ptrdiff_t size = TarrockSizeOf(p);
    return size < 0 ? 0 : static_cast<std::size_t>(size);
}

std::size_t HeapMsize(void* p) {
    std::ptrdiff_t size = p ? TarrockSizeOf(p) : -1;
    if (size < 0) return ~std::size_t(3);
    return static_cast<std::size_t>(size) & ~std::size_t(3);
}

void* HeapExpand(void* p, std::size_t n) {
    if (!p || n > kMaxRequest) return nullptr;
    return TarrockRealloc(p, n ? n : 1, TARROCK_RESIZE_IN_PLACE);
}

namespace {

[[gnu::noinline]] void* NewRetrying(std::size_t n, bool nothrow) {
    for (;;) {
        if (void* p = TryDefault(n, 0)) return p;
        if (g_newHandler) {
            if (g_newHandler(n)) continue;
            break;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler) break;
        if (!nothrow) {
            handler();
            continue;
        }
        try {
            handler();
        } catch (...) {
            return nullptr;
        }
    }
    if (nothrow) return nullptr;
    throw CTarrockMemoryException();
}

}  // namespace

void* HeapNew(std::size_t n, bool nothrow) {
    if (void* p = FromThreadCache(n)) return p;
    return NewRetrying(n, nothrow);
}

void* HeapNewAligned(std::size_t n, std::size_t alignment, bool nothrow) {
    for (;;) {
        if (void* p = TryDefaultAligned(alignment, n)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) break;
        if (!nothrow) {
            handler();
            continue;
        }
        try {
            handler();
        } catch (...) {
            return nullptr;
        }
    }
    if (nothrow) return nullptr;
    throw CTarrockMemoryException();
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

TarrockNewHandler TarrockSetNewHandler(TarrockNewHandler handler) {
    TarrockNewHandler previous = g_newHandler;
    g_newHandler = handler;
    return previous;
}

int TarrockSetNewMode(int mode) {
    int previous = g_newMode;
    g_newMode = mode;
    return previous;
}

int TarrockThrowingNewHandler(std::size_t) {
    throw CTarrockMemoryException();
    return 0;
}

void* TarrockMalloc(std::size_t size) {
    return HeapMalloc(size);
}

void TarrockMallocFree(void* block) {
    HeapFree(block);
}
