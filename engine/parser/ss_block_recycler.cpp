#include "engine/parser/ss_block_recycler.h"

#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A kept block stays poisoned, so a lexeme used after its release is still reported.
#define SS_POISON(block, size) ASAN_POISON_MEMORY_REGION(block, size)
#define SS_UNPOISON(block, size) ASAN_UNPOISON_MEMORY_REGION(block, size)
#else
#define SS_POISON(block, size) ((void)(block), (void)(size))
#define SS_UNPOISON(block, size) ((void)(block), (void)(size))
#endif

namespace ss_recycler {
namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kClasses = kLargestBlock / kGrain;

struct FreeBlock {
    FreeBlock* next;
};

// Plain data, so that it is usable at every point of the thread's life, also while other
// thread-local objects are destroyed after the lists were emptied.
struct Lists {
    FreeBlock* head[kClasses];
    std::size_t count[kClasses];
    bool open;    // the drain below is registered
    bool closed;  // the thread is ending: no more keeping
};
thread_local Lists t_lists{};

std::size_t classOf(std::size_t size) {
    return (size + kGrain - 1) / kGrain - 1;
}

std::size_t classBytes(std::size_t index) {
    return (index + 1) * kGrain;
}

void drain() noexcept {
    for (std::size_t c = 0; c < kClasses; ++c) {
        while (FreeBlock* block = t_lists.head[c]) {
            SS_UNPOISON(block, classBytes(c));
            t_lists.head[c] = block->next;
            ::operator delete(block);
        }
        t_lists.count[c] = 0;
    }
}

struct Drain {
    ~Drain() {
        drain();
        t_lists.closed = true;
    }
};

bool usable() {
    if (t_lists.closed) return false;
    if (!t_lists.open) {
        thread_local Drain atExit;
        (void)atExit;
        t_lists.open = true;
    }
    return true;
}

}  // namespace

void* allocate(std::size_t size) {
    if (size > kLargestBlock) return ::operator new(size);
    const std::size_t c = classOf(size == 0 ? 1 : size);
    if (!usable()) return ::operator new(classBytes(c));
    if (FreeBlock* block = t_lists.head[c]) {
        SS_UNPOISON(block, classBytes(c));
        t_lists.head[c] = block->next;
        --t_lists.count[c];
        return block;
    }
    // Always the whole class size (also above): a block may be kept by another thread and
    // must then fit any request of its class.
    return ::operator new(classBytes(c));
}

void release(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    if (size > kLargestBlock || !usable()) {
        ::operator delete(block);
        return;
    }
    const std::size_t c = classOf(size == 0 ? 1 : size);
    if (t_lists.count[c] >= kBlocksPerClass) {
        ::operator delete(block);
        return;
    }
    auto* kept = static_cast<FreeBlock*>(block);
    kept->next = t_lists.head[c];
    t_lists.head[c] = kept;
    ++t_lists.count[c];
    SS_POISON(kept, classBytes(c));
}

std::size_t heldBlocks() {
    std::size_t total = 0;
    for (std::size_t c = 0; c < kClasses; ++c) total += t_lists.count[c];
    return total;
}

}  // namespace ss_recycler
