#pragma once
// Per-thread free lists for the parser's small objects.
//
// A parse makes and drops a lexeme per token and a stack element per shift and reduction;
// keeping the freed blocks on the thread that freed them, by size, lets the next parse on
// that thread take them back without going to the allocator. A block freed on another
// thread simply joins that thread's lists. Each list keeps a bounded number of blocks; the
// rest, and everything left when the thread ends, goes back to the allocator.

#include <cstddef>

namespace ss_recycler {

// Blocks larger than this come from and go to the allocator directly.
inline constexpr std::size_t kLargestBlock = 256;
// Blocks kept per size class and thread.
inline constexpr std::size_t kBlocksPerClass = 512;

void* allocate(std::size_t size);
// `size` must be the size the block was allocated with.
void release(void* block, std::size_t size) noexcept;

// Blocks held by the calling thread (tests).
std::size_t heldBlocks();

}  // namespace ss_recycler
