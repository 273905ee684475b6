// Reading a text line by line, whatever the length of a line: from a file or from memory.
#pragma once

#include <cstdio>
#include <string>

// The next line with its line feed (none on a last line without one); false at
// the end of the file.
bool ReadWholeLine(std::FILE* file, std::string& line);

// The same for a text in memory, from position at (moved past the line).
bool NextWholeLine(const std::string& text, std::size_t& at, std::string& line);
