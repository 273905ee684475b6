// Which 64 KB granules start a page of this allocator. Lookups take no lock, so free()
// can tell a foreign pointer before it reads a byte of the address; they are inline,
// since every free and every block taken from a thread's cache asks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tessaro::allocator {

// False when the registry cannot grow (the page must then not be used). A region stays
// registered while the region cache keeps it (it is still mapped, and its header tells that
// it is no page); it is unregistered before it is unmapped.
bool RegisterPageBase(const void* base);
void UnregisterPageBase(const void* base);

namespace registry {

// A two-level bitmap over the 47-bit user address space: the top level has one slot
// per 4 GB, each leaf one bit per 64 KB granule of its 4 GB (8 KB of bits).
constexpr unsigned kGranuleBits = 16;
constexpr unsigned kLeafBits = 16;
constexpr unsigned kTopBits = 47 - kGranuleBits - kLeafBits;
constexpr std::size_t kLeafWords = (std::size_t(1) << kLeafBits) / 64;

using Leaf = std::atomic<std::uint64_t>;
// Read by every free; written only when a leaf is first needed.
alignas(64) extern std::atomic<Leaf*> g_top[std::size_t(1) << kTopBits];

struct Position {
    std::size_t top;
    std::size_t word;
    std::uint64_t bit;
    bool valid;
};

inline Position Locate(const void* base) {
    std::uintptr_t granule = reinterpret_cast<std::uintptr_t>(base) >> kGranuleBits;
    Position at{};
    at.top = granule >> kLeafBits;
    at.valid = at.top < (std::size_t(1) << kTopBits);
    std::size_t inLeaf = granule & ((std::size_t(1) << kLeafBits) - 1);
    at.word = inLeaf / 64;
    at.bit = std::uint64_t(1) << (inLeaf % 64);
    return at;
}

}  // namespace registry

inline bool IsPageBase(const void* base) {
    registry::Position at = registry::Locate(base);
    if (!at.valid) return false;
    registry::Leaf* leaf = registry::g_top[at.top].load(std::memory_order_acquire);
    return leaf && (leaf[at.word].load(std::memory_order_acquire) & at.bit) != 0;
}

}  // namespace tessaro::allocator
