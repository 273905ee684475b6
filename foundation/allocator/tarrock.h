// The engine's own heap: pools of 64 KB-aligned regions carved into small blocks
// (below 255 bytes, per-class free lists), variable blocks (255 bytes to the large
// threshold, boundary-tagged pages searched next-fit) and large blocks (one region
// each). Every block is aligned to 16 bytes. Failures go to one process-wide error
// handler. The C library's entry points (malloc, operator new, ...) are served from
// the default pool only when the engine links the replacement set. Small and variable
// blocks of the default pool pass through a cache per thread (thread_cache.h).
#pragma once

#include <cstddef>

struct TarrockPoolRecord;
using TarrockPool = TarrockPoolRecord*;

// Error codes reported to the handler.
enum TarrockErrorCode : unsigned {
    MEM_NO_ERROR = 0,
    MEM_INTERNAL_ERROR = 1,
    MEM_OUT_OF_MEMORY = 2,
    MEM_BLOCK_TOO_BIG = 3,
    MEM_ALLOC_ZERO = 4,
    MEM_RESIZE_FAILED = 5,
    MEM_LOCK_ERROR = 6,
    MEM_EXCEEDED_CEILING = 7,
    MEM_TOO_MANY_PAGES = 8,
    MEM_TOO_MANY_TASKS = 9,
    MEM_BAD_MEM_POOL = 10,
    MEM_BAD_BLOCK = 11,
    MEM_BAD_FREE_BLOCK = 12,
    MEM_BAD_HANDLE = 13,
    MEM_BAD_POINTER = 14,
    MEM_WRONG_TASK = 15,
};

struct TarrockErrorInfo {
    unsigned code;
    TarrockPool pool;  // the pool concerned, or null
};

// Non-zero asks the failing operation to try again.
using TarrockErrorHandler = int (*)(TarrockErrorInfo*);

// Pool flags.
constexpr unsigned TARROCK_SERIALIZED = 2;
constexpr unsigned TARROCK_ZERO_INIT_DEFAULT = 8;  // default pool: malloc/new hand out zeroed blocks
// Allocation flags.
constexpr unsigned TARROCK_ZERO_INIT = 1;
constexpr unsigned TARROCK_RESIZE_IN_PLACE = 8;
// Pre-allocation kinds.
constexpr unsigned TARROCK_FIXED_PAGES = 1;
constexpr unsigned TARROCK_VARIABLE_RESERVED_PAGES = 2;
constexpr unsigned TARROCK_VARIABLE_PAGES = 4;

// A refused floor or ceiling change.
constexpr std::size_t TARROCK_REFUSED = static_cast<std::size_t>(-1);
constexpr std::size_t TARROCK_NO_CEILING = static_cast<std::size_t>(-2);

// The name of a code as the default handler shows it.
const char* TarrockErrorText(unsigned code);
// The table's own name ("" for the codes without one: 0 and 2).
const char* TarrockErrorName(unsigned code);

// Library lifecycle and handler.
int TarrockAttach();
int TarrockDetach();
TarrockErrorHandler TarrockSetErrorHandler(TarrockErrorHandler handler);
// The default handler ends the process with exit code 3 instead of returning 0.
void TarrockSetAbortOnError(bool abort);

// Pools.
TarrockPool TarrockCreatePool(unsigned fixedSize, unsigned initialCount, unsigned flags);
int TarrockFreePool(TarrockPool pool);
TarrockPool TarrockDefaultPool();  // created on first use; null when that fails
void* TarrockAlloc(TarrockPool pool, std::size_t size, unsigned flags);
void* TarrockAllocFixed(TarrockPool pool);
void* TarrockRealloc(void* block, std::size_t size, unsigned flags);
int TarrockFree(void* block);
std::ptrdiff_t TarrockSizeOf(void* block);  // -1 for a bad pointer
std::ptrdiff_t TarrockPreAllocate(TarrockPool pool, std::size_t bytes, unsigned kind);
unsigned TarrockSetPageSize(TarrockPool pool, unsigned size);
int TarrockSetFixedSize(TarrockPool pool, unsigned size);
std::size_t TarrockSetFloor(TarrockPool pool, std::size_t bytes);
std::size_t TarrockSetCeiling(TarrockPool pool, std::size_t bytes);
std::size_t TarrockPoolSize(TarrockPool pool);
std::size_t TarrockShrinkPool(TarrockPool pool);
int TarrockLockPool(TarrockPool pool);
int TarrockUnlockPool(TarrockPool pool);

// New-handler of operator new and malloc (malloc retries only in new mode).
using TarrockNewHandler = int (*)(std::size_t);
TarrockNewHandler TarrockSetNewHandler(TarrockNewHandler handler);
int TarrockSetNewMode(int mode);
// A new-handler for TarrockSetNewHandler that throws the memory exception operator new
// throws, so that the failing allocation ends at once; its 0 is never returned.
int TarrockThrowingNewHandler(std::size_t size);
// A second malloc/free pair on the default pool, the same as malloc and free (also where the
// program's own malloc is not the engine's).
void* TarrockMalloc(std::size_t size);
void TarrockMallocFree(void* block);

// Diagnostics.
struct TarrockPoolInfoRecord {
    TarrockPool pool;
    unsigned kinds;  // 1 fixed pages, 2 reserved variable pages, 4 variable or small pages
    unsigned fixedSize;
    unsigned pageSize;
    std::size_t floor;
    std::size_t ceiling;
    unsigned flags;
    const void* library;
};
int TarrockCheckPool(TarrockPool pool);                  // 1 good, 0 bad
int TarrockCheckPointer(TarrockPool pool, void* block);  // 1 live, -1 free, 0 not a block
int TarrockPoolInfo(TarrockPool pool, void* block, TarrockPoolInfoRecord* info);
int TarrockFirstPool(TarrockPoolInfoRecord* info);
int TarrockNextPool(TarrockPoolInfoRecord* info);

// Heap check and walk of the default pool.
constexpr int TARROCK_HEAP_EMPTY = -1;
constexpr int TARROCK_HEAP_OK = -2;
constexpr int TARROCK_HEAP_BAD_NODE = -4;
constexpr int TARROCK_HEAP_END = -5;
constexpr int TARROCK_HEAP_BAD_POINTER = -6;
struct TarrockHeapEntry {
    void* pointer;  // null to start
    std::size_t size;
    int inUse;
};
int TarrockHeapCheck();
int TarrockHeapSet(unsigned fill);
int TarrockHeapAdd(void* block, std::size_t size);
int TarrockHeapWalk(TarrockHeapEntry* entry);
// Releases the default pool's empty pages and the regions kept for reuse.
int TarrockHeapMin();
