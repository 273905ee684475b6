#include "tests/common/file_text.h"

#include <fstream>
#include <sstream>

namespace tessaro::test {

std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadSourceText(const std::string& relative) {
    return ReadFileText(std::string(TESSARO_SOURCE_DIR) + "/" + relative);
}

std::vector<std::string> SourceLines(const std::string& relative) {
    std::ifstream in(std::string(TESSARO_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace tessaro::test
