#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/cstring.h"
#include "foundation/rwexcept.h"

// A small pattern engine: plain characters, '.', bracket classes, the closures '*',
// '+' and '?', and the anchors '^' (first) and '$' (last). The pattern compiles into
// a fixed buffer of 256 16-bit tokens; a backtracking matcher with greedy closures
// searches with it, under a step budget so that an author's pattern cannot hold a
// request thread for long.
class RWCSimpleRegex {
public:
    enum statVal { OK = 0, ILLEGAL = 1, NOMEMORY = 2, TOOLONG = 3 };

    // Token values of the compiled form.
    static constexpr std::uint16_t kEnd = 0x8000;
    static constexpr std::uint16_t kEndOfText = 0x8024;    // '$'
    static constexpr std::uint16_t kAny = 0x802E;          // '.'
    static constexpr std::uint16_t kStar = 0x802A;         // '*'
    static constexpr std::uint16_t kPlus = 0x802B;         // '+'
    static constexpr std::uint16_t kOptional = 0x803F;     // '?'
    static constexpr std::uint16_t kClass = 0x805B;        // '[' then 16 words
    static constexpr std::uint16_t kStartOfText = 0x805E;  // '^'
    static constexpr std::size_t kTokens = 256;

    explicit RWCSimpleRegex(const char* pattern);
    explicit RWCSimpleRegex(const RWCString& pattern);
    RWCSimpleRegex(const RWCSimpleRegex& other);
    RWCSimpleRegex& operator=(const RWCSimpleRegex& other);
    RWCSimpleRegex& operator=(const char* pattern);
    RWCSimpleRegex& operator=(const RWCString& pattern);
    ~RWCSimpleRegex();

    // The compile status; reading it resets it to OK.
    statVal status();

    // Index of the first match at or after start, or RW_NPOS; the match length goes to
    // *extent (0 when there is none). A non-zero status raises RWInternalErr ([BADRE]);
    // a search that runs out of steps raises RWRELimitErr.
    std::size_t search(const RWCString& text, std::size_t* extent, std::size_t start = 0) const;

    // The compiled tokens (kTokens entries).
    const std::uint16_t* tokens() const { return tokens_; }

    // Process-wide step budget of one search (a search may always take a few steps per
    // pattern element at each offset of the text); returns the previous budget.
    static std::size_t stepLimit(std::size_t steps);
    static std::size_t stepLimit();

private:
    void compile(const char* pattern);

    std::uint16_t* tokens_;
    int status_;
};

// A pattern search abandoned because it needed more steps than the budget allows.
class RWRELimitErr : public RWInternalErr {
public:
    RWRELimitErr();
};

// While alive, every search on this thread draws on one budget of steps, so that a loop
// of searches (a replacement of every match) is bounded as a whole and not only search
// by search. An inner scope keeps the outer budget. A search that would go past it
// raises RWRELimitErr.
class RWRegexStepScope {
public:
    explicit RWRegexStepScope(std::size_t steps);
    ~RWRegexStepScope();
    RWRegexStepScope(const RWRegexStepScope&) = delete;
    RWRegexStepScope& operator=(const RWRegexStepScope&) = delete;

    // Steps left to the searches of this thread's scope; RW_NPOS when none is active.
    static std::size_t remaining();
    // Counts steps a search took against the active scope (nothing without one).
    static void spend(std::size_t steps);

private:
    std::size_t left_;
    bool active_;
};
