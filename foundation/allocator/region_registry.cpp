#include "foundation/allocator/region_registry.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/virtual_memory.h"

namespace tessaro::allocator {

namespace {

// A two-level bitmap over the 47-bit user address space: the top level has one slot
// per 4 GB, each leaf one bit per 64 KB granule of its 4 GB (8 KB of bits).
constexpr unsigned kGranuleBits = 16;
constexpr unsigned kLeafBits = 16;
constexpr unsigned kTopBits = 47 - kGranuleBits - kLeafBits;
constexpr std::size_t kLeafWords = (std::size_t(1) << kLeafBits) / 64;

using Leaf = std::atomic<std::uint64_t>;
std::atomic<Leaf*> g_top[std::size_t(1) << kTopBits];

struct Position {
    std::size_t top;
    std::size_t word;
    std::uint64_t bit;
    bool valid;
};

Position Locate(const void* base) {
    std::uintptr_t granule = reinterpret_cast<std::uintptr_t>(base) >> kGranuleBits;
    Position at{};
    at.top = granule >> kLeafBits;
    at.valid = at.top < (std::size_t(1) << kTopBits);
    std::size_t inLeaf = granule & ((std::size_t(1) << kLeafBits) - 1);
    at.word = inLeaf / 64;
    at.bit = std::uint64_t(1) << (inLeaf % 64);
    return at;
}

Leaf* LeafFor(const Position& at) {
    Leaf* leaf = g_top[at.top].load(std::memory_order_acquire);
    if (leaf) return leaf;
    auto* fresh = static_cast<Leaf*>(tessaro::platform::MapRegion(kLeafWords * sizeof(Leaf)));
    if (!fresh) return nullptr;
    if (g_top[at.top].compare_exchange_strong(leaf, fresh, std::memory_order_acq_rel)) return fresh;
    tessaro::platform::UnmapRegion(fresh, kLeafWords * sizeof(Leaf));
    return leaf;
}

}  // namespace

bool RegisterPageBase(const void* base) {
    Position at = Locate(base);
    if (!at.valid) return false;
    Leaf* leaf = LeafFor(at);
    if (!leaf) return false;
    leaf[at.word].fetch_or(at.bit, std::memory_order_release);
    return true;
}

void UnregisterPageBase(const void* base) {
    Position at = Locate(base);
    if (!at.valid) return;
    if (Leaf* leaf = g_top[at.top].load(std::memory_order_acquire))
        leaf[at.word].fetch_and(~at.bit, std::memory_order_release);
}

bool IsPageBase(const void* base) {
    Position at = Locate(base);
    if (!at.valid) return false;
    Leaf* leaf = g_top[at.top].load(std::memory_order_acquire);
    return leaf && (leaf[at.word].load(std::memory_order_acquire) & at.bit) != 0;
}

}  // namespace tessaro::allocator
