// Control characters in text bound for a header line, a redirect or a cookie attribute: a
// web server, a proxy or a browser may take one of them for the end of the line or of the
// value (VT, FF and NEL among them), or cut the text at a NUL.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The position of the first control character of text, or npos: a C0 control (0x00-0x1F), DEL
// (0x7F), a C1 control written in UTF-8 (U+0080-U+009F, NEL U+0085 among them), or a byte 0x85
// that is no part of a UTF-8 character (NEL in Latin-1). Bytes of other UTF-8 characters, such
// as the 0x85 that ends "\xC3\x85", are no controls.
std::size_t FindControlCharacter(std::string_view text);

// Throws CWebException* with title and the detail "The <what> holds a control character (VT),
// which is not allowed there." when text holds one.
void RefuseControlCharacters(std::string_view text, const std::string& title, const std::string& what);

// The usual short name of the control character at pos ("NUL", "TAB", "LF", "VT", "FF",
// "CR", "ESC", "DEL", "NEL", ...), or, for the other C1 controls, its code ("U+0091").
std::string ControlCharacterName(std::string_view text, std::size_t pos);
