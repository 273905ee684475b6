#include "engine/expressions/functions/text_case.h"

#include "foundation/rwcase.h"

namespace {

// The length of the well-formed UTF-8 character at p (1 for a byte below 128), or 0 when
// the bytes there form none.
std::size_t CharacterLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80) return 1;
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
        return 0;
    if (static_cast<std::size_t>(end - p) <= more) return 0;
    for (std::size_t i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return more + 1;
}

// Maps one two-byte UTF-8 character in place when it is a letter of the table: those are
// led by 0xC3 (U+00C0-U+00FF) or 0xC5 (S/Z caron, OE, Y diaeresis).
void MapPair(unsigned char& lead, unsigned char& b, bool upper) {
    if (lead == 0xC3) {
        if (upper && b >= 0xA0 && b <= 0xBE && b != 0xB7)
            b -= 0x20;
        else if (!upper && b >= 0x80 && b <= 0x9E && b != 0x97)
            b += 0x20;
        else if (upper && b == 0xBF)
            lead = 0xC5, b = 0xB8;  // y diaeresis
    } else if (lead == 0xC5) {
        if (upper) {
            if (b == 0xA1 || b == 0x93 || b == 0xBE) --b;
        } else if (b == 0xA0 || b == 0x92 || b == 0xBD) {
            ++b;
        } else if (b == 0xB8) {
            lead = 0xC3, b = 0xBF;
        }
    }
}

void MapUtf8(std::string& text, bool upper) {
    auto* p = reinterpret_cast<unsigned char*>(text.data());
    auto* const end = p + text.size();
    while (p < end) {
        const std::size_t length = CharacterLength(p, end);
        if (length == 1)
            *p = static_cast<unsigned char>(upper ? rwcase::toUpper(*p) : rwcase::toLower(*p));
        else if (length == 2)
            MapPair(p[0], p[1], upper);
        // A byte of no character stays, and the walk goes on at the next one.
        p += length == 0 ? 1 : length;
    }
}

void MapCase(std::string& text, bool upper, TextEncoding encoding) {
    if (encoding == TextEncoding::kUtf8) {
        MapUtf8(text, upper);
        return;
    }
    for (char& c : text) c = upper ? rwcase::toUpper(c) : rwcase::toLower(c);
}

}  // namespace

TextEncoding EncodingOf(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const std::size_t length = CharacterLength(p, end);
        if (length > 1) return TextEncoding::kUtf8;
        ++p;
    }
    return TextEncoding::kWindows1252;
}

void UpperCaseText(std::string& text) {
    MapCase(text, true, EncodingOf(text));
}
void LowerCaseText(std::string& text) {
    MapCase(text, false, EncodingOf(text));
}
void UpperCaseText(std::string& text, TextEncoding encoding) {
    MapCase(text, true, encoding);
}
void LowerCaseText(std::string& text, TextEncoding encoding) {
    MapCase(text, false, encoding);
}
