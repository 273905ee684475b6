#include "support/html_escape.h"

std::string HtmlEscape(const std::string& text, HtmlApostrophe apostrophe) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += apostrophe == HtmlApostrophe::Escape ? "&#39;" : "'";
                break;
            default:
                out += c;
        }
    }
    return out;
}

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The tag's name in capitals ("P", "/UL", "!--").
std::string TagName(const std::string& tag) {
    std::string name;
    for (std::size_t i = 1; i < tag.size() && tag[i] != '>' && tag[i] != ' ' && tag[i] != '\t' && tag[i] != '\n' &&
                            tag[i] != '\r';
         ++i)
        name += (tag[i] >= 'a' && tag[i] <= 'z') ? static_cast<char>(tag[i] - 'a' + 'A') : tag[i];
    return name;
}

}  // namespace

std::string HtmlToPlainText(const std::string& html) {
    static const struct {
        const char* reference;
        char character;
    } kReferences[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}, {"&nbsp;", ' '}, {"&amp;", '&'}};
    std::string out;
    out.reserve(html.size());
    for (std::size_t i = 0; i < html.size();) {
        const char c = html[i];
        const char next = i + 1 < html.size() ? html[i + 1] : '\0';
        if (c == '<' && (IsAsciiLetter(next) || next == '/' || next == '!')) {
            std::size_t close = html.find('>', i);
            if (close != std::string::npos) {
                // Tags inside a line of text go; every other tag parts what stands around it.
                std::string name = TagName(html.substr(i, close - i + 1));
                if (!name.empty() && name[0] == '/') name.erase(0, 1);
                static const char* const kInline[] = {"B", "I", "U", "EM", "STRONG", "CODE", "TT", "FONT", "A", "SPAN"};
                bool inlineTag = false;
                for (const char* tag : kInline) inlineTag = inlineTag || name == tag;
                if (!inlineTag) out += ' ';
                i = close + 1;
                continue;
            }
        }
        if (c == '&') {
            bool replaced = false;
            for (const auto& r : kReferences) {
                std::size_t length = std::char_traits<char>::length(r.reference);
                if (html.compare(i, length, r.reference) == 0) {
                    out += r.character;
                    i += length;
                    replaced = true;
                    break;
                }
            }
            if (replaced) continue;
        }
        out += c;
        ++i;
    }
    return out;
}
