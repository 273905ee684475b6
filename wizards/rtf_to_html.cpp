#include "wizards/rtf_to_html.h"

#include <cctype>
#include <vector>

namespace tessaro::wizards {

namespace {

struct State {
    bool bold = false;
    bool italic = false;
    bool skip = false;  // inside a destination that holds no text (font table, ...)
};

void AppendEscaped(std::string& out, unsigned char c) {
    switch (c) {
        case '<':
            out += "&lt;";
            return;
        case '>':
            out += "&gt;";
            return;
        case '&':
            out += "&amp;";
            return;
        case '"':
            out += "&quot;";
            return;
        default:
            break;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c == 0x95) {
        out += "&bull;";
    } else {
        out += "&#" + std::to_string(c) + ";";  // Latin-1 agrees with Windows-1252 from 0xA0
    }
}

}  // namespace

std::string RtfToHtml(const std::string& rtf) {
    std::string out;
    std::vector<State> stack{State{}};
    State shown;  // what the open tags say
    auto sync = [&] {
        const State& want = stack.back();
        if (shown.italic && !want.italic) out += "</I>";
        if (shown.bold && !want.bold) out += "</B>";
        if (!shown.bold && want.bold) out += "<B>";
        if (!shown.italic && want.italic) out += "<I>";
        shown.bold = want.bold;
        shown.italic = want.italic;
    };
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        char c = rtf[i];
        if (c == '{') {
            stack.push_back(stack.back());
        } else if (c == '}') {
            if (stack.size() > 1) stack.pop_back();
        } else if (c == '\\' && i + 1 < rtf.size()) {
            char next = rtf[i + 1];
            if (next == '\'' && i + 3 < rtf.size()) {
                unsigned value = static_cast<unsigned>(std::stoul(rtf.substr(i + 2, 2), nullptr, 16));
                if (!stack.back().skip) {
                    sync();
                    AppendEscaped(out, static_cast<unsigned char>(value));
                }
                i += 3;
                continue;
            }
            if (!std::isalpha(static_cast<unsigned char>(next))) {  // \\ \{ \}
                if (!stack.back().skip) {
                    sync();
                    AppendEscaped(out, static_cast<unsigned char>(next));
                }
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            while (end < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[end]))) ++end;
            std::string word = rtf.substr(i + 1, end - i - 1);
            std::size_t numberEnd = end;
            if (numberEnd < rtf.size() && rtf[numberEnd] == '-') ++numberEnd;
            while (numberEnd < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[numberEnd]))) ++numberEnd;
            bool off = numberEnd > end && rtf.substr(end, numberEnd - end) == "0";
            if (numberEnd < rtf.size() && rtf[numberEnd] == ' ') ++numberEnd;  // the delimiter belongs to the word
            i = numberEnd - 1;
            if (word == "b")
                stack.back().bold = !off;
            else if (word == "i")
                stack.back().italic = !off;
            else if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info")
                stack.back().skip = true;
            else if (word == "par" && !stack.back().skip) {
                sync();
                out += "<BR>\n";
            }
        } else if (c == '\r' || c == '\n') {
            continue;  // line breaks in the source are not text
        } else if (!stack.back().skip) {
            sync();
            AppendEscaped(out, static_cast<unsigned char>(c));
        }
    }
    stack.resize(1);
    stack.back() = State{};
    sync();
    return out;
}

}  // namespace tessaro::wizards
