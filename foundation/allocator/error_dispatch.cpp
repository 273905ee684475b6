// Error codes, the process-wide handler and the dispatch every failure goes through.
#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/allocator/pool_layout.h"
#include "platform/event_log.h"
#include "platform/process_ids.h"
#include "platform/raw_output.h"

namespace tessaro::allocator {

namespace {

struct ErrorName {
    unsigned code;
    char name[21];
};
constexpr ErrorName kErrorNames[16] = {
    {0, ""},
    {1, "MEM_INTERNAL_ERROR"},
    {2, ""},
    {3, "MEM_BLOCK_TOO_BIG"},
    {4, "MEM_ALLOC_ZERO"},
    {5, "MEM_RESIZE_FAILED"},
    {6, "MEM_LOCK_ERROR"},
    {7, "MEM_EXCEEDED_CEILING"},
    {8, "MEM_TOO_MANY_PAGES"},
    {9, "MEM_TOO_MANY_TASKS"},
    {10, "MEM_BAD_MEM_POOL"},
    {11, "MEM_BAD_BLOCK"},
    {12, "MEM_BAD_FREE_BLOCK"},
    {13, "MEM_BAD_HANDLE"},
    {14, "MEM_BAD_POINTER"},
    {15, "MEM_WRONG_TASK"},
};
constexpr const char* kOutOfMemoryText = "Out of memory.  Please free some memory, then choose retry.";
constexpr const char* kTooManyThreads = "Memory errors in too many threads concurrently.";
constexpr const char* kReentered = "Tarrock error handler recursively re-entered.";
constexpr const char* kCaption = "Tarrock Library";

int DefaultHandler(TarrockErrorInfo* info);

constexpr unsigned kThreadSlots = 25;
struct ThreadSlot {
    long thread;
    unsigned depth;
};

// Constant-initialised: the first report may come before any constructor has run.
TarrockErrorHandler g_handler = DefaultHandler;
ThreadSlot g_threads[kThreadSlots];
unsigned g_threadCount = 0;
bool g_abortOnError = false;
pthread_mutex_t g_errorLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
unsigned g_errorNesting = 0;  // changed only by the lock's owner

// One line to standard error and, for the default handler, the event log. The event
// log allocates; a failure there comes back into the dispatch as a re-entry.
void Show(const char* text, bool eventLog) {
    std::size_t captionLength = std::strlen(kCaption);
    std::size_t textLength = std::strlen(text);
    char line[160];
    std::size_t n = 0;
    auto put = [&](const char* s, std::size_t len) {
        for (std::size_t i = 0; i < len && n < sizeof line - 1; ++i) line[n++] = s[i];
    };
    put(kCaption, captionLength);
    put(": ", 2);
    put(text, textLength);
    line[n++] = '\n';
    tessaro::platform::WriteToStandardError(line, n);
    if (!eventLog) return;
    try {
        auto source = tessaro::platform::RegisterEventSource(nullptr, kCaption);
        if (source) {
            tessaro::platform::ReportEvent(source, tessaro::platform::EVENTLOG_ERROR_TYPE, 0, 0, {std::string(text)});
            tessaro::platform::DeregisterEventSource(source);
        }
    } catch (...) {
    }
}

int DefaultHandler(TarrockErrorInfo* info) {
    Show(TarrockErrorText(info ? info->code : 1), true);
    if (g_abortOnError) std::_Exit(3);
    return 0;
}

bool HandlerAddressValid(TarrockErrorHandler handler) {
    return reinterpret_cast<std::uintptr_t>(handler) >= 0x10000;
}

ThreadSlot* FindSlot(long thread) {
    for (unsigned i = 0; i < g_threadCount; ++i)
        if (g_threads[i].thread == thread) return &g_threads[i];
    return nullptr;
}

}  // namespace

int Report(unsigned code, PoolRecord* pool) {
    LockLibrary();
    TarrockErrorHandler handler = g_handler;
    if (handler && !HandlerAddressValid(handler)) handler = g_handler = DefaultHandler;
    UnlockLibrary();
    if (!handler) return 0;

    // Run the handler with no allocator lock held by this thread, so that it may free
    // or allocate; the caller's depths come back afterwards.
    unsigned poolDepth = 0;
    bool poolLocked = PoolValid(pool) && (pool->flags & TARROCK_SERIALIZED);
    if (poolLocked) {
        LockPool(pool);
        poolDepth = pool->nesting;
        for (unsigned i = 0; i < poolDepth; ++i) UnlockPool(pool);
    }
    pthread_mutex_lock(&g_errorLock);
    unsigned errorDepth = ++g_errorNesting;
    for (unsigned i = 0; i < errorDepth; ++i) {
        --g_errorNesting;
        pthread_mutex_unlock(&g_errorLock);
    }

    long self = tessaro::platform::CurrentThreadId();
    int result = 0;
    bool call = false;
    const char* message = nullptr;
    LockLibrary();
    ThreadSlot* slot = FindSlot(self);
    if (!slot && g_threadCount >= kThreadSlots) {
        message = kTooManyThreads;
    } else {
        if (!slot) {
            slot = &g_threads[g_threadCount++];
            slot->thread = self;
            slot->depth = 0;
        }
        unsigned before = slot->depth++;
        if (before == 1) message = kReentered;
        call = before == 0;
    }
    UnlockLibrary();
    if (message) Show(message, false);
    if (call) {
        TarrockErrorInfo info{code, AsPool(pool)};
        result = handler(&info);
    }
    LockLibrary();
    if (ThreadSlot* mine = FindSlot(self)) {
        if (--mine->depth == 0) *mine = g_threads[--g_threadCount];
    }
    UnlockLibrary();

    for (unsigned i = 1; i < errorDepth; ++i) {
        pthread_mutex_lock(&g_errorLock);
        ++g_errorNesting;
    }
    if (poolLocked)
        for (unsigned i = 1; i < poolDepth; ++i) LockPool(pool);
    return result;
}

void ResetErrorStateAfterFork() {
    g_errorLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
    g_errorNesting = 0;
    g_threadCount = 0;
}

void LockErrorForFork() {
    pthread_mutex_lock(&g_errorLock);
}
void UnlockErrorForFork() {
    pthread_mutex_unlock(&g_errorLock);
}

}  // namespace tessaro::allocator

using namespace tessaro::allocator;

const char* TarrockErrorName(unsigned code) {
    return code < 16 ? kErrorNames[code].name : "";
}

const char* TarrockErrorText(unsigned code) {
    if (code == MEM_OUT_OF_MEMORY) return kOutOfMemoryText;
    if (code >= 3 && code <= 14) return kErrorNames[code].name;
    return kErrorNames[MEM_INTERNAL_ERROR].name;
}

TarrockErrorHandler TarrockSetErrorHandler(TarrockErrorHandler handler) {
    if (handler && !HandlerAddressValid(handler)) return nullptr;
    LockLibrary();
    TarrockErrorHandler previous = g_handler;
    g_handler = handler;
    UnlockLibrary();
    return previous;
}

void TarrockSetAbortOnError(bool abort) {
    g_abortOnError = abort;
}
