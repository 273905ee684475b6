#include "platform/reg_text_format.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/win32_error.h"

namespace tessaro::platform {

std::string EscapeRegText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string RegValueDataText(std::uint32_t type, const std::string& data) {
    char buffer[16];
    if (type == REG_SZ) return "\"" + EscapeRegText(data) + "\"";
    if (type == REG_DWORD && data.size() == 4) {
        std::uint32_t v = static_cast<unsigned char>(data[0]) | static_cast<unsigned char>(data[1]) << 8 |
                          static_cast<unsigned char>(data[2]) << 16 |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(data[3])) << 24;
        std::snprintf(buffer, sizeof buffer, "%08x", v);
        return std::string("dword:") + buffer;
    }
    std::string out = "hex:";
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", static_cast<unsigned char>(data[i]));
        out += buffer;
    }
    return out;
}

std::string RegValueNameText(const std::string& name) {
    return name.empty() ? "@" : "\"" + EscapeRegText(name) + "\"";
}

long ExportRegText(HKEY key, std::ostream& out) {
    out << "[" << RegKeyPath(key) << "]\n";
    std::string name, data;
    std::uint32_t type = 0;
    long err;
    for (std::uint32_t i = 0; (err = RegEnumValue(key, i, &name, &type, &data)) == ERROR_SUCCESS; ++i) {
        out << RegValueNameText(name) << "=" << RegValueDataText(type, data) << "\n";
    }
    if (err != ERROR_NO_MORE_ITEMS) return err;
    out << "\n";
    std::vector<std::string> children;
    for (std::uint32_t i = 0; (err = RegEnumKey(key, i, &name)) == ERROR_SUCCESS; ++i) children.push_back(name);
    if (err != ERROR_NO_MORE_ITEMS) return err;
    for (const std::string& child : children) {
        HKEY sub = nullptr;
        if ((err = RegOpenKey(key, child, KEY_READ, &sub)) != ERROR_SUCCESS) return err;
        err = ExportRegText(sub, out);
        RegCloseKey(sub);
        if (err != ERROR_SUCCESS) return err;
    }
    return ERROR_SUCCESS;
}

bool ReadRegQuoted(const std::string& line, std::size_t& pos, std::string* text) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    text->clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"') return true;
        if (c == '\\') {
            if (pos >= line.size()) return false;
            char e = line[pos++];
            *text += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            *text += c;
        }
    }
    return false;
}

bool ParseRegValueData(const std::string& spec, std::uint32_t* type, std::string* data) {
    std::size_t pos = 0;
    if (!spec.empty() && spec[0] == '"') {
        *type = REG_SZ;
        return ReadRegQuoted(spec, pos, data) && spec.find_first_not_of(" \t\r", pos) == std::string::npos;
    }
    if (spec.rfind("dword:", 0) == 0) {
        char* end = nullptr;
        std::string digits = spec.substr(6);
        unsigned long v = std::strtoul(digits.c_str(), &end, 16);
        if (digits.empty() || digits.size() > 8 || (*end && *end != '\r')) return false;
        *type = REG_DWORD;
        data->assign({static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                      static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)});
        return true;
    }
    if (spec.rfind("hex:", 0) == 0) {
        *type = REG_BINARY;
        data->clear();
        std::stringstream in(spec.substr(4));
        std::string byte;
        while (std::getline(in, byte, ',')) {
            while (!byte.empty() && (byte.back() == '\r' || byte.back() == ' ')) byte.pop_back();
            if (byte.empty() && in.eof()) break;
            char* end = nullptr;
            unsigned long v = std::strtoul(byte.c_str(), &end, 16);
            if (byte.empty() || byte.size() > 2 || *end) return false;
            *data += static_cast<char>(v);
        }
        return true;
    }
    return false;
}

RegTextLine ParseRegTextLine(std::string line) {
    RegTextLine result;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == ';' || line[start] == '#') return result;
    line.erase(0, start);
    if (line[0] == '[') {
        std::size_t close = line.rfind(']');
        if (close == std::string::npos || close < 2) {
            result.kind = RegTextLine::Kind::BadKey;
            return result;
        }
        result.kind = RegTextLine::Kind::Key;
        result.key = line.substr(1, close - 1);
        return result;
    }
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ReadRegQuoted(line, pos, &result.name)) {
        result.kind = RegTextLine::Kind::BadValueName;
        return result;
    }
    if (pos >= line.size() || line[pos] != '=' ||
        !ParseRegValueData(line.substr(pos + 1), &result.type, &result.data)) {
        result.kind = RegTextLine::Kind::BadValue;
        return result;
    }
    result.kind = RegTextLine::Kind::Value;
    return result;
}

const char* RegTextLineError(RegTextLine::Kind kind) {
    switch (kind) {
        case RegTextLine::Kind::BadKey:
            return "bad key line";
        case RegTextLine::Kind::BadValueName:
            return "bad value name";
        case RegTextLine::Kind::BadValue:
            return "bad value line";
        case RegTextLine::Kind::Blank:
        case RegTextLine::Kind::Key:
        case RegTextLine::Kind::Value:
            break;
    }
    return "";
}

}  // namespace tessaro::platform
