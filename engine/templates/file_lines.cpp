#include "engine/templates/file_lines.h"

bool ReadWholeLine(std::FILE* file, std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
        line += static_cast<char>(c);
        if (c == '\n') break;
    }
    return !line.empty();
}

bool NextWholeLine(const std::string& text, std::size_t& at, std::string& line) {
    line.clear();
    if (at >= text.size()) return false;
    std::size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    line.assign(text, at, end - at);
    at = end;
    return true;
}
