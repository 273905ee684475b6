// Whole files as bytes, for tests that set up or check what lands on disk, and the files of
// the source tree (guides, grammars, the README) that tests hold the code against.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaro::test {

// Every byte of the file; empty when it is missing or cannot be read.
std::string ReadFileText(const std::filesystem::path& path);

// Replaces the file with exactly these bytes (made when missing).
void WriteFileText(const std::filesystem::path& path, const std::string& text);

// A file of the source tree by its path from the top, as above.
std::string ReadSourceText(const std::string& relative);

// The lines of a file of the source tree, without their line ends.
std::vector<std::string> SourceLines(const std::string& relative);

}  // namespace tessaro::test
