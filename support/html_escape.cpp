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
