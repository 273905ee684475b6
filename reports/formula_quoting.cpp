#include "reports/formula_quoting.h"

namespace tessaro::reports {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with at most one point (and a digit somewhere), after an optional '-'.
bool IsPlainNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    bool digit = false, point = false;
    for (char c : text) {
        if (IsDigit(c)) {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

// Runs of the same kind joined: two values side by side are one value.
std::vector<FormulaPiece> Joined(const std::vector<FormulaPiece>& pieces) {
    std::vector<FormulaPiece> joined;
    for (const FormulaPiece& piece : pieces) {
        if (piece.text.empty()) continue;
        if (!joined.empty() && joined.back().value == piece.value)
            joined.back().text += piece.text;
        else
            joined.push_back(piece);
    }
    return joined;
}

}  // namespace

std::string FormulaTextLiteral(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

bool IsFormulaTextLiteral(std::string_view text) {
    if (text.size() < 2 || (text.front() != '\'' && text.front() != '"') || text.back() != text.front()) return false;
    const char quote = text.front();
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] != quote) continue;
        if (i + 2 >= text.size() || text[i + 1] != quote) return false;
        ++i;
    }
    return true;
}

std::string QuoteFormulaValues(const std::vector<FormulaPiece>& pieces) {
    enum class Where { Outside, InText, InReference } where = Where::Outside;
    char quote = 0;
    std::string out;
    // Whether out ends with a value's own text, whose closing quote a '"' next to it would double.
    bool afterValueText = false;
    for (const FormulaPiece& piece : Joined(pieces)) {
        const std::string& text = piece.text;
        if (!piece.value) {
            if (afterValueText && text.front() == '"') out += ' ';
            afterValueText = false;
            for (std::size_t i = 0; i < text.size(); ++i) {
                const char c = text[i];
                out += c;
                if (where == Where::Outside) {
                    if (c == '\'' || c == '"') {
                        where = Where::InText;
                        quote = c;
                    } else if (c == '{') {
                        where = Where::InReference;
                    }
                } else if (where == Where::InText && c == quote) {
                    // A doubled quote of the template's own stays inside its text; a value
                    // that follows cannot supply the second quote.
                    if (i + 1 < text.size() && text[i + 1] == quote)
                        out += text[++i];
                    else
                        where = Where::Outside;
                } else if (where == Where::InReference && c == '}') {
                    where = Where::Outside;
                }
            }
            continue;
        }
        switch (where) {
            case Where::InText:
                for (char c : text) {
                    out += c;
                    if (c == quote) out += c;
                }
                break;
            case Where::InReference:
                for (char c : text)
                    if (c != '}') out += c;
                break;
            case Where::Outside:
                if (IsPlainNumber(text)) {
                    // In parentheses a negative number cannot turn into a subtraction.
                    out += text.front() == '-' ? "(" + text + ")" : text;
                } else {
                    // Right behind a text in double quotes the opening quote would read as a
                    // doubled one and carry on that text.
                    if (!out.empty() && out.back() == '"') out += ' ';
                    out += FormulaTextLiteral(text);
                    afterValueText = true;
                }
                break;
        }
    }
    return out;
}

}  // namespace tessaro::reports
