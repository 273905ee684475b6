#include "tests/tools/table_driver.h"

#include <stdexcept>

namespace tablecheck {
namespace {
constexpr std::uint32_t kStartOfInput = 0xFFFFFFFF;
constexpr std::uint32_t kEnd = 0xFFFFFFFF;
}  // namespace

Tables::Tables(const unsigned char* lex, std::size_t lexSize, const unsigned char* yacc, std::size_t yaccSize)
    : lex_(lex, lex + lexSize), yacc_(yacc, yacc + yaccSize) {}

std::uint32_t Tables::word(const std::vector<unsigned char>& b, std::size_t at) {
    if (at + 4 > b.size()) throw std::out_of_range("table word out of range");
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

std::size_t Tables::blockOffset(std::uint32_t list) const {
    std::size_t at = 36;
    for (std::uint32_t i = 0; i < list; ++i) at += word(lex_, at + 4);
    return at;
}

std::uint32_t Tables::lexStates(std::uint32_t list) const {
    return word(lex_, blockOffset(list) + 40);
}

std::optional<std::uint32_t> Tables::move(std::size_t block, std::uint32_t state, std::uint32_t c) const {
    std::size_t rowAt = block + word(lex_, block + word(lex_, block + 48) + 4 * state);
    std::uint32_t n = word(lex_, rowAt);
    for (std::uint32_t i = 0; i < n; ++i) {
        std::size_t t = rowAt + 4 + 12 * i;
        if (word(lex_, t) > c) break;
        if (word(lex_, t + 4) >= c) {
            std::uint32_t next = word(lex_, t + 8);
            if (next == 0xFFFFFFFF) return std::nullopt;
            return next;
        }
    }
    return std::nullopt;
}

LexResult Tables::lex(const std::string& input, bool poundHook) const {
    LexResult r;
    std::vector<std::uint32_t> chars{kStartOfInput};
    for (unsigned char c : input) chars.push_back(c);
    std::vector<std::uint32_t> stack{0};
    std::size_t pos = 0;
    while (pos < chars.size()) {
        std::size_t block = blockOffset(stack.back());
        std::size_t records = block + word(lex_, block + 52);
        std::uint32_t state = 0;
        std::optional<std::size_t> acceptEnd;
        std::uint32_t acceptToken = 0, acceptList = 0, acceptFlags = 0;
        for (std::size_t i = pos; i < chars.size(); ++i) {
            auto next = move(block, state, chars[i]);
            if (!next) break;
            state = *next;
            std::uint32_t flags = word(lex_, records + 28 * state + 8);
            if (flags & 0x10) {
                acceptEnd = i + 1;
                acceptToken = word(lex_, records + 28 * state);
                acceptList = word(lex_, records + 28 * state + 4);
                acceptFlags = flags;
            }
        }
        if (!acceptEnd) {
            r.error = true;
            r.errorOffset = pos - 1;
            return r;
        }
        std::size_t end = *acceptEnd - ((acceptFlags & 0x80) ? 1 : 0);
        if ((acceptFlags & 0x08) != 0) {
            stack.pop_back();
            if (stack.empty()) throw std::runtime_error("list stack empty");
        }
        if (acceptFlags & 0x20) stack.push_back(acceptList);
        if (!(acceptFlags & 0x40)) {
            std::string text;
            for (std::size_t i = pos; i < end; ++i) text += static_cast<char>(chars[i]);
            if (poundHook && acceptToken == 34 && stack.size() > 1 && stack.back() == 0) stack.pop_back();
            r.tokens.push_back({acceptToken, text});
            r.listsAfter.push_back(stack.back());
        }
        pos = end;
    }
    return r;
}

std::size_t Tables::row(std::uint32_t state) const {
    if (state >= parseStates()) throw std::out_of_range("state out of range");
    return word(yacc_, 20 + 4 * state);
}

std::uint32_t Tables::action(std::uint32_t state, std::uint32_t token) const {
    std::size_t at = row(state);
    std::uint32_t actions = word(yacc_, at + 8);
    for (std::uint32_t i = 0; i < actions; ++i)
        if (word(yacc_, at + 12 + 8 * i + 4) == token) return word(yacc_, at + 12 + 8 * i);
    return 0;
}

std::vector<std::uint32_t> Tables::actionTokens(std::uint32_t state) const {
    std::size_t at = row(state);
    std::vector<std::uint32_t> out;
    for (std::uint32_t i = 0; i < word(yacc_, at + 8); ++i) out.push_back(word(yacc_, at + 12 + 8 * i + 4));
    return out;
}

std::uint32_t Tables::gotoTarget(std::uint32_t state, std::uint32_t symbol) const {
    std::size_t at = row(state);
    std::uint32_t gotos = word(yacc_, at + 4), actions = word(yacc_, at + 8);
    for (std::uint32_t i = 0; i < gotos; ++i) {
        std::size_t e = at + 12 + 8 * actions + 8 * i;
        if (word(yacc_, e + 4) == symbol) return word(yacc_, e) & 0x07FFFFFF;
    }
    throw std::runtime_error("missing goto");
}

std::uint32_t Tables::productionLength(std::uint32_t p) const {
    return word(yacc_, word(yacc_, 16) + 8 * p);
}
std::uint32_t Tables::productionLhs(std::uint32_t p) const {
    return word(yacc_, word(yacc_, 16) + 8 * p + 4);
}

ParseResult Tables::parse(const std::string& input, bool poundHook) const {
    ParseResult r;
    LexResult tokens = lex(input, poundHook);
    std::vector<std::uint32_t> stack{0};
    std::size_t next = 0;
    for (;;) {
        std::uint32_t look;
        if (next < tokens.tokens.size()) {
            look = tokens.tokens[next].number;
        } else if (tokens.error) {
            r.lexError = true;
            return r;
        } else {
            look = kEnd;
        }
        std::uint32_t a = action(stack.back(), look);
        if (a & 0x40000000) {
            stack.push_back(a & 0x07FFFFFF);
            ++next;
        } else if (a & 0x20000000) {
            std::uint32_t p = a & 0x07FFFFFF;
            r.reductions.push_back(p);
            std::uint32_t len = productionLength(p);
            if (len >= stack.size()) throw std::runtime_error("stack underflow");
            stack.resize(stack.size() - len);
            stack.push_back(gotoTarget(stack.back(), productionLhs(p)));
        } else if (a & 0x10000000) {
            r.accepted = true;
            return r;
        } else {
            r.syntaxError = true;
            r.errorToken = look;
            r.expected = actionTokens(stack.back());
            return r;
        }
    }
}

}  // namespace tablecheck
