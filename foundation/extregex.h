#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "foundation/cstring.h"

// Extended regular expressions: alternation, groups, the closures * + ?, bracket sets
// and the anchors ^ and $ (relative to the searched part of the text). A search finds
// the leftmost match and, from there, the longest one. Patterns made only of plain
// characters, '.', bracket sets and single closures go to the simple pattern engine.

// A pattern that does not compile (or a search that cannot finish); code 16384.
class CRWInterfaceException : public std::exception {
public:
    CRWInterfaceException(const RWCString& message, int code) : message_(message), code_(code) {}
    const RWCString& message() const { return message_; }
    int code() const { return code_; }
    const char* what() const noexcept override { return message_.data(); }

    static constexpr int kCode = 16384;

private:
    RWCString message_;
    int code_;
};

// A replacement whose result would pass the caller's length bound; nothing is returned.
class RWRegexResultTooLong : public std::exception {
public:
    const char* what() const noexcept override { return "regular expression replacement result too long"; }
};

// Raised inside the compiler with a parser error number; never leaves it.
class RWRECompileError {
public:
    explicit RWRECompileError(std::uint32_t number) : number_(number) {}
    std::uint32_t number() const { return number_; }

private:
    std::uint32_t number_;
};

class RWExtRegexMachine;

class RWCExtRegex {
public:
    // Status words.
    enum statVal {
        OK = 0,
        UNSUPPORTED = 256,  // a brace interval
        NOMATCH = 257,      // set by a search that found nothing
        ILLEGAL = 258,
        BADCOLLATE = 259,
        BADCTYPE = 260,
        TRAILINGBACKSLASH = 261,
        BRACKET = 262,  // unmatched [ or ]
        PAREN = 263,    // unmatched ( or )
        BRACE = 264,
        BADBRACE = 265,   // content inside {} invalid
        BADRANGE = 266,   // content inside [] invalid
        BADREPEAT = 268,  // closure without a preceding expression
    };

    explicit RWCExtRegex(const char* pattern);
    explicit RWCExtRegex(const RWCString& pattern);
    RWCExtRegex(const RWCExtRegex& other);  // compiles the pattern again
    RWCExtRegex& operator=(const RWCExtRegex& other);
    virtual ~RWCExtRegex();

    int status() const;
    // Throws CRWInterfaceException with the status word's message when it holds an error.
    void checkCompile() const;
    // The message for a status word and pattern (empty for OK and NOMATCH).
    static RWCString statusMessage(int status, const RWCString& pattern);

    // Index of the first match at or after start, or RW_NPOS; the match length goes to
    // *extent. A start past the end of the text finds nothing.
    std::size_t search(const RWCString& text, std::size_t* extent, std::size_t start = 0) const;

    const RWCString& pattern() const;
    bool usesSimpleEngine() const;
    std::size_t stateCount() const;
    std::size_t groupCount() const;

private:
    std::unique_ptr<RWExtRegexMachine> machine_;
};

// The three entry points of the engine. Each compiles the pattern, throws
// CRWInterfaceException when it does not compile, then searches or replaces.

// scope 0: the first match replaced; scope 1: replaced repeatedly, each search resuming
// inside the changed text (a replacement that keeps producing new matches is stopped
// with CRWInterfaceException). The searches of one call share a step budget of a few
// passes over the text; past it the call raises CRWInterfaceException too.
// Both replacements raise RWRegexResultTooLong as soon as the text being built would be
// longer than maxLength.
RWCString regexReplace(const RWCString& text, const RWCString& pattern, const RWCString& replacement, int scope,
                       std::size_t maxLength = RW_NPOS);
// Every match replaced, left to right; the inserted text is never searched again.
RWCString regexReplaceAll(const RWCString& text, const RWCString& pattern, const RWCString& replacement,
                          std::size_t maxLength = RW_NPOS);
// Index of the first match at or after start, or RW_NPOS.
std::size_t regexFind(const RWCString& pattern, const RWCString& text, std::size_t start);
