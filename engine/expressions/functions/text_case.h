// Case mapping of the text functions (UCase, LCase, the NoCase searches and comparisons):
// one fixed table, never the process locale. Its letters are those of Windows-1252: A-Z,
// the Latin-1 letters 0xC0-0xDE / 0xE0-0xFE (not 0xD7 and 0xF7) and the pairs S/Z caron,
// OE and Y diaeresis. A text that holds bytes of 128 and above and is well-formed UTF-8
// is taken as UTF-8: the same letters are mapped in their two-byte UTF-8 form and every
// other multi-byte character passes unchanged. Any other text is mapped byte by byte.
// Both forms keep the length, so byte positions found in a mapped copy hold in the
// original.
#pragma once

#include <string>

void UpperCaseText(std::string& text);
void LowerCaseText(std::string& text);
