// Path and file tests and small file operations. Paths may use '\' or '/'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Size of the file, 0 when it cannot be opened.
std::uint64_t GetFileSizeByName(const std::string& path);
// True for an existing directory (an empty path is false).
bool PathExists(const std::string& path);
// True when the path exists and is not a directory.
bool FileExists(const std::string& path);
// Drive and directory part with its trailing separator ("C:\a\" of "C:\a\b.txt");
// empty when the path has no directory part.
std::string GetPathDirectory(const std::string& path);
// dir = drive + directory without a trailing separator; name = file name with its
// extension; ext = extension without its dot, empty when shorter than 2 characters.
// Splits Windows client names ("C:\Users\x\a.doc") as well as Linux paths.
void SplitPath(const std::string& path, std::string& dir, std::string& name, std::string& ext);
// Writes n bytes at the start of the file (created when missing). keep = false
// truncates first; keep = true keeps the rest of the old contents. False on failure.
bool WriteFileContents(const void* data, std::size_t n, const std::string& path, bool keep);
// First occurrence of needle within the first length bytes of haystack; null when absent.
const char* FindBytes(const char* needle, const char* haystack, std::size_t length);
