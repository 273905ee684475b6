#include <cstring>

#include "foundation/extregex.h"
#include "foundation/extregex_machine.h"
#include "foundation/rwcase.h"

namespace {

// Parser error numbers.
constexpr std::uint32_t kErrIllegal = 2;
constexpr std::uint32_t kErrTrailingBackslash = 5;
constexpr std::uint32_t kErrBracket = 7;
constexpr std::uint32_t kErrParen = 8;
constexpr std::uint32_t kErrBadBrace = 10;
constexpr std::uint32_t kErrBadRange = 11;
constexpr std::uint32_t kErrBadRepeat = 13;
constexpr std::uint32_t kErrUnsupported = 256;

// Groups nest by recursion; deeper nesting than any real pattern needs is refused
// rather than allowed to exhaust the thread's stack.
constexpr std::size_t kMaxGroupDepth = 200;

int statusFor(std::uint32_t error) {
    switch (error) {
        case kErrUnsupported:
            return RWCExtRegex::UNSUPPORTED;
        case 3:
            return RWCExtRegex::BADCOLLATE;
        case 4:
            return RWCExtRegex::BADCTYPE;
        case kErrTrailingBackslash:
            return RWCExtRegex::TRAILINGBACKSLASH;
        case kErrBracket:
            return RWCExtRegex::BRACKET;
        case kErrParen:
            return RWCExtRegex::PAREN;
        case 9:
            return RWCExtRegex::BRACE;
        case kErrBadBrace:
            return RWCExtRegex::BADBRACE;
        case kErrBadRange:
            return RWCExtRegex::BADRANGE;
        case kErrBadRepeat:
            return RWCExtRegex::BADREPEAT;
        default:
            return RWCExtRegex::ILLEGAL;
    }
}

bool isSpecial(char c) {
    return c != '\0' && std::strchr("^.[$()|*+?{\\", c) != nullptr;
}
bool isClosure(char c) {
    return c == '*' || c == '+' || c == '?';
}

struct Fragment {
    std::uint32_t first;
    std::uint32_t last;  // its successors are set when the fragment is joined
};

class Parser {
public:
    Parser(RWExtRegexMachine& m, const RWCString& pattern)
        : m_(m), p_(pattern.data()), n_(std::strlen(pattern.data())) {}

    void parse() {
        std::uint32_t s0 = newState();
        m_.groups_.push_back({s0, 0});
        Fragment e = expression();
        if (!atEnd()) throw RWRECompileError(kErrParen);  // a ')' that closes no group
        m_.states_[s0].next = m_.states_[s0].alternate = e.first;
        m_.startState_ = e.first;
        m_.finalState_ = newState();
        join(e, m_.finalState_);
        std::uint32_t closing = newState();
        m_.states_[m_.finalState_].next = m_.states_[m_.finalState_].alternate = closing;
        m_.groups_[0].second = closing;
    }

private:
    bool atEnd() const { return i_ >= n_; }
    char peek() const { return atEnd() ? '\0' : p_[i_]; }
    char peekAt(std::size_t k) const { return i_ + k < n_ ? p_[i_ + k] : '\0'; }

    std::uint32_t newState() {
        m_.states_.emplace_back();
        return static_cast<std::uint32_t>(m_.states_.size() - 1);
    }

    void join(const Fragment& f, std::uint32_t to) { m_.states_[f.last].next = m_.states_[f.last].alternate = to; }

    Fragment expression() {
        if (atEnd() || peek() == '|' || peek() == ')') throw RWRECompileError(kErrIllegal);
        std::vector<Fragment> alternatives{branch()};
        while (peek() == '|') {
            ++i_;
            if (atEnd() || peek() == '|' || peek() == ')') throw RWRECompileError(kErrIllegal);
            alternatives.push_back(branch());
        }
        if (alternatives.size() == 1) return alternatives[0];
        // A chain of splits: each offers one alternative or the rest of the chain.
        std::vector<std::uint32_t> splits;
        for (std::size_t k = 0; k + 1 < alternatives.size(); ++k) splits.push_back(newState());
        std::uint32_t exit = newState();
        for (std::size_t k = 0; k < splits.size(); ++k) {
            RWExtRegexState& s = m_.states_[splits[k]];
            s.next = alternatives[k].first;
            s.alternate = k + 1 < splits.size() ? splits[k + 1] : alternatives.back().first;
        }
        for (const Fragment& f : alternatives) join(f, exit);
        return {splits.front(), exit};
    }

    Fragment branch() {
        Fragment f = factor();
        while (!atEnd() && peek() != '|' && peek() != ')') {
            Fragment g = factor();
            join(f, g.first);
            f.last = g.last;
        }
        return f;
    }

    Fragment factor() {
        const char c = peek();
        if (isClosure(c) || c == '{') throw RWRECompileError(kErrBadRepeat);
        const bool startAnchor = c == '^';
        Fragment a = atom();
        if (atEnd()) return a;
        const char op = peek();
        if (isClosure(op)) {
            if (startAnchor) throw RWRECompileError(kErrBadRepeat);
            ++i_;
            a = closure(a, op);
            const char after = peek();
            if (isClosure(after) || after == '{' || after == '}') throw RWRECompileError(kErrBadRepeat);
        } else if (op == '{') {
            if (startAnchor) throw RWRECompileError(kErrBadRepeat);
            for (std::size_t k = i_ + 1; k < n_; ++k)
                if (p_[k] == '}') throw RWRECompileError(kErrUnsupported);
            throw RWRECompileError(kErrBadBrace);
        }
        return a;
    }

    Fragment closure(const Fragment& a, char op) {
        std::uint32_t split = newState();
        std::uint32_t exit = newState();
        RWExtRegexState& s = m_.states_[split];
        s.next = a.first;
        s.alternate = exit;
        switch (op) {
            case '*':  // split -> atom -> split ... or exit
                join(a, split);
                return {split, exit};
            case '+':  // atom -> split -> atom again or exit
                join(a, split);
                return {a.first, exit};
            default:  // '?': split -> atom -> exit, or exit
                join(a, exit);
                return {split, exit};
        }
    }

    Fragment single(const RWExtRegexState& st) {
        std::uint32_t s = newState();
        m_.states_[s] = st;
        return {s, s};
    }

    Fragment atom() {
        const char c = peek();
        RWExtRegexState st;
        switch (c) {
            case '(': {
                ++i_;
                if (atEnd()) throw RWRECompileError(kErrParen);
                if (peek() == ')') throw RWRECompileError(kErrIllegal);
                if (++depth_ > kMaxGroupDepth) throw RWRECompileError(kErrIllegal);
                std::uint32_t open = newState();
                std::size_t group = m_.groups_.size();
                m_.groups_.push_back({open, 0});
                Fragment e = expression();
                if (peek() != ')') throw RWRECompileError(kErrParen);
                ++i_;
                --depth_;
                std::uint32_t close = newState();
                m_.states_[open].next = m_.states_[open].alternate = e.first;
                join(e, close);
                m_.groups_[group].second = close;
                return {open, close};
            }
            case '.':
                ++i_;
                st.any = 1;
                return single(st);
            case '[':
                ++i_;
                st.set = bracket();
                return single(st);
            case '^':
                ++i_;
                st.anchor = 1;
                return single(st);
            case '$':
                ++i_;
                st.anchor = 2;
                return single(st);
            case '\\': {
                ++i_;
                if (atEnd()) throw RWRECompileError(kErrTrailingBackslash);
                const char e = peek();
                if (!isSpecial(e)) throw RWRECompileError(kErrIllegal);
                ++i_;
                st.ch = static_cast<unsigned char>(e);
                return single(st);
            }
            default:
                if (isSpecial(c)) throw RWRECompileError(kErrIllegal);
                ++i_;
                st.ch = static_cast<unsigned char>(c);
                return single(st);
        }
    }

    // After '['; returns the index of the new set.
    std::uint32_t bracket() {
        std::string text;
        if (peek() == '^') {
            text.push_back('^');
            ++i_;
        }
        std::size_t terms = 0;
        for (;;) {
            if (atEnd()) throw RWRECompileError(kErrBracket);
            const char c = peek();
            if (c == ']') break;
            if (c == '^') throw RWRECompileError(kErrBracket);
            const char to = peekAt(2);
            if (peekAt(1) == '-' && to != '\0' && to != ']' && to != '^') {
                if (static_cast<signed char>(c) > static_cast<signed char>(to)) throw RWRECompileError(kErrBadRange);
                text.push_back(c);
                text.push_back('-');
                text.push_back(to);
                i_ += 3;
            } else {
                text.push_back(c);
                ++i_;
            }
            ++terms;
        }
        if (terms == 0) throw RWRECompileError(kErrIllegal);
        ++i_;  // ']'
        return addSet(text);
    }

    std::uint32_t addSet(const std::string& text) {
        RWExtRegexSet set{};
        auto add = [&set](int c) {
            unsigned char b = static_cast<unsigned char>(c);
            set[b >> 3] = static_cast<unsigned char>(set[b >> 3] | (1u << (b & 7)));
        };
        const bool negate = !text.empty() && text[0] == '^';
        const std::size_t first = negate ? 1 : 0;
        const std::size_t n = text.size();
        for (std::size_t j = first; j < n;) {
            const char c = text[j];
            if (c == '-' && j != first && j + 1 < n) {
                const int lo = static_cast<signed char>(text[j - 1]);
                const int hi = static_cast<signed char>(text[j + 1]);
                for (int v = lo; v <= hi; ++v) add(v);
                j += 2;
            } else {
                add(c);
                ++j;
            }
        }
        if (negate)
            for (unsigned char& b : set) b = static_cast<unsigned char>(~b);
        if (m_.sets_.empty()) m_.sets_.push_back(RWExtRegexSet{});
        m_.sets_.push_back(set);
        return static_cast<std::uint32_t>(m_.sets_.size() - 1);
    }

    RWExtRegexMachine& m_;
    const char* p_;
    std::size_t n_;
    std::size_t i_ = 0;
    std::size_t depth_ = 0;
};

}  // namespace

bool rwIsSimplePattern(const char* p) {
    if (p[0] == '\0') return true;
    if (isClosure(p[0])) return false;
    for (std::size_t i = 0; p[i]; ++i) {
        const char c = p[i];
        const unsigned char u = static_cast<unsigned char>(c);
        const char next = p[i + 1];
        if (std::strchr("{}()^$|\\", c)) return false;
        if (c == '[' && (next == ':' || next == '.' || next == '=')) return false;
        if (!(rwcase::isUpper(u) || rwcase::isLower(u) || rwcase::isDigit(u) || rwcase::isPunct(u) ||
              rwcase::isBlank(u) || rwcase::isAlpha(u)))
            return false;
        if (c == '-' && next == '-') return false;
        if (isClosure(c) && isClosure(next)) return false;
    }
    return true;
}

RWExtRegexMachine::RWExtRegexMachine(const RWCString& pattern) : pattern_(pattern) {
    compile();
}

void RWExtRegexMachine::reset() {
    valid_ = false;
    simple_.reset();
    states_.clear();
    sets_.clear();
    groups_.clear();
    startState_ = finalState_ = 0;
}

void RWExtRegexMachine::compile() {
    reset();
    if (rwIsSimplePattern(pattern_.data())) {
        valid_ = true;
        simple_ = std::make_unique<RWCSimpleRegex>(pattern_);
        status_ = simple_->status() == RWCSimpleRegex::OK ? RWCExtRegex::OK : RWCExtRegex::ILLEGAL;
        return;
    }
    try {
        Parser(*this, pattern_).parse();
        status_ = RWCExtRegex::OK;
        valid_ = true;
    } catch (const RWRECompileError& e) {
        status_ = statusFor(e.number());
        reset();
    }
}

// ---------------------------------------------------------------- messages

RWCString RWCExtRegex::statusMessage(int status, const RWCString& pattern) {
    const char* lead = "The regular expression ";
    const char* suffix = nullptr;
    switch (status) {
        case OK:
        case NOMATCH:
            return RWCString();
        case UNSUPPORTED:
            suffix = "contains unsupported syntax";
            break;
        case BADCOLLATE:
            suffix = "contains an invalid collating element";
            break;
        case BADCTYPE:
            suffix = "contains an invalid character type";
            break;
        case TRAILINGBACKSLASH:
            suffix = "contains a trailing backslash";
            break;
        case BRACKET:
            suffix = "contains an unmatched square bracket: '[' or ']'";
            break;
        case PAREN:
            suffix = "contains an unmatched parenthesis: '(' or ')'";
            break;
        case BRACE:
            suffix = "contains an unmatched brace: '{' or '}'";
            break;
        case BADBRACE:
            lead = "In the regular expression ";
            suffix = "some of the content inside braces {} is invalid";
            break;
        case BADRANGE:
            lead = "In the regular expression ";
            suffix = "some of the content inside brackets [] is invalid";
            break;
        case BADREPEAT:
            lead = "In the regular expression ";
            suffix = "one of ?, *, or + is not preceded by a valid regular expression";
            break;
        default:
            suffix = "contains an illegal pattern";
            break;
    }
    RWCString msg(lead);
    msg.append(pattern).append(" ").append(suffix);
    return msg;
}
