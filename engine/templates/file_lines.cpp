#include "engine/templates/file_lines.h"

bool ReadWholeLine(std::FILE* file, std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
        line += static_cast<char>(c);
        if (c == '\n') break;
    }
    return !line.empty();
}
