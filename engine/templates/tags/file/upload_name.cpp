#include "engine/templates/tags/file/upload_name.h"

#include <cstring>

#include "support/text_helpers.h"

namespace {

// White space a file system or a web server may drop from the end of a name: next line and
// no-break space, the Ogham and Mongolian spaces, the typographic spaces up to the zero-width
// one, the line and paragraph separators, the narrow, mathematical and ideographic spaces and
// the byte order mark. Each is taken away in UTF-8; next line and no-break space also as the
// single Latin-1 byte.
constexpr char32_t kUnicodeSpaces[] = {0x0085, 0x00A0, 0x1680, 0x180E, 0x2000, 0x2001, 0x2002, 0x2003,
                                       0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x200B,
                                       0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0xFEFF};
constexpr const char* kByteSpaces = " \t\n\v\f\r.\x85\xA0";

std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Takes one trailing space away; false when the name ends in none.
bool DropTrailingSpace(std::string& name) {
    for (char32_t c : kUnicodeSpaces) {
        const std::string bytes = Utf8(c);
        if (!EndsWith(name, bytes)) continue;
        name.resize(name.size() - bytes.size());
        return true;
    }
    if (name.empty() || name.back() == '\0' || std::strchr(kByteSpaces, name.back()) == nullptr) return false;
    name.pop_back();
    return true;
}

}  // namespace

bool HasControlCharacter(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(name[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

bool NamesATemplate(const std::string& name) {
    std::string kept = name;
    while (DropTrailingSpace(kept)) {
    }
    std::string upper = UpperCopy(kept);
    return EndsWith(upper, ".TSM") || EndsWith(upper, ".KSM");
}
