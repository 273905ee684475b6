#pragma once
// Little-endian 32-bit words of a table, copied into own memory.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ss_tables {

// The first size / 4 words of the bytes (a trailing partial word is ignored).
std::vector<std::uint32_t> CopyWords(const void* bytes, std::size_t size);

// True when [offset, offset + length) lies inside a table of `size` bytes; never overflows.
inline bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace ss_tables
