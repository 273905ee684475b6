#include "support/control_characters.h"

#include <cstdio>

#include "support/web_exception.h"

namespace {

// The length of the well-formed UTF-8 character that starts at pos (2 to 4), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < low || byte(pos + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 0;
    return length;
}

bool IsC1InUtf8(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]) == 0xC2 && static_cast<unsigned char>(text[pos + 1]) <= 0x9F;
}

}  // namespace

std::size_t FindControlCharacter(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        if (c < 0x20 || c == 0x7F) return pos;
        if (c < 0x80) {
            ++pos;
            continue;
        }
        const std::size_t length = Utf8Length(text, pos);
        if (length == 2 && IsC1InUtf8(text, pos)) return pos;
        if (length == 0 && c == 0x85) return pos;
        pos += length == 0 ? 1 : length;
    }
    return std::string_view::npos;
}

void RefuseControlCharacters(std::string_view text, const std::string& title, const std::string& what) {
    const std::size_t at = FindControlCharacter(text);
    if (at == std::string_view::npos) return;
    throw new CWebException(CWebMessage::Value(title), CWebMessage("The ") + what + " holds a control character (" +
                                                           ControlCharacterName(text, at) +
                                                           "), which is not allowed there.");
}

std::string ControlCharacterName(std::string_view text, std::size_t pos) {
    static const char* const kC0[] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "TAB", "LF",
                                      "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                      "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (pos >= text.size()) return {};
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x20) return kC0[c];
    if (c == 0x7F) return "DEL";
    unsigned code = c;
    if (c == 0xC2 && pos + 1 < text.size()) code = static_cast<unsigned char>(text[pos + 1]);
    if (code == 0x85) return "NEL";
    char name[16];
    std::snprintf(name, sizeof name, c == 0xC2 ? "U+%04X" : "0x%02X", code);
    return name;
}
