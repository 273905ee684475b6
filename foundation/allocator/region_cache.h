// Regions that pages give back are kept for reuse, up to a small bound, so that the
// steady churn of large blocks and variable pages in a busy engine costs no system
// calls (and no cross-processor TLB flushes) while a pool lock is held. A kept region
// stays in the region registry until it is unmapped.
#pragma once

#include <cstddef>

namespace tessaro::allocator {

// A 64 KB-aligned region of `bytes`; `zeroed` tells whether it reads as zero (a fresh
// mapping) or holds what its last page left (a reused one). Null when none can be had.
void* TakeRegion(std::size_t bytes, bool* zeroed);
void GiveRegion(void* base, std::size_t bytes);
// Gives every kept region back to the system (also done before a mapping is refused).
void ReleaseKeptRegions();

// Fork handlers: the cache's lock is held across fork() and starts afresh in the child.
void LockRegionCacheForFork();
void UnlockRegionCacheForFork();
void ResetRegionCacheAfterFork();

}  // namespace tessaro::allocator
