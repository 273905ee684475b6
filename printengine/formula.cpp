#include "printengine/formula.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "interfaces/print_api.h"
#include "platform/ascii_text.h"

namespace tessaro::print {

struct FormulaNode {
    enum class Kind { Number, Text, Boolean, Column, Named, Not, Negate, Binary };
    Kind kind;
    std::string op;  // Binary: + - * / & = <> < > <= >= and or
    double number = 0;
    std::string text;  // Text literal, or the formula name of Named
    int column = -1;
    Formula left, right;
};

namespace {

struct Token {
    enum class Kind { End, Number, Text, Ref, Op, Word } kind = Kind::End;
    std::string text;
};

class Parser {
public:
    Parser(const std::string& text, const FormulaNames& names) : m_text(text), m_names(names) { Next(); }

    Formula ParseAll() {
        Formula f = Or();
        if (m_token.kind != Token::Kind::End) Fail("unexpected '" + m_token.text + "'");
        return f;
    }

private:
    [[noreturn]] void Fail(const std::string& why) const {
        throw FormulaError(kErrFormulaSyntax, "The formula is not valid: " + why + ".");
    }

    void Next() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
        m_token = Token{};
        if (m_pos >= m_text.size()) return;
        char c = m_text[m_pos];
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && m_pos + 1 < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_pos + 1])))) {
            size_t start = m_pos;
            while (m_pos < m_text.size() &&
                   (std::isdigit(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '.'))
                ++m_pos;
            m_token = {Token::Kind::Number, m_text.substr(start, m_pos - start)};
        } else if (c == '\'' || c == '"') {
            std::string value;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size()) Fail("a text is not closed");
                if (m_text[m_pos] == c) {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == c) {
                        value += c;
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                value += m_text[m_pos++];
            }
            m_token = {Token::Kind::Text, value};
        } else if (c == '{') {
            size_t close = m_text.find('}', m_pos);
            if (close == std::string::npos) Fail("a reference is not closed");
            m_token = {Token::Kind::Ref, m_text.substr(m_pos + 1, close - m_pos - 1)};
            m_pos = close + 1;
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            size_t start = m_pos;
            while (m_pos < m_text.size() && std::isalnum(static_cast<unsigned char>(m_text[m_pos]))) ++m_pos;
            m_token = {Token::Kind::Word, platform::LowerAscii(m_text.substr(start, m_pos - start))};
        } else {
            static const char* const kOps[] = {"<>", "<=", ">=", "+", "-", "*", "/", "&", "=", "<", ">", "(", ")"};
            for (const char* op : kOps) {
                if (m_text.compare(m_pos, std::char_traits<char>::length(op), op) == 0) {
                    m_token = {Token::Kind::Op, op};
                    m_pos += m_token.text.size();
                    return;
                }
            }
            Fail(std::string("unexpected '") + c + "'");
        }
    }

    bool IsOp(const char* op) const { return m_token.kind == Token::Kind::Op && m_token.text == op; }
    bool IsWord(const char* word) const { return m_token.kind == Token::Kind::Word && m_token.text == word; }

    static Formula Binary(const std::string& op, Formula l, Formula r) {
        auto node = std::make_shared<FormulaNode>();
        node->kind = FormulaNode::Kind::Binary;
        node->op = op;
        node->left = std::move(l);
        node->right = std::move(r);
        return node;
    }

    Formula Or() {
        Formula f = And();
        while (IsWord("or")) {
            Next();
            f = Binary("or", f, And());
        }
        return f;
    }
    Formula And() {
        Formula f = Not();
        while (IsWord("and")) {
            Next();
            f = Binary("and", f, Not());
        }
        return f;
    }
    Formula Not() {
        if (!IsWord("not")) return Comparison();
        Next();
        auto node = std::make_shared<FormulaNode>();
        node->kind = FormulaNode::Kind::Not;
        node->left = Not();
        return node;
    }
    Formula Comparison() {
        Formula f = Join();
        for (const char* op : {"=", "<>", "<=", ">=", "<", ">"}) {
            if (IsOp(op)) {
                Next();
                return Binary(op, f, Join());
            }
        }
        return f;
    }
    Formula Join() {
        Formula f = Sum();
        while (IsOp("&")) {
            Next();
            f = Binary("&", f, Sum());
        }
        return f;
    }
    Formula Sum() {
        Formula f = Product();
        while (IsOp("+") || IsOp("-")) {
            std::string op = m_token.text;
            Next();
            f = Binary(op, f, Product());
        }
        return f;
    }
    Formula Product() {
        Formula f = Unary();
        while (IsOp("*") || IsOp("/")) {
            std::string op = m_token.text;
            Next();
            f = Binary(op, f, Unary());
        }
        return f;
    }
    Formula Unary() {
        if (!IsOp("-")) return Primary();
        Next();
        auto node = std::make_shared<FormulaNode>();
        node->kind = FormulaNode::Kind::Negate;
        node->left = Unary();
        return node;
    }
    Formula Primary() {
        auto node = std::make_shared<FormulaNode>();
        switch (m_token.kind) {
            case Token::Kind::Number: {
                char* end = nullptr;
                node->kind = FormulaNode::Kind::Number;
                node->number = std::strtod(m_token.text.c_str(), &end);
                if (*end != '\0') Fail("'" + m_token.text + "' is not a number");
                break;
            }
            case Token::Kind::Text:
                node->kind = FormulaNode::Kind::Text;
                node->text = m_token.text;
                break;
            case Token::Kind::Ref: {
                std::string name = m_token.text;
                if (!name.empty() && name[0] == '@') {
                    if (!m_names.hasFormula || !m_names.hasFormula(name.substr(1)))
                        throw FormulaError(kErrUnknownField, "The formula {" + name + "} is not in the report.");
                    node->kind = FormulaNode::Kind::Named;
                    node->text = platform::LowerAscii(name.substr(1));
                } else {
                    node->kind = FormulaNode::Kind::Column;
                    node->column = m_names.column ? m_names.column(name) : -1;
                    if (node->column < 0)
                        throw FormulaError(kErrUnknownField, "The field {" + name + "} is not in the report.");
                }
                break;
            }
            case Token::Kind::Word:
                if (m_token.text != "true" && m_token.text != "false") Fail("unexpected '" + m_token.text + "'");
                node->kind = FormulaNode::Kind::Boolean;
                node->number = m_token.text == "true" ? 1 : 0;
                break;
            case Token::Kind::Op:
                if (m_token.text != "(") Fail("unexpected '" + m_token.text + "'");
                Next();
                {
                    Formula inner = Or();
                    if (!IsOp(")")) Fail("a parenthesis is not closed");
                    Next();
                    return inner;
                }
            case Token::Kind::End:
                Fail("the formula ends too early");
        }
        Next();
        return node;
    }

    const std::string& m_text;
    const FormulaNames& m_names;
    size_t m_pos = 0;
    Token m_token;
};

[[noreturn]] void RunFail(const std::string& why) {
    throw FormulaError(kErrFormulaRun, why);
}

double AsNumber(const Value& v) {
    if (v.kind == Value::Kind::Number) return v.number;
    double n = 0;
    if (v.kind == Value::Kind::Text && ReadNumber(v.text, &n)) return n;
    RunFail("'" + ValueText(v) + "' is not a number");
}

}  // namespace

bool ReadNumber(const std::string& text, double* number) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return false;
    size_t end = text.find_last_not_of(" \t") + 1;
    std::string core = text.substr(start, end - start);
    for (char c : core) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return false;
    }
    char* stop = nullptr;
    double n = std::strtod(core.c_str(), &stop);
    if (stop == core.c_str() || *stop != '\0' || !std::isfinite(n)) return false;
    *number = n;
    return true;
}

std::string ValueText(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Text:
            return v.text;
        case Value::Kind::Boolean:
            return v.boolean ? "True" : "False";
        case Value::Kind::Number:
            if (!v.text.empty()) return v.text;
            char buffer[64];
            if (std::fabs(v.number) < 1e15 && v.number == std::floor(v.number))
                std::snprintf(buffer, sizeof buffer, "%.0f", v.number);
            else
                std::snprintf(buffer, sizeof buffer, "%.15g", v.number);
            return buffer;
    }
    return {};
}

bool IsTrue(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Boolean:
            return v.boolean;
        case Value::Kind::Number:
            return v.number != 0;
        case Value::Kind::Text:
            return !v.text.empty();
    }
    return false;
}

int CompareValues(const Value& a, const Value& b) {
    double x = 0, y = 0;
    bool aNum = a.kind == Value::Kind::Number ||
                (a.kind == Value::Kind::Text && b.kind == Value::Kind::Number && ReadNumber(a.text, &x));
    bool bNum = b.kind == Value::Kind::Number ||
                (b.kind == Value::Kind::Text && a.kind == Value::Kind::Number && ReadNumber(b.text, &y));
    if (aNum && bNum) {
        if (a.kind == Value::Kind::Number) x = a.number;
        if (b.kind == Value::Kind::Number) y = b.number;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (a.kind == Value::Kind::Boolean && b.kind == Value::Kind::Boolean) return int(a.boolean) - int(b.boolean);
    int c = ValueText(a).compare(ValueText(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Formula ParseFormula(const std::string& text, const FormulaNames& names) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return nullptr;
    return Parser(text, names).ParseAll();
}

Value Evaluate(const Formula& f, const FormulaRow& row, int depth) {
    if (!f) return Value::OfBoolean(true);
    switch (f->kind) {
        case FormulaNode::Kind::Number:
            return Value::OfNumber(f->number);
        case FormulaNode::Kind::Text:
            return Value::OfText(f->text);
        case FormulaNode::Kind::Boolean:
            return Value::OfBoolean(f->number != 0);
        case FormulaNode::Kind::Column:
            return row.Column(f->column);
        case FormulaNode::Kind::Named:
            if (depth >= kMaxFormulaDepth) RunFail("The formula {@" + f->text + "} refers to itself.");
            return row.NamedFormula(f->text, depth + 1);
        case FormulaNode::Kind::Not:
            return Value::OfBoolean(!IsTrue(Evaluate(f->left, row, depth)));
        case FormulaNode::Kind::Negate:
            return Value::OfNumber(-AsNumber(Evaluate(f->left, row, depth)));
        case FormulaNode::Kind::Binary:
            break;
    }
    const std::string& op = f->op;
    if (op == "and")
        return Value::OfBoolean(IsTrue(Evaluate(f->left, row, depth)) && IsTrue(Evaluate(f->right, row, depth)));
    if (op == "or")
        return Value::OfBoolean(IsTrue(Evaluate(f->left, row, depth)) || IsTrue(Evaluate(f->right, row, depth)));
    Value l = Evaluate(f->left, row, depth);
    Value r = Evaluate(f->right, row, depth);
    if (op == "&") return Value::OfText(ValueText(l) + ValueText(r));
    if (op == "+" && l.kind == Value::Kind::Text && r.kind == Value::Kind::Text) return Value::OfText(l.text + r.text);
    if (op == "+") return Value::OfNumber(AsNumber(l) + AsNumber(r));
    if (op == "-") return Value::OfNumber(AsNumber(l) - AsNumber(r));
    if (op == "*") return Value::OfNumber(AsNumber(l) * AsNumber(r));
    if (op == "/") {
        double d = AsNumber(r);
        if (d == 0) RunFail("A formula divides by zero.");
        return Value::OfNumber(AsNumber(l) / d);
    }
    int c = CompareValues(l, r);
    if (op == "=") return Value::OfBoolean(c == 0);
    if (op == "<>") return Value::OfBoolean(c != 0);
    if (op == "<") return Value::OfBoolean(c < 0);
    if (op == ">") return Value::OfBoolean(c > 0);
    if (op == "<=") return Value::OfBoolean(c <= 0);
    return Value::OfBoolean(c >= 0);
}

}  // namespace tessaro::print
