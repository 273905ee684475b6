// Is a pointer the start of a live block of its page? Checked under the pool lock
// before a free, resize or size query touches the page's lists, so that a double
// free or a pointer into the middle of a block is reported instead of corrupting.
// The small and variable cases are inline: the threads' caches ask on every free.
#pragma once

#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {

inline bool SmallStateValid(std::uint8_t state) {
    unsigned k = state & 0x1F;
    unsigned tag = state & 0xE0;
    return k >= 1 && k <= kSmallClasses && (tag == kSmallLive || tag == kSmallFree || tag == kSmallCached);
}

// `b` is 16-aligned and at least a header into the small page `h`: its usable size, or 0.
inline std::size_t LiveSmallSize(PageHeader* h, char* b) {
    char* carved = CarvedEnd(h);
    if (b >= carved) return 0;
    std::uint8_t state = LoadState(b);
    if ((state & 0xE0) != kSmallLive || !SmallStateValid(state)) return 0;
    std::size_t stride = kAlign * (state & 0x1F);
    char* next = b + stride;
    if (next > carved || (next < carved && !SmallStateValid(LoadState(next)))) return 0;
    return stride - 1;
}

// The same for a variable page (the sentinel is written once, when the page is made).
inline std::size_t LiveVariableSize(PageHeader* h, char* b) {
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

// The block's usable size, or 0 when `b` is not a live block of `h`.
std::size_t LiveBlockSize(PageHeader* h, char* b);

}  // namespace tessaro::allocator
