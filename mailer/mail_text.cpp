#include "mailer/mail_text.h"

std::string DataStream(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 8);
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    if (!lineStart) out += "\r\n";
    out += ".\r\n";
    return out;
}

std::string Base64Lines(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    auto put = [&](char c) {
        out += c;
        if (++column == 72) {
            out += "\r\n";
            column = 0;
        }
    };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    if (column != 0) out += "\r\n";
    return out;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}
