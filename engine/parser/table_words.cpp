#include "engine/parser/table_words.h"

namespace ss_tables {

std::vector<std::uint32_t> CopyWords(const void* bytes, std::size_t size) {
    std::vector<std::uint32_t> words(size / 4);
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < words.size(); ++i, p += 4) {
        words[i] = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }
    return words;
}

}  // namespace ss_tables
