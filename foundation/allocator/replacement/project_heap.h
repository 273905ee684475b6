// Heap functions of the engine's allocator that the C library does not have.
#pragma once

#include <cstddef>

extern "C" {
// Usable size of a block, rounded down to a multiple of 4.
std::size_t _msize(void* block) noexcept;
// Resizes a block where it lies; null (block unchanged) when it would have to move.
void* _expand(void* block, std::size_t size) noexcept;
}
