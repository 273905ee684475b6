#include "foundation/toolmisc.h"

#include "foundation/cstring.h"
#include "foundation/rwexcept.h"

void rwAnd(RWByte* dst, const RWByte* src, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] &= src[i];
}

void rwXor(RWByte* dst, const RWByte* src, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] ^= src[i];
}

void rwOr(RWByte* dst, const RWByte* src, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] |= src[i];
}

namespace {

std::size_t firstBit(const RWByte* bytes, std::size_t nbits, bool wantSet) {
    const std::size_t nbytes = (nbits + 7) >> 3;
    for (std::size_t i = 0; i < nbytes; ++i) {
        unsigned v = wantSet ? bytes[i] : static_cast<RWByte>(~bytes[i]);
        if (i == nbytes - 1 && (nbits & 7)) v &= (1u << (nbits & 7)) - 1;
        if (v) return i * 8 + static_cast<std::size_t>(__builtin_ctz(v));
    }
    return RW_NPOS;
}

}  // namespace

std::size_t rwFirstTrue(const RWByte* bytes, std::size_t nbits) {
    return firstBit(bytes, nbits, true);
}
std::size_t rwFirstFalse(const RWByte* bytes, std::size_t nbits) {
    return firstBit(bytes, nbits, false);
}

bool rwBsearch(const void* key, const void* base, std::size_t count, std::size_t width, RWcompare compare,
               std::size_t& idx) {
    if (count == 0) {
        idx = 0;
        return false;
    }
    const char* b = static_cast<const char*>(base);
    std::size_t lo = 0;
    std::size_t hi = count - 1;
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        int c = compare(b + mid * width, key);
        if (c == 0) {
            idx = mid;
            return true;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid == 0 ? 0 : mid - 1;
    }
    idx = lo;
    return lo < count && compare(b + lo * width, key) == 0;
}

unsigned long rwLibraryVersion() {
    return 0x0701;
}

std::size_t rwNewCapacity(std::size_t capacity, std::size_t elementSize) {
    if (capacity < 16) return 16;
    const std::uint64_t bytes = static_cast<std::uint64_t>(capacity) * elementSize;
    if (bytes <= 0x7FFFFFFFu) return capacity * 2;
    if (bytes < 0xFFFFFFFDu) return 0xFFFFFFFFu / (2 * elementSize) + capacity / 2;
    static const char kWhat[] = "Buffer may not resize larger than";
    throw RWBoundsErr(RWMessageText(RWCORE_OVFLOW(), static_cast<int>(sizeof kWhat - 1), kWhat, 4294967295u));
}

RWMaskTable::RWMaskTable() {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) rows[i][j] = j < i ? 0xFF : 0x00;
}

const RWMaskTable& rwMaskTable() {
    static const RWMaskTable table;
    return table;
}
