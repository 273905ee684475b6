#include "foundation/simpleregex.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "foundation/rwcase.h"

namespace {

using Token = std::uint16_t;
constexpr std::size_t kClassWords = 16;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::atomic<std::size_t> gStepLimit{20'000'000};
thread_local std::size_t* tScopeLeft = nullptr;

bool isClosure(Token t) {
    return t == RWCSimpleRegex::kStar || t == RWCSimpleRegex::kPlus || t == RWCSimpleRegex::kOptional;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one pattern character at p, with its escape, and advances p.
unsigned char readChar(const char*& p) {
    if (*p != '\\') return static_cast<unsigned char>(*p++);
    ++p;
    if (*p == '\0') return '\\';  // a trailing backslash stands for itself
    const char e = *p;
    switch (rwcase::toLower(e)) {
        case 'b':
            ++p;
            return 8;
        case 'e':
            ++p;
            return 27;
        case 'f':
            ++p;
            return 12;
        case 'n':
            ++p;
            return 10;
        case 'r':
            ++p;
            return 13;
        case 's':
            ++p;
            return 32;
        case 't':
            ++p;
            return 9;
        case 'x': {
            ++p;
            int d = hexValue(*p);
            if (d < 0) return static_cast<unsigned char>(e);
            ++p;
            int v = d;
            d = hexValue(*p);
            if (d >= 0) {
                v = v * 16 + d;
                ++p;
            }
            return static_cast<unsigned char>(v);
        }
        case '^': {
            ++p;
            // "\^" at the very end: the control letter is missing; take the caret itself.
            if (*p == '\0') return '^';
            unsigned char c = rwcase::toUpper(static_cast<unsigned char>(*p++));
            return static_cast<unsigned char>(c - 64);
        }
        default:
            break;
    }
    if (e >= '0' && e <= '7') {
        int v = 0;
        for (int i = 0; i < 3 && *p >= '0' && *p <= '7'; ++i) v = v * 8 + (*p++ - '0');
        return static_cast<unsigned char>(v & 0xFF);
    }
    ++p;
    return static_cast<unsigned char>(e);
}

void setBit(Token* set, unsigned c) {
    set[c >> 4] = static_cast<Token>(set[c >> 4] | (1u << (c & 15)));
}

bool hasBit(const Token* set, unsigned c) {
    return (set[c >> 4] >> (c & 15)) & 1;
}

// Builds the class set after '[' into set; p is left after the closing ']'.
// Returns false when the class is not closed.
bool readClass(const char*& p, Token* set) {
    if (*p == ']') return false;
    bool negate = false;
    if (*p == '^') {
        negate = true;
        ++p;
    }
    std::memset(set, 0, kClassWords * sizeof(Token));
    while (*p && *p != ']') {
        unsigned lo = readChar(p);
        setBit(set, lo);
        if (p[0] == '-' && p[1] != '\0' && p[1] != ']') {
            ++p;
            unsigned hi = readChar(p);
            if (hi < lo) std::swap(lo, hi);
            for (unsigned c = lo; c <= hi; ++c) setBit(set, c);
        }
    }
    if (*p != ']') return false;
    ++p;
    if (negate)
        for (std::size_t i = 0; i < kClassWords; ++i) set[i] = static_cast<Token>(~set[i]);
    return true;
}

std::size_t elementSize(Token t) {
    return t == RWCSimpleRegex::kClass ? 1 + kClassWords : 1;
}

struct Matcher {
    const Token* tokens;
    const unsigned char* text;
    std::size_t length;
    std::size_t origin;  // start of the searched text
    std::size_t steps;
    std::size_t limit;

    void step() {
        if (++steps > limit) throw RWRELimitErr();
    }

    // Whether the element at t matches at pos; consumed is 0 or 1.
    bool element(const Token* t, std::size_t pos, std::size_t& consumed) const {
        consumed = 0;
        switch (*t) {
            case RWCSimpleRegex::kEndOfText:
                return pos == length;
            case RWCSimpleRegex::kStartOfText:
                return pos == origin;
            case RWCSimpleRegex::kAny:
                if (pos >= length || text[pos] == '\n') return false;
                break;
            case RWCSimpleRegex::kClass:
                if (pos >= length || !hasBit(t + 1, text[pos])) return false;
                break;
            default:
                if (pos >= length || text[pos] != *t) return false;
                break;
        }
        consumed = 1;
        return true;
    }

    // End of a match of the tokens from t at pos, or kNone.
    std::size_t match(const Token* t, std::size_t pos) {
        for (;;) {
            step();
            if (*t == RWCSimpleRegex::kEnd) return pos;
            std::size_t consumed = 0;
            if (!isClosure(*t)) {
                if (!element(t, pos, consumed)) return kNone;
                pos += consumed;
                t += elementSize(*t);
                continue;
            }
            const Token kind = *t;
            const Token* elem = t + 1;
            const Token* rest = elem + elementSize(*elem);
            const std::size_t least = kind == RWCSimpleRegex::kPlus ? 1 : 0;
            const std::size_t most = kind == RWCSimpleRegex::kOptional ? 1 : kNone;
            std::size_t count = 0;
            std::size_t p = pos;
            while (count < most && element(elem, p, consumed) && consumed) {
                step();
                p += consumed;
                ++count;
            }
            if (count < least) return kNone;
            if (*rest == RWCSimpleRegex::kEnd) return p;
            // Greedy: the longest run first, then give back one character at a time.
            for (;;) {
                std::size_t end = match(rest, p);
                if (end != kNone) return end;
                if (count == least) return kNone;
                --p;
                --count;
            }
        }
    }
};

}  // namespace

RWRELimitErr::RWRELimitErr() : RWInternalErr("[BADRE] Pattern search abandoned: too many steps") {}

RWRegexStepScope::RWRegexStepScope(std::size_t steps) : left_(steps), active_(tScopeLeft == nullptr) {
    if (active_) tScopeLeft = &left_;
}

RWRegexStepScope::~RWRegexStepScope() {
    if (active_) tScopeLeft = nullptr;
}

std::size_t RWRegexStepScope::remaining() {
    return tScopeLeft ? *tScopeLeft : RW_NPOS;
}

void RWRegexStepScope::spend(std::size_t steps) {
    if (tScopeLeft) *tScopeLeft -= steps < *tScopeLeft ? steps : *tScopeLeft;
}

std::size_t RWCSimpleRegex::stepLimit(std::size_t steps) {
    return gStepLimit.exchange(steps);
}
std::size_t RWCSimpleRegex::stepLimit() {
    return gStepLimit.load();
}

RWCSimpleRegex::RWCSimpleRegex(const char* pattern) : tokens_(new Token[kTokens]()), status_(OK) {
    compile(pattern ? pattern : "");
}

RWCSimpleRegex::RWCSimpleRegex(const RWCString& pattern) : tokens_(new Token[kTokens]()), status_(OK) {
    compile(pattern.data());
}

RWCSimpleRegex::RWCSimpleRegex(const RWCSimpleRegex& other) : tokens_(new Token[kTokens]), status_(other.status_) {
    std::memcpy(tokens_, other.tokens_, kTokens * sizeof(Token));
}

RWCSimpleRegex& RWCSimpleRegex::operator=(const RWCSimpleRegex& other) {
    if (this != &other) {
        std::memcpy(tokens_, other.tokens_, kTokens * sizeof(Token));
        status_ = other.status_;
    }
    return *this;
}

RWCSimpleRegex& RWCSimpleRegex::operator=(const char* pattern) {
    compile(pattern ? pattern : "");
    return *this;
}

RWCSimpleRegex& RWCSimpleRegex::operator=(const RWCString& pattern) {
    compile(pattern.data());
    return *this;
}

RWCSimpleRegex::~RWCSimpleRegex() {
    delete[] tokens_;
}

RWCSimpleRegex::statVal RWCSimpleRegex::status() {
    int s = status_;
    status_ = OK;
    return static_cast<statVal>(s);
}

// A closure governs the element written just before it. Unlike a closure that is
// moved onto a repeated element, the matcher backtracks over every closure, so "a?a"
// and "a*a" match as expected without rewriting.
void RWCSimpleRegex::compile(const char* pattern) {
    std::memset(tokens_, 0, kTokens * sizeof(Token));
    tokens_[0] = kEnd;
    auto fail = [this](int s) {
        status_ = s;
        tokens_[0] = kEnd;
    };
    if (pattern[0] == '\0' || pattern[0] == '*' || pattern[0] == '+' || pattern[0] == '?') return fail(ILLEGAL);

    std::size_t n = 0;
    std::size_t lastElement = kNone;
    bool lastWasClosure = false;
    const char* p = pattern;
    while (*p) {
        if (n >= kTokens - 1) return fail(TOOLONG);
        const char c = *p;
        if (c == '*' || c == '+' || c == '?') {
            if (lastWasClosure || lastElement == kNone || tokens_[lastElement] == kEndOfText ||
                tokens_[lastElement] == kStartOfText)
                return fail(TOOLONG);
            std::memmove(tokens_ + lastElement + 1, tokens_ + lastElement, (n - lastElement) * sizeof(Token));
            tokens_[lastElement] = c == '*' ? kStar : (c == '+' ? kPlus : kOptional);
            ++n;
            ++p;
            lastWasClosure = true;
            continue;
        }
        lastWasClosure = false;
        lastElement = n;
        if (c == '$' && p[1] == '\0') {
            tokens_[n++] = kEndOfText;
            ++p;
        } else if (c == '^' && n == 0) {
            tokens_[n++] = kStartOfText;
            ++p;
        } else if (c == '.') {
            tokens_[n++] = kAny;
            ++p;
        } else if (c == '[') {
            if (n + 1 + kClassWords > kTokens - 1) return fail(TOOLONG);
            ++p;
            tokens_[n] = kClass;
            if (!readClass(p, tokens_ + n + 1)) return fail(ILLEGAL);
            n += 1 + kClassWords;
        } else {
            tokens_[n++] = readChar(p);
        }
    }
    tokens_[n] = kEnd;
    status_ = OK;
}

std::size_t RWCSimpleRegex::search(const RWCString& text, std::size_t* extent, std::size_t start) const {
    if (status_ != OK) throw RWInternalErr(RWMessageText(RWTOOL_BADRE()));
    if (extent) *extent = 0;
    const std::size_t n = text.length();
    if (start > n) return RW_NPOS;
    // A pattern that does not backtrack takes a few steps per element at each offset: the
    // budget grows with the text, so that only backtracking runs out of it.
    std::size_t elements = 0;
    for (const Token* t = tokens_; *t != kEnd; t += elementSize(*t)) ++elements;
    const std::size_t perOffset = 4 * (elements + 1);
    const std::size_t offsets = n - start + 1;
    const std::size_t linear = offsets < RW_NPOS / perOffset ? offsets * perOffset : RW_NPOS;
    Matcher m{tokens_, reinterpret_cast<const unsigned char*>(text.data()),
              n,       start,
              0,       std::min(std::max(stepLimit(), linear), RWRegexStepScope::remaining())};
    const std::size_t lastStart = tokens_[0] == kStartOfText ? start : n;
    for (std::size_t s = start; s <= lastStart; ++s) {
        std::size_t end = m.match(tokens_, s);
        if (end != kNone) {
            RWRegexStepScope::spend(m.steps);
            if (extent) *extent = end - s;
            return s;
        }
    }
    RWRegexStepScope::spend(m.steps);
    return RW_NPOS;
}

// ---------------------------------------------------------------- string members

std::size_t RWCString::index(const RWCSimpleRegex& re, std::size_t start) const {
    return re.search(*this, nullptr, start);
}

std::size_t RWCString::index(const RWCSimpleRegex& re, std::size_t* extent, std::size_t start) const {
    return re.search(*this, extent, start);
}

RWCSubString RWCString::operator()(const RWCSimpleRegex& re, std::size_t start) {
    std::size_t len = 0;
    std::size_t at = re.search(*this, &len, start);
    return at == RW_NPOS ? RWCSubString(*this, RW_NPOS, 0) : RWCSubString(*this, at, len);
}

const RWCSubString RWCString::operator()(const RWCSimpleRegex& re, std::size_t start) const {
    return const_cast<RWCString*>(this)->operator()(re, start);
}
