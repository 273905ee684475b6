// The C library's heap functions, served by the engine's allocator. Linked only into
// programs that run on it (tsengine and its integration test); being defined in the
// executable, they take the place of the C library's for every loaded library too.
#include <malloc.h>

#include <cstdlib>

#include "foundation/allocator/heap.h"
#include "foundation/allocator/replacement/project_heap.h"

using namespace tessaro::allocator;

extern "C" {

void* malloc(size_t n) noexcept {
    return HeapMalloc(n);
}
void free(void* p) noexcept {
    HeapFree(p);
}
void* calloc(size_t count, size_t size) noexcept {
    return HeapCalloc(count, size);
}
void* realloc(void* p, size_t n) noexcept {
    return HeapRealloc(p, n);
}
void* reallocarray(void* p, size_t count, size_t size) noexcept {
    return HeapReallocArray(p, count, size);
}
void* aligned_alloc(size_t alignment, size_t n) noexcept {
    return HeapAlignedAlloc(alignment, n);
}
void* memalign(size_t alignment, size_t n) noexcept {
    return HeapMemalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) noexcept {
    return HeapPosixMemalign(out, alignment, n);
}
void* valloc(size_t n) noexcept {
    return HeapValloc(n);
}
void* pvalloc(size_t n) noexcept {
    return HeapPvalloc(n);
}
size_t malloc_usable_size(void* p) noexcept {
    return HeapUsableSize(p);
}
size_t _msize(void* p) noexcept {
    return HeapMsize(p);
}
void* _expand(void* p, size_t n) noexcept {
    return HeapExpand(p, n);
}

}  // extern "C"
