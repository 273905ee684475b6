#include "foundation/allocator/block_validation.h"

namespace tessaro::allocator {

namespace {

bool SmallStateValid(std::uint8_t state) {
    unsigned k = state & 0x1F;
    unsigned tag = state & 0xE0;
    return k >= 1 && k <= kSmallClasses && (tag == kSmallLive || tag == kSmallFree || tag == kSmallCached);
}

}  // namespace

std::size_t LiveBlockSize(PageHeader* h, char* b) {
    char* base = reinterpret_cast<char*>(h);
    if ((reinterpret_cast<std::uintptr_t>(b) & (kAlign - 1)) != 0 || b < base + kHeaderBytes) return 0;
    switch (KindOf(h)) {
        case kSmall: {
            char* carved = CarvedEnd(h);
            if (b >= carved) return 0;
            std::uint8_t state = LoadState(b);
            if ((state & 0xE0) != kSmallLive || !SmallStateValid(state)) return 0;
            std::size_t stride = kAlign * (state & 0x1F);
            char* next = b + stride;
            if (next > carved || (next < carved && !SmallStateValid(LoadState(next)))) return 0;
            return stride - 1;
        }
        case kVariable:
        case kVariableReserved: {
            char* sentinel = h->word2;
            if (b >= sentinel) return 0;
            std::uint32_t word = __atomic_load_n(WordOf(b), __ATOMIC_RELAXED);
            if (!WordValid(b, word) || !(word & kInUse)) return 0;
            std::size_t size = WordSize(word);
            if (size < kMinVariableBlock || size > static_cast<std::size_t>(sentinel - b)) return 0;
            char* next = b + size;
            std::uint32_t nextWord = __atomic_load_n(WordOf(next), __ATOMIC_RELAXED);
            if (!(nextWord & kPrevInUse)) return 0;
            if (next != sentinel && !WordValid(next, nextWord)) return 0;
            if (IsCachedVariable(b)) return 0;
            return size - kWordBytes;
        }
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
