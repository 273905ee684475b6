#include "support/quoted_excerpt.h"

namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string QuotedExcerpt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::size_t cut = limit;
    // Back to the start of the character the bound falls in (at most three bytes back); text
    // that is no UTF-8 there is cut at the bound.
    for (std::size_t back = 0; back < 3 && cut > 0 && IsContinuationByte(text[cut]); ++back) --cut;
    if (IsContinuationByte(text[cut])) cut = limit;
    std::string excerpt(text.substr(0, cut));
    excerpt += kQuoteCutMark;
    return excerpt;
}
