#include "foundation/allocator/block_validation.h"

namespace tessaro::allocator {

std::size_t LiveBlockSize(PageHeader* h, char* b) {
    char* base = reinterpret_cast<char*>(h);
    if ((reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) != 0 || b < base + kHeaderBytes) return 0;
    switch (KindOf(h)) {
        case kSmall:
            return LiveSmallSize(h, b);
        case kVariable:
        case kVariableReserved:
            return LiveVariableSize(h, b);
        case kFixed: {
            std::size_t stride = FixedStride(h->pool);
            if (b >= h->word2 || (static_cast<std::size_t>(b - base) - kHeaderBytes) % stride != 0) return 0;
            if (reinterpret_cast<std::uintptr_t*>(b)[1] == FreeFixedMark(b)) return 0;
            return h->pool->fixedSize;
        }
        case kLarge:
            if (b != base + h->dataOffset) return 0;
            return h->committed - h->dataOffset;
        default:
            return 0;
    }
}

}  // namespace tessaro::allocator
