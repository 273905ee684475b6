#include "platform/virtual_memory.h"

#include <sys/mman.h>

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

void* MapAnywhere(std::size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

void* MapAlignedRegion(std::size_t bytes) {
    KeepErrno keep;
    if (bytes == 0 || bytes > (std::size_t(1) << 46)) return nullptr;
    // Most maps land aligned when the size is a multiple of 64 KB; try that first.
    void* p = MapAnywhere(bytes);
    if (!p) return nullptr;
    if ((reinterpret_cast<std::uintptr_t>(p) & (kRegionAlignment - 1)) == 0) return p;
    ::munmap(p, bytes);
    // Over-map by the alignment and trim both ends.
    std::size_t span = bytes + kRegionAlignment - kSystemPageSize;
    char* raw = static_cast<char*>(MapAnywhere(span));
    if (!raw) return nullptr;
    std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(raw) + kRegionAlignment - 1) & ~(kRegionAlignment - 1);
    char* aligned = reinterpret_cast<char*>(start);
    if (aligned > raw) ::munmap(raw, static_cast<std::size_t>(aligned - raw));
    char* end = aligned + bytes;
    char* rawEnd = raw + span;
    if (rawEnd > end) ::munmap(end, static_cast<std::size_t>(rawEnd - end));
    return aligned;
}

void* MapRegion(std::size_t bytes) {
    KeepErrno keep;
    return MapAnywhere(bytes);
}

void UnmapRegion(void* base, std::size_t bytes) {
    KeepErrno keep;
    if (base && bytes) ::munmap(base, bytes);
}

void DiscardPages(void* start, std::size_t bytes) {
    KeepErrno keep;
    if (start && bytes) ::madvise(start, bytes, MADV_DONTNEED);
}

}  // namespace tessaro::platform
