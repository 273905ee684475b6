#pragma once
// Hand-made scanner and parser tables for the runtime's tests.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/parser/table_layout.h"

namespace table_builder {

struct LexTransition {
    std::uint32_t low;
    std::uint32_t high;
    std::uint32_t next;
};

struct LexState {
    std::uint32_t token = 0;
    std::uint32_t list = 0;
    std::uint32_t flags = 0;
    std::vector<LexTransition> transitions;
};

struct LexList {
    std::vector<LexState> states;

    // Adds a state and returns its index.
    std::uint32_t add(std::uint32_t token = 0, std::uint32_t flags = 0, std::uint32_t list = 0);
    void on(std::uint32_t from, std::uint32_t low, std::uint32_t high, std::uint32_t to);
    void on(std::uint32_t from, char c, std::uint32_t to) {
        on(from, static_cast<unsigned char>(c), static_cast<unsigned char>(c), to);
    }
    // A path of states from `from` for the characters of `text`; the last state accepts
    // with the given token and flags. Returns the last state.
    std::uint32_t literal(std::uint32_t from, const std::string& text, std::uint32_t token,
                          std::uint32_t flags = ss_layout::kLexAccepting, std::uint32_t list = 0);
};

// A list whose start state discards the start-of-input value and runs of spaces.
LexList ListWithStartAndSpaces();

std::vector<std::uint32_t> LexBlockWords(const LexList& list);
std::vector<unsigned char> LexTable(const std::vector<LexList>& lists, std::uint32_t magic = ss_layout::kLexMagic);

struct YaccRow {
    std::uint32_t flags = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> actions;  // {action word, token}
    std::vector<std::pair<std::uint32_t, std::uint32_t>> gotos;    // {target, symbol}
    std::optional<std::uint32_t> errorState;
};

struct YaccTableDesc {
    std::uint32_t magic = ss_layout::kYaccMagic;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> productions;  // {rhs length, lhs}
    std::vector<YaccRow> rows;
    std::vector<LexList> automata;
};

inline std::uint32_t Shift(std::uint32_t state) {
    return ss_layout::kActionShift | state;
}
inline std::uint32_t Reduce(std::uint32_t production) {
    return ss_layout::kActionReduce | production;
}
inline std::uint32_t Accept() {
    return ss_layout::kActionAccept;
}
inline std::uint32_t Look(std::uint32_t automaton) {
    return ss_layout::kActionLookahead | automaton;
}

std::vector<std::uint32_t> YaccWords(const YaccTableDesc& desc);
std::vector<unsigned char> YaccTable(const YaccTableDesc& desc);

std::vector<unsigned char> Bytes(const std::vector<std::uint32_t>& words);
std::vector<std::uint32_t> Words(const std::vector<unsigned char>& bytes);

}  // namespace table_builder
