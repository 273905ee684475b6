// The C library's allocation semantics on the default pool, under internal names.
// The replacement set (malloc, operator new, ...) forwards here; nothing in this
// header replaces anything by itself.
#pragma once

#include <cstddef>
#include <new>

namespace tessaro::allocator {

// What the global throwing operator new throws when the heap is exhausted.
class CTarrockMemoryException : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "Out of memory."; }
};

void* HeapMalloc(std::size_t n);
void HeapFree(void* p);
void* HeapCalloc(std::size_t count, std::size_t size);
void* HeapRealloc(void* p, std::size_t n);
void* HeapReallocArray(void* p, std::size_t count, std::size_t size);
// Alignment must be a power of two; up to 32768.
void* HeapAligned(std::size_t alignment, std::size_t n);
int HeapPosixMemalign(void** out, std::size_t alignment, std::size_t n);
void* HeapAlignedAlloc(std::size_t alignment, std::size_t n);
void* HeapMemalign(std::size_t alignment, std::size_t n);
void* HeapValloc(std::size_t n);
void* HeapPvalloc(std::size_t n);
std::size_t HeapUsableSize(void* p);
std::size_t HeapMsize(void* p);
void* HeapExpand(void* p, std::size_t n);
// operator new: throws CTarrockMemoryException unless `nothrow`.
void* HeapNew(std::size_t n, bool nothrow);
void* HeapNewAligned(std::size_t n, std::size_t alignment, bool nothrow);

}  // namespace tessaro::allocator
