#include "platform/virtual_memory.h"
#include "platform/system_calls.h"

#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

namespace tessaro::platform {

namespace {

// errno belongs to the allocator's caller: a failed map reports through the
// allocator's own codes, and free() must leave errno as it was.
class KeepErrno {
public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }

private:
    int saved_;
};

void* MapAt(void* hint, std::size_t bytes) {
    void* p = SystemCalls().mmap(hint, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void* MapAnywhere(std::size_t bytes) {
    return MapAt(nullptr, bytes);
}

bool IsAligned(const void* p) {
    return (reinterpret_cast<std::uintptr_t>(p) & (kRegionAlignment - 1)) == 0;
}

// The system hands out address space downwards; the aligned spot just below the last
// region is usually free, which saves the over-map and its two trims.
std::atomic<std::uintptr_t> g_nextHint{0};

void RememberBelow(const void* region) {
    g_nextHint.store(reinterpret_cast<std::uintptr_t>(region), std::memory_order_relaxed);
}

}  // namespace

void* MapAlignedRegion(std::size_t bytes) {
    KeepErrno keep;
    if (bytes == 0 || bytes > (std::size_t(1) << 46)) return nullptr;
    std::uintptr_t below = g_nextHint.load(std::memory_order_relaxed);
    if (below > bytes + kRegionAlignment) {
        auto* hint = reinterpret_cast<void*>((below - bytes) & ~(kRegionAlignment - 1));
        if (void* p = MapAt(hint, bytes)) {
            if (p == hint || IsAligned(p)) {
                RememberBelow(p);
                return p;
            }
            SystemCalls().munmap(p, bytes);
        }
    }
    // Over-map by the alignment and trim both ends.
    std::size_t span = bytes + kRegionAlignment - kSystemPageSize;
    char* raw = static_cast<char*>(MapAnywhere(span));
    if (!raw) return nullptr;
    std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(raw) + kRegionAlignment - 1) & ~(kRegionAlignment - 1);
    char* aligned = reinterpret_cast<char*>(start);
    if (aligned > raw) SystemCalls().munmap(raw, static_cast<std::size_t>(aligned - raw));
    char* end = aligned + bytes;
    char* rawEnd = raw + span;
    if (rawEnd > end) SystemCalls().munmap(end, static_cast<std::size_t>(rawEnd - end));
    RememberBelow(aligned);
    return aligned;
}

void* MapRegion(std::size_t bytes) {
    KeepErrno keep;
    return MapAnywhere(bytes);
}

void UnmapRegion(void* base, std::size_t bytes) {
    KeepErrno keep;
    if (base && bytes) SystemCalls().munmap(base, bytes);
}

void DiscardPages(void* start, std::size_t bytes) {
    KeepErrno keep;
    if (start && bytes) SystemCalls().madvise(start, bytes, MADV_DONTNEED);
}

}  // namespace tessaro::platform
