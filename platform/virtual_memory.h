// Address space for the engine's allocator. Regions are mapped read-write at once
// (the kernel commits pages on first touch) and start on a 64 KB boundary, so that a
// block's page header is found by masking the block's address.
// None of these calls allocates from the heap or touches errno on success.
#pragma once

#include <cstddef>

namespace tessaro::platform {

constexpr std::size_t kRegionAlignment = 65536;
constexpr std::size_t kSystemPageSize = 4096;

// A zero-filled region of `bytes` (a multiple of 4096) at a 64 KB-aligned address;
// null when the system refuses.
void* MapAlignedRegion(std::size_t bytes);

// A zero-filled region at an address of the system's choice; null on refusal.
void* MapRegion(std::size_t bytes);

void UnmapRegion(void* base, std::size_t bytes);

// Gives the pages of [start, start + bytes) back to the system; they read as zero
// when touched again. Both ends must be multiples of 4096.
void DiscardPages(void* start, std::size_t bytes);

}  // namespace tessaro::platform
