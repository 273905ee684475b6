// Every global operator new and delete, served by the engine's allocator.
#include <new>

#include "foundation/allocator/heap.h"

using namespace tessaro::allocator;

void* operator new(std::size_t n) {
    return HeapNew(n, false);
}
void* operator new[](std::size_t n) {
    return HeapNew(n, false);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return HeapNew(n, true);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return HeapNew(n, true);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return HeapNewAligned(n, static_cast<std::size_t>(a), false);
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return HeapNewAligned(n, static_cast<std::size_t>(a), false);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return HeapNewAligned(n, static_cast<std::size_t>(a), true);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return HeapNewAligned(n, static_cast<std::size_t>(a), true);
}

void operator delete(void* p) noexcept {
    HeapFree(p);
}
void operator delete[](void* p) noexcept {
    HeapFree(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    HeapFree(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    HeapFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    HeapFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    HeapFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    HeapFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    HeapFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    HeapFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    HeapFree(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    HeapFree(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    HeapFree(p);
}
