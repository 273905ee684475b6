#pragma once

// Internal to the extended regular expressions: the compiled state machine.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/cstring.h"
#include "foundation/simpleregex.h"

struct RWExtRegexState {
    unsigned char ch = 0;  // the character matched; 0 = none
    std::uint32_t next = 0;
    std::uint32_t alternate = 0;
    std::uint32_t set = 0;     // index into the set vector; 0 = none
    std::uint32_t any = 0;     // 1 = any character
    std::uint32_t anchor = 0;  // 1 = start of the searched text, 2 = its end

    bool isEmptyMove() const { return ch == 0 && set == 0 && any == 0; }
};

using RWExtRegexSet = std::array<unsigned char, 32>;  // bit c for byte value c

class RWExtRegexMachine {
public:
    explicit RWExtRegexMachine(const RWCString& pattern);
    virtual ~RWExtRegexMachine() = default;

    // Offsets of the match within text[0, n): true when found.
    bool run(const unsigned char* text, std::size_t n, std::size_t& matchStart, std::size_t& matchEnd) const;

    RWCString pattern_;
    std::unique_ptr<RWCSimpleRegex> simple_;
    bool valid_ = false;
    mutable int status_ = 0;
    std::uint32_t startState_ = 0;
    std::uint32_t finalState_ = 0;
    std::vector<RWExtRegexState> states_;
    std::vector<RWExtRegexSet> sets_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> groups_;

private:
    void compile();
    void reset();
};

// Whether the pattern can go to the simple pattern engine.
bool rwIsSimplePattern(const char* pattern);
