#include "platform/csv_field.h"

namespace tessaro::platform {

std::string EscapeCsvField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '"') {
            out += "\"\"";
        } else if (c == '\r' || c == '\n') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> SplitQuotedCsvLine(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            while (i < line.size() && line[i] != ',') ++i;
        } else {
            while (i < line.size() && line[i] != ',') field += line[i++];
        }
        fields.push_back(field);
        if (i < line.size() && line[i] == ',') {
            ++i;
            if (i == line.size()) fields.emplace_back();
        }
    }
    return fields;
}

}  // namespace tessaro::platform
