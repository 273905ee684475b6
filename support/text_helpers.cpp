#include "support/text_helpers.h"

const char* const kYesText = "YES";
const char* const kNoText = "NO";

namespace {

bool IsTrimSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int ReplaceUsing(std::string& text, const std::string& haystack, const std::string& needle,
                 const std::string& replace) {
    if (needle.empty()) return 0;
    std::string out;
    int count = 0;
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = haystack.find(needle, pos);
        if (hit == std::string::npos) break;
        out.append(text, pos, hit - pos);
        out += replace;
        pos = hit + needle.size();
        ++count;
    }
    if (count == 0) return 0;
    out.append(text, pos, std::string::npos);
    text.swap(out);
    return count;
}

}  // namespace

void TrimString(std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsTrimSpace(text[b])) ++b;
    while (e > b && IsTrimSpace(text[e - 1])) --e;
    text = text.substr(b, e - b);
}

std::string TrimmedCopy(const std::string& text) {
    std::string copy = text;
    TrimString(copy);
    return copy;
}

std::string RemoveChar(const std::string& text, char ch) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ch) out += c;
    }
    return out;
}

std::string RemoveWhitespace(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') out += c;
    }
    return out;
}

void ReplaceChar(std::string& text, char from, char to) {
    for (char& c : text) {
        if (c == from) c = to;
    }
}

int ReplaceString(std::string& text, const std::string& find, const std::string& replace) {
    const std::string haystack = text;
    return ReplaceUsing(text, haystack, find, replace);
}

int ReplaceStringNoCase(std::string& text, const std::string& find, const std::string& replace) {
    return ReplaceUsing(text, UpperCopy(text), UpperCopy(find), replace);
}

std::string UpperCopy(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = Upper(c);
    return out;
}

std::string LowerCopy(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = Lower(c);
    return out;
}
