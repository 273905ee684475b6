#pragma once

#include <cstddef>
#include <cstdint>

// Byte-array helpers under the bit vector, bit searches, a binary search, the library
// version and the buffer-growth rule of the stream readers.

using RWByte = unsigned char;

void rwAnd(RWByte* dst, const RWByte* src, std::size_t n);
void rwXor(RWByte* dst, const RWByte* src, std::size_t n);
void rwOr(RWByte* dst, const RWByte* src, std::size_t n);

// Index of the lowest set (clear) bit among the first nbits bits, or RW_NPOS.
std::size_t rwFirstTrue(const RWByte* bytes, std::size_t nbits);
std::size_t rwFirstFalse(const RWByte* bytes, std::size_t nbits);

// compare(element, key): negative when the element sorts before the key.
using RWcompare = int (*)(const void* element, const void* key);
// Returns true when found; idx receives the position found or where the search ended.
bool rwBsearch(const void* key, const void* base, std::size_t count, std::size_t width, RWcompare compare,
               std::size_t& idx);

unsigned long rwLibraryVersion();  // 0x0701

// The next capacity for a growing buffer: 16 below 16, then doubling, then the top of
// the 32-bit range; past that RWBoundsErr ([OVFLOW]).
std::size_t rwNewCapacity(std::size_t capacity, std::size_t elementSize);

// Row i holds i leading 0xFF bytes and then zeros.
struct RWMaskTable {
    RWByte rows[4][4];
    RWMaskTable();
};
const RWMaskTable& rwMaskTable();
