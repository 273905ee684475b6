// The per-thread front of the default pool for small and variable blocks. Every thread
// keeps a bounded list per small class and per variable size class (variable requests up
// to 4096 bytes are rounded up to one of a few sizes); the common allocate and free pair
// touches only that list and the block itself, and the pool lock is taken once per batch
// (refill, overflow, thread exit). A block of the default pool freed by any thread goes to
// that thread's list. Cached blocks stay in use in their pages and carry a mark of their
// own (the state byte of a small block, an address-derived word in a variable block), so
// the pool's check, walk and pointer checks stay exact without visiting other threads, and
// a second free of a cached block is refused at once.
#pragma once

#include <cstddef>

#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {

// A block of `pool`, the default pool, for n from 1 to its large threshold, from the
// calling thread's cache; null when the cache cannot serve and the caller must take
// the locked road (which then reports or falls back as it always did).
void* CachedAllocate(PoolRecord* pool, std::size_t n, unsigned flags);

// Takes `b`, a block of the small or variable page `h` of the default pool, into the calling
// thread's cache; false when `b` is no live block or the thread has no cache, and the
// caller takes the locked road (which reports a bad pointer).
bool CachedRelease(PoolRecord* pool, PageHeader* h, char* b);

// Gives the calling thread's cached blocks back to the default pool.
void FlushThreadCache();

}  // namespace tessaro::allocator
