#include "support/text_helpers.h"

#include "platform/ascii_text.h"

const char* const kYesText = "YES";
const char* const kNoText = "NO";

namespace {

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
    text = TrimmedCopy(text);
}

std::string TrimmedCopy(const std::string& text) {
    return std::string(tessaro::platform::TrimAscii(text));
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
    return tessaro::platform::UpperAscii(text);
}

std::string LowerCopy(const std::string& text) {
    return tessaro::platform::LowerAscii(text);
}
