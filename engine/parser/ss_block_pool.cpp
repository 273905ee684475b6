#include "engine/parser/ss_block_pool.h"

#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A free block stays poisoned (all but its link word), so an error used after it was given
// back is still reported.
#define SS_POOL_POISON(block) ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + sizeof(void*), kStride - sizeof(void*))
#define SS_POOL_UNPOISON(block) ASAN_UNPOISON_MEMORY_REGION(block, kStride)
#else
#define SS_POOL_POISON(block) ((void)(block))
#define SS_POOL_UNPOISON(block) ((void)(block))
#endif

namespace {

void* LinkOf(const void* block) {
    void* next;
    std::memcpy(&next, block, sizeof next);
    return next;
}

void SetLink(void* block, void* next) {
    std::memcpy(block, &next, sizeof next);
}

}  // namespace

SSBlockPool::~SSBlockPool() {
    std::lock_guard lock(m_lock);
    while (m_chunks != nullptr) {
        unsigned char* previous = static_cast<unsigned char*>(LinkOf(m_chunks));
        ::operator delete(m_chunks, std::align_val_t(kAlign));
        m_chunks = previous;
    }
}

void* SSBlockPool::take() {
    std::lock_guard lock(m_lock);
    if (m_freeHead == nullptr) {
        auto* chunk = static_cast<unsigned char*>(::operator new(kChunkBytes, std::align_val_t(kAlign)));
        SetLink(chunk, m_chunks);
        m_chunks = chunk;
        ++m_chunkCount;
        // Linked so that the first block of the chunk is taken first.
        for (std::size_t i = kBlocksPerChunk; i-- > 0;) {
            void* block = chunk + kHeader + i * kStride;
            SetLink(block, m_freeHead);
            SS_POOL_POISON(block);
            m_freeHead = block;
        }
        m_freeCount += kBlocksPerChunk;
    }
    void* block = m_freeHead;
    SS_POOL_UNPOISON(block);
    m_freeHead = LinkOf(block);
    --m_freeCount;
    return block;
}

void SSBlockPool::giveBack(void* block) noexcept {
    if (block == nullptr) return;
    std::lock_guard lock(m_lock);
    SS_POOL_UNPOISON(block);
    SetLink(block, m_freeHead);
    SS_POOL_POISON(block);
    m_freeHead = block;
    ++m_freeCount;
}

bool SSBlockPool::ownsLocked(const void* block) const noexcept {
    const auto* p = static_cast<const unsigned char*>(block);
    for (const unsigned char* chunk = m_chunks; chunk != nullptr;
         chunk = static_cast<const unsigned char*>(LinkOf(chunk))) {
        if (p >= chunk + kHeader && p < chunk + kChunkBytes) return (p - chunk - kHeader) % kStride == 0;
    }
    return false;
}

bool SSBlockPool::owns(const void* block) const noexcept {
    if (block == nullptr) return false;
    std::lock_guard lock(m_lock);
    return ownsLocked(block);
}

std::size_t SSBlockPool::chunkCount() const {
    std::lock_guard lock(m_lock);
    return m_chunkCount;
}

std::size_t SSBlockPool::freeCount() const {
    std::lock_guard lock(m_lock);
    return m_freeCount;
}

SSBlockPool& SSPool() {
    // Never destroyed: errors may be given back by objects that outlive every static.
    static SSBlockPool* pool = new SSBlockPool;
    return *pool;
}
