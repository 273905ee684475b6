// The per-thread front of the default pool for small blocks. Every thread keeps a
// bounded list per small class; the common allocate and free pair touches only that
// list and the block's state byte, and the pool lock is taken once per batch (refill,
// overflow, thread exit). A block of the default pool freed by any thread goes to that
// thread's list. Cached blocks stay counted in their page's in-use count and carry
// their own state, so the pool's check, walk and pointer checks stay exact without
// visiting other threads, and a second free of a cached block is refused at once.
#pragma once

#include <cstddef>

#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {

// A small block (n from 1 to kSmallLimit - 1) of `pool`, the default pool, from the
// calling thread's cache; null when the cache cannot serve and the caller must take
// the locked road (which then reports or falls back as it always did).
void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags);

// Takes `b`, a block of the small page `h` of the default pool, into the calling
// thread's cache; false when `b` is no live block or the thread has no cache, and the
// caller takes the locked road (which reports a bad pointer).
bool CachedRelease(PoolRecord* pool, PageHeader* h, char* b);

// Gives the calling thread's cached blocks back to the default pool.
void FlushThreadCache();

}  // namespace tessaro::allocator
