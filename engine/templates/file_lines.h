// Reading a text file line by line, whatever the length of a line.
#pragma once

#include <cstdio>
#include <string>

// The next line with its line feed (none on a last line without one); false at
// the end of the file.
bool ReadWholeLine(std::FILE* file, std::string& line);
