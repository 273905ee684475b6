// The library record: pool list, attach count, the library and creation locks, the
// default pool and the fork handlers. All of it is constant-initialised, because the
// first allocation comes before any constructor runs; nothing here is ever torn down.
#include <pthread.h>

#include "foundation/allocator/pool_layout.h"
#include "foundation/allocator/region_cache.h"

namespace tessaro::allocator {

void ResetErrorStateAfterFork();
void LockErrorForFork();
void UnlockErrorForFork();

namespace {

struct LibraryRecord {
    PoolRecord* pools;
    unsigned attachCount;
    bool forkHandlersRegistered;
};
LibraryRecord g_library = {nullptr, 0, false};
pthread_mutex_t g_libraryLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_mutex_t g_creationLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
pthread_mutex_t g_defaultPoolLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
constexpr unsigned kDefaultPoolFlags = TARROCK_SERIALIZED;
constexpr unsigned kDefaultFixedSize = 16;

// Fork: a child must not inherit a lock that another thread of the parent held.
void PrepareFork() {
    pthread_mutex_lock(&g_defaultPoolLock);
    pthread_mutex_lock(&g_creationLock);
    for (PoolRecord* p = g_library.pools; p; p = p->next) LockPool(p);
    pthread_mutex_lock(&g_libraryLock);
    LockErrorForFork();
    LockRegionCacheForFork();
}

void ParentAfterFork() {
    UnlockRegionCacheForFork();
    UnlockErrorForFork();
    pthread_mutex_unlock(&g_libraryLock);
    for (PoolRecord* p = g_library.pools; p; p = p->next) UnlockPool(p);
    pthread_mutex_unlock(&g_creationLock);
    pthread_mutex_unlock(&g_defaultPoolLock);
}

// The child's only thread is not the owner the mutexes remember: start them afresh.
void ChildAfterFork() {
    static const pthread_mutex_t fresh = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
    for (PoolRecord* p = g_library.pools; p; p = p->next) {
        if (p->flags & TARROCK_SERIALIZED) InitPoolLock(p);
    }
    g_libraryLock = fresh;
    g_creationLock = fresh;
    g_defaultPoolLock = fresh;
    ResetErrorStateAfterFork();
    ResetRegionCacheAfterFork();
}

}  // namespace

void LockLibrary() {
    pthread_mutex_lock(&g_libraryLock);
}
void UnlockLibrary() {
    pthread_mutex_unlock(&g_libraryLock);
}
void LockCreation() {
    pthread_mutex_lock(&g_creationLock);
}
void UnlockCreation() {
    pthread_mutex_unlock(&g_creationLock);
}
PoolRecord* FirstPoolRecord() {
    return g_library.pools;
}
const void* LibraryAddress() {
    return &g_library;
}

void LinkPool(PoolRecord* pool) {
    LockLibrary();
    pool->next = g_library.pools;
    pool->library = &g_library;
    g_library.pools = pool;
    UnlockLibrary();
}

void UnlinkPool(PoolRecord* pool) {
    LockLibrary();
    for (PoolRecord** at = &g_library.pools; *at; at = &(*at)->next) {
        if (*at == pool) {
            *at = pool->next;
            break;
        }
    }
    UnlockLibrary();
}

DefaultPoolSlot g_defaultPool = {nullptr};

PoolRecord* CreateDefaultPool() {
    pthread_mutex_lock(&g_defaultPoolLock);
    PoolRecord* pool = DefaultPoolIfExists();
    if (!pool) {
        pool = AsRecord(TarrockCreatePool(kDefaultFixedSize, 0, kDefaultPoolFlags));
        __atomic_store_n(&g_defaultPool.pool, pool, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&g_defaultPoolLock);
    return pool;
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

TarrockPool TarrockDefaultPool() {
    return AsPool(DefaultPool());
}

int TarrockAttach() {
    bool registerFork = false;
    LockLibrary();
    if (g_library.attachCount == 0 && g_library.pools) ++g_library.attachCount;
    ++g_library.attachCount;
    if (!g_library.forkHandlersRegistered) registerFork = g_library.forkHandlersRegistered = true;
    UnlockLibrary();
    // Registration may allocate: never under an allocator lock.
    if (registerFork) pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);
    return 1;
}

int TarrockDetach() {
    // The last detach, and one with no attach left, destroy the pools. The default pool
    // and the locks stay for the life of the process: static destructors, other threads
    // and loaded libraries still free into it.
    LockCreation();
    LockLibrary();
    bool last = g_library.attachCount == 0 || --g_library.attachCount == 0;
    UnlockLibrary();
    if (last) {
        for (;;) {
            LockLibrary();
            PoolRecord* victim = nullptr;
            for (PoolRecord* p = g_library.pools; p; p = p->next)
                if (p != DefaultPoolIfExists() && PoolValid(p)) victim = p;
            UnlockLibrary();
            if (!victim) break;
            DestroyPool(victim);
        }
    }
    UnlockCreation();
    return 1;
}
