// Text helpers: trimming, removing and replacing.
#pragma once

#include <string>

extern const char* const kYesText;  // "YES"
extern const char* const kNoText;   // "NO"

// Trims blanks, tabs, CR, LF, VT and FF at both ends, in place.
void TrimString(std::string& text);
std::string TrimmedCopy(const std::string& text);
// A copy without every ch / without blanks, tabs, CRs and line feeds.
std::string RemoveChar(const std::string& text, char ch);
std::string RemoveWhitespace(const std::string& text);
// Every from becomes to, in place.
void ReplaceChar(std::string& text, char from, char to);
// Every occurrence of find, left to right, without searching the inserted text
// again. An empty find changes nothing. Returns the number of replacements.
int ReplaceString(std::string& text, const std::string& find, const std::string& replace);
// The same, finding case-insensitively (ASCII).
int ReplaceStringNoCase(std::string& text, const std::string& find, const std::string& replace);
std::string UpperCopy(const std::string& text);
std::string LowerCopy(const std::string& text);
