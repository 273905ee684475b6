// Case mapping of the text functions (UCase, LCase, the NoCase searches and comparisons):
// one fixed table, never the process locale. Its letters are A-Z and those of
// Windows-1252 above 127: the Latin-1 letters 0xC0-0xDE / 0xE0-0xFE (not 0xD7 and 0xF7)
// and the pairs S/Z caron, OE and Y diaeresis.
//
// Only what is a letter in the text's encoding is mapped. A text that holds a well-formed
// UTF-8 character of two or more bytes is UTF-8: the table's letters are mapped in their
// two-byte UTF-8 form, every other character stays, and a byte that is part of no
// well-formed character stays as it is. Any other text is Windows-1252 and is mapped byte
// by byte. A UTF-8 character is thus never mapped as Windows-1252 bytes, which would make
// different letters equal: the UTF-8 letters C with dot above (C4 8A) and E with caron
// (C4 9A) are, as Windows-1252 bytes, A diaeresis and S caron in upper and in lower case.
// Mapping keeps the length, so byte positions found in a mapped copy hold in the original.
#pragma once

#include <string>
#include <string_view>

enum class TextEncoding { kUtf8, kWindows1252 };

TextEncoding EncodingOf(std::string_view text);

void UpperCaseText(std::string& text);
void LowerCaseText(std::string& text);
// A part of a longer text (an element of a list) is mapped in that text's encoding.
void UpperCaseText(std::string& text, TextEncoding encoding);
void LowerCaseText(std::string& text, TextEncoding encoding);
