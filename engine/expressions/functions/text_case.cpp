#include "engine/expressions/functions/text_case.h"

#include "foundation/rwcase.h"

namespace {

// True when the text has a byte of 128 or above and is well-formed UTF-8 throughout.
bool IsMultiByteUtf8(const std::string& text) {
    bool wide = false;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        wide = true;
        std::size_t more;
        unsigned min;
        unsigned cp;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1, min = 0x80, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, min = 0x800, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, min = 0x10000, cp = c & 0x07;
        else
            return false;
        if (static_cast<std::size_t>(end - p) <= more) return false;
        for (std::size_t i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += more + 1;
    }
    return wide;
}

// The table's letters in UTF-8 all take two bytes, led by 0xC3 (U+00C0-U+00FF) or 0xC5
// (S/Z caron, OE, Y diaeresis); the mapping changes the pair in place.
void MapUtf8(std::string& text, bool upper) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            text[i] = static_cast<char>(upper ? rwcase::toUpper(c) : rwcase::toLower(c));
            continue;
        }
        if ((c != 0xC3 && c != 0xC5) || i + 1 >= n) continue;
        auto b = static_cast<unsigned char>(text[i + 1]);
        unsigned char lead = c;
        if (c == 0xC3) {
            if (upper && b >= 0xA0 && b <= 0xBE && b != 0xB7)
                b -= 0x20;
            else if (!upper && b >= 0x80 && b <= 0x9E && b != 0x97)
                b += 0x20;
            else if (upper && b == 0xBF)
                lead = 0xC5, b = 0xB8;  // y diaeresis
        } else if (upper) {
            if (b == 0xA1 || b == 0x93 || b == 0xBE) --b;
        } else if (b == 0xA0 || b == 0x92 || b == 0xBD) {
            ++b;
        } else if (b == 0xB8) {
            lead = 0xC3, b = 0xBF;
        }
        text[i] = static_cast<char>(lead);
        text[i + 1] = static_cast<char>(b);
        ++i;
    }
}

void MapCase(std::string& text, bool upper) {
    if (IsMultiByteUtf8(text)) {
        MapUtf8(text, upper);
        return;
    }
    for (char& c : text) c = upper ? rwcase::toUpper(c) : rwcase::toLower(c);
}

}  // namespace

void UpperCaseText(std::string& text) {
    MapCase(text, true);
}
void LowerCaseText(std::string& text) {
    MapCase(text, false);
}
