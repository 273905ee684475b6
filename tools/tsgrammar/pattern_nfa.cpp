#include "tools/tsgrammar/pattern_nfa.h"

#include <cctype>

namespace tsgrammar {
namespace {

struct Fragment {
    int start;
    int end;
};

class PatternParser {
public:
    PatternParser(Nfa& nfa, const Grammar& grammar, const std::string& text, const std::string& where, int depth)
        : nfa_(nfa), grammar_(grammar), text_(text), where_(where), depth_(depth) {}

    Fragment parseAll() {
        Fragment f = alternation();
        skipSpace();
        if (pos_ != text_.size()) fail("unexpected '" + std::string(1, text_[pos_]) + "'");
        return f;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw GrammarError(where_ + ": pattern " + text_ + ": " + what);
    }

    int newState() {
        nfa_.states.emplace_back();
        return static_cast<int>(nfa_.states.size()) - 1;
    }

    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }

    bool atEnd() {
        skipSpace();
        return pos_ >= text_.size();
    }

    Fragment alternation() {
        Fragment first = concatenation();
        if (atEnd() || text_[pos_] != '|') return first;
        Fragment all{newState(), newState()};
        nfa_.states[all.start].epsilon.push_back(first.start);
        nfa_.states[first.end].epsilon.push_back(all.end);
        while (!atEnd() && text_[pos_] == '|') {
            ++pos_;
            Fragment next = concatenation();
            nfa_.states[all.start].epsilon.push_back(next.start);
            nfa_.states[next.end].epsilon.push_back(all.end);
        }
        return all;
    }

    Fragment concatenation() {
        int start = newState();
        Fragment whole{start, start};
        while (!atEnd() && text_[pos_] != '|' && text_[pos_] != ')') {
            Fragment f = repetition();
            nfa_.states[whole.end].epsilon.push_back(f.start);
            whole.end = f.end;
        }
        return whole;
    }

    Fragment repetition() {
        Fragment f = atom();
        for (;;) {
            skipSpace();
            if (pos_ >= text_.size()) return f;
            char op = text_[pos_];
            if (op != '*' && op != '+' && op != '?') return f;
            ++pos_;
            Fragment r{newState(), newState()};
            nfa_.states[r.start].epsilon.push_back(f.start);
            nfa_.states[f.end].epsilon.push_back(r.end);
            if (op != '+') nfa_.states[r.start].epsilon.push_back(r.end);
            if (op != '?') nfa_.states[f.end].epsilon.push_back(f.start);
            f = r;
        }
    }

    int escaped() {
        // pos_ is just behind the backslash.
        if (pos_ >= text_.size()) fail("backslash at the end");
        char c = text_[pos_++];
        switch (c) {
            case 't':
                return '\t';
            case 'n':
                return '\n';
            case 'r':
                return '\r';
            case 'x': {
                if (pos_ + 2 > text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[pos_])) ||
                    !std::isxdigit(static_cast<unsigned char>(text_[pos_ + 1])))
                    fail("\\x needs two hex digits");
                int v = std::stoi(text_.substr(pos_, 2), nullptr, 16);
                pos_ += 2;
                return v;
            }
            default:
                return static_cast<unsigned char>(c);
        }
    }

    Fragment literal(char quote) {
        bool foldCase = quote == '"';
        int start = newState();
        Fragment f{start, start};
        for (;;) {
            if (pos_ >= text_.size()) fail("unterminated literal");
            char c = text_[pos_++];
            if (c == quote) break;
            int byte = c == '\\' ? escaped() : static_cast<unsigned char>(c);
            int next = newState();
            NfaState& from = nfa_.states[f.end];
            if (foldCase && byte < 128 && std::isalpha(byte)) {
                int up = std::toupper(byte), low = std::tolower(byte);
                from.edges.push_back({up, up, next});
                from.edges.push_back({low, low, next});
            } else {
                from.edges.push_back({byte, byte, next});
            }
            f.end = next;
        }
        if (f.start == f.end) fail("empty literal");
        return f;
    }

    Fragment byteClass() {
        bool negate = false;
        if (pos_ < text_.size() && text_[pos_] == '^') {
            negate = true;
            ++pos_;
        }
        std::vector<char> in(256, 0);
        bool any = false;
        for (;;) {
            if (pos_ >= text_.size()) fail("unterminated class");
            char c = text_[pos_++];
            if (c == ']' && any) break;
            int low = c == '\\' ? escaped() : static_cast<unsigned char>(c);
            int high = low;
            if (pos_ + 1 < text_.size() && text_[pos_] == '-' && text_[pos_ + 1] != ']') {
                ++pos_;
                char h = text_[pos_++];
                high = h == '\\' ? escaped() : static_cast<unsigned char>(h);
                if (high < low) fail("reversed range");
            }
            for (int b = low; b <= high; ++b) in[b] = 1;
            any = true;
        }
        Fragment f{newState(), newState()};
        for (int b = 0; b < 256;) {
            if (static_cast<bool>(in[b]) == negate) {
                ++b;
                continue;
            }
            int e = b;
            while (e + 1 < 256 && static_cast<bool>(in[e + 1]) != negate) ++e;
            nfa_.states[f.start].edges.push_back({b, e, f.end});
            b = e + 1;
        }
        if (nfa_.states[f.start].edges.empty()) fail("class matches nothing");
        return f;
    }

    Fragment macro() {
        std::size_t close = text_.find('}', pos_);
        if (close == std::string::npos) fail("unterminated {macro}");
        std::string name = text_.substr(pos_, close - pos_);
        pos_ = close + 1;
        auto it = grammar_.macros.find(name);
        if (it == grammar_.macros.end()) fail("unknown macro {" + name + "}");
        if (depth_ > 20) fail("macros nest too deeply");
        return PatternParser(nfa_, grammar_, it->second, where_ + ": {" + name + "}", depth_ + 1).parseAll();
    }

    Fragment atom() {
        if (atEnd()) fail("missing item");
        char c = text_[pos_++];
        switch (c) {
            case '"':
            case '\'':
                return literal(c);
            case '[':
                return byteClass();
            case '{':
                return macro();
            case '(': {
                if (++nesting_ > 100) fail("groups nest too deeply");
                Fragment f = alternation();
                --nesting_;
                if (atEnd() || text_[pos_] != ')') fail("missing ')'");
                ++pos_;
                return f;
            }
            default:
                fail("unexpected '" + std::string(1, c) + "'");
        }
    }

    Nfa& nfa_;
    const Grammar& grammar_;
    const std::string& text_;
    std::string where_;
    int depth_;
    std::size_t pos_ = 0;
    int nesting_ = 0;
};

}  // namespace

Nfa BuildListNfa(const Grammar& grammar, const LexList& list) {
    Nfa nfa;
    nfa.start = 0;
    nfa.states.emplace_back();
    for (std::size_t i = 0; i < list.rules.size(); ++i) {
        const LexRule& rule = list.rules[i];
        std::string where = grammar.name + ": line " + std::to_string(rule.line) + ": token " + rule.name;
        Fragment f = PatternParser(nfa, grammar, rule.pattern, where, 0).parseAll();
        nfa.states[nfa.start].epsilon.push_back(f.start);
        nfa.states[f.end].rule = static_cast<int>(i);
    }
    return nfa;
}

}  // namespace tsgrammar
