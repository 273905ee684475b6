// Temporary files of the engine ("BTS" names in the temporary folder).
#pragma once

#include <string>

// Creates a new empty temporary file and returns its path; throws
// CFileException* (badPath) with the Windows error number on failure.
std::string NewTempFileName();
// Creates dir/<prefix><XXXX>.<ext> new (dir empty: the temporary folder), up to
// 10 attempts; throws CFileException* on failure. Returns the created path.
std::string CreateTempFile(const std::string& dir, const std::string& prefix, const std::string& ext);
