#include "engine/templates/tags/file/upload_name.h"

#include <cstring>

#include "support/text_helpers.h"

namespace {

// White space a file system or a web server may drop from the end of a name, as the bytes
// that end the name: the UTF-8 forms, then the single bytes.
constexpr const char* kTrailingSpaces[] = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE1\xA0\x8E", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
    "\xE2\x80\x8A", "\xE2\x80\x8B", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    "\xEF\xBB\xBF", " ",            "\t",           "\n",           "\v",           "\f",           "\r",
    ".",            "\x85",         "\xA0",
};

bool EndsWith(const std::string& text, const char* tail) {
    std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
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
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (const char* space : kTrailingSpaces) {
            if (!EndsWith(kept, space)) continue;
            kept.resize(kept.size() - std::strlen(space));
            stripped = true;
        }
    }
    std::string upper = UpperCopy(kept);
    return EndsWith(upper, ".TSM") || EndsWith(upper, ".KSM");
}
