#include "foundation/allocator/region_registry.h"

#include "platform/virtual_memory.h"

namespace tessaro::allocator {

namespace registry {

alignas(64) std::atomic<Leaf*> g_top[std::size_t(1) << kTopBits];

namespace {

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

}  // namespace registry

using namespace registry;

bool RegisterPageBase(const void* base) {
    Position at = Locate(base);
    if (!at.valid) return false;
    Leaf* leaf = LeafFor(at);
    if (!leaf) return false;
    // Every lookup reads these words: a region taken again from the region cache is still
    // registered and must not make the word's cache line move between processors.
    if (!(leaf[at.word].load(std::memory_order_relaxed) & at.bit))
        leaf[at.word].fetch_or(at.bit, std::memory_order_release);
    return true;
}

void UnregisterPageBase(const void* base) {
    Position at = Locate(base);
    if (!at.valid) return;
    Leaf* leaf = g_top[at.top].load(std::memory_order_acquire);
    if (leaf && (leaf[at.word].load(std::memory_order_relaxed) & at.bit))
        leaf[at.word].fetch_and(~at.bit, std::memory_order_release);
}

}  // namespace tessaro::allocator
