#pragma once
// The runtime's pool of small blocks: it serves the recorded errors and ssAlloc.
//
// Blocks of kBlockSize bytes come from chunks of kBlocksPerChunk; a chunk's first word links
// to the chunk made before it, and the first word of each free block to the next free block.
// Chunks are never given back: a parse that fails again and again reuses the same blocks.
// One lock guards take and giveBack, since every request thread raises and frees errors.

#include <cstddef>
#include <mutex>

class SSBlockPool {
public:
    static constexpr std::size_t kBlockSize = 196;
    static constexpr std::size_t kBlocksPerChunk = 32;

    SSBlockPool() = default;
    SSBlockPool(const SSBlockPool&) = delete;
    SSBlockPool& operator=(const SSBlockPool&) = delete;
    ~SSBlockPool();

    // A block of kBlockSize bytes, aligned for any object; a new chunk is made when none is
    // free. Throws std::bad_alloc when no chunk can be made.
    void* take();
    // Puts a block of this pool back on the free list (null is ignored).
    void giveBack(void* block) noexcept;
    // Whether block lies in one of this pool's chunks.
    bool owns(const void* block) const noexcept;

    std::size_t chunkCount() const;
    std::size_t freeCount() const;

private:
    // Blocks start at the strictest alignment, so that an object of any type fits one.
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    static constexpr std::size_t kStride = (kBlockSize + kAlign - 1) / kAlign * kAlign;
    static constexpr std::size_t kHeader = kAlign;  // the chunk link, padded
    static constexpr std::size_t kChunkBytes = kHeader + kBlocksPerChunk * kStride;

    bool ownsLocked(const void* block) const noexcept;

    mutable std::mutex m_lock;
    void* m_freeHead = nullptr;
    unsigned char* m_chunks = nullptr;  // the chunk made last
    std::size_t m_chunkCount = 0;
    std::size_t m_freeCount = 0;
};

// The process-wide pool of the lexer and parser runtime.
SSBlockPool& SSPool();
