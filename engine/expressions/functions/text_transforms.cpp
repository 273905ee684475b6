#include "engine/expressions/functions/text_transforms.h"

#include "engine/expressions/runtime_interface.h"

namespace {

// The output starts with room for 1 KB, so short texts take a single allocation.
constexpr std::size_t kInitialCapacity = 1024;

void Start(std::string& out, std::size_t size) {
    out.clear();
    out.reserve(size < kInitialCapacity ? kInitialCapacity : size + size / 8);
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* entity;
        switch (text[i]) {
            case '"':
                entity = "&quot;";
                break;
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '\r':
                entity = "";
                break;
            default:
                continue;
        }
        out.append(text.substr(run, i - run)).append(entity);
        run = i + 1;
    }
    out.append(text.substr(run));
}

}  // namespace

void CParagraphTransform::Transform(std::string& out, std::string_view text) const {
    Start(out, text.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            out.append(text.substr(run, i - run));
            if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
                out.append(" <P>\n");
                i += 2;
            } else {
                out.push_back(' ');
            }
            run = i + 1;
        } else if (text[i] == '\r') {
            out.append(text.substr(run, i - run));
            run = i + 1;
        }
    }
    out.append(text.substr(run)).append(" <P>");
}

void CStripCRTransform::Transform(std::string& out, std::string_view text) const {
    Start(out, text.size());
    std::size_t run = 0;
    for (std::size_t i = text.find('\r'); i != std::string_view::npos; i = text.find('\r', run)) {
        out.append(text.substr(run, i - run));
        run = i + 1;
    }
    out.append(text.substr(run));
}

void CHTMLEditTransform::Transform(std::string& out, std::string_view text) const {
    Start(out, text.size());
    AppendHtmlEscaped(out, text);
}

void CHTMLCodeTransform::Transform(std::string& out, std::string_view text) const {
    Start(out, text.size() + 11);
    out.append("<PRE>");
    AppendHtmlEscaped(out, text);
    out.append("</PRE>");
}

void CURLEncodedTransform::Transform(std::string& out, std::string_view text) const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Start(out, text.size());
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) continue;
        out.append(text.substr(run, i - run));
        if (c == ' ') {
            out.push_back('+');
        } else {
            const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(escaped, 3);
        }
        run = i + 1;
    }
    out.append(text.substr(run));
}

void CValueListTransform::Transform(std::string& out, std::string_view text) const {
    out.assign(text);
}

void CValueListTransform::TransformValue(std::string&) const {}

void CValueListTransform::AppendValue(CTracedText& out, std::string value, bool) const {
    TransformValue(value);
    out.AppendUniform(value, true);
}

void CValueListTransform::AppendSeparator(CTracedText& out) const {
    out.AppendUniform(",", true);
}

void CValueListTransform::JoinColumn(CTracedText& out, CExpressionQuery& query, int column, bool sqlText) const {
    out = CTracedText();
    const int rows = query.GetRowCount();
    for (int row = 1; row <= rows; ++row) {
        if (row > 1) AppendSeparator(out);
        AppendValue(out, query.GetCell(row, column), sqlText);
    }
}

void CQuotedValueListTransform::AppendSeparator(CTracedText& out) const {
    out.AppendLiteral(",");
}

void CQuotedValueListTransform::AppendValue(CTracedText& out, std::string value, bool sqlText) const {
    // Outside SQL text the list doubles a value's quotes itself, as TransformValue does.
    if (!sqlText) {
        TransformValue(value);
        value = value.substr(1, value.size() - 2);
    }
    out.AppendLiteral("'").AppendUniform(value, true).AppendLiteral("'");
}

void CQuotedValueListTransform::TransformValue(std::string& value) const {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted.push_back('\'');
    for (char c : value) {
        if (c == '\'') quoted.push_back('\'');
        quoted.push_back(c);
    }
    quoted.push_back('\'');
    value.swap(quoted);
}
