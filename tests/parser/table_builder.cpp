#include "tests/parser/table_builder.h"

#include <algorithm>

using namespace ss_layout;

namespace table_builder {

std::uint32_t LexList::add(std::uint32_t token, std::uint32_t flags, std::uint32_t list) {
    LexState state;
    state.token = token;
    state.flags = flags;
    state.list = list;
    states.push_back(state);
    return static_cast<std::uint32_t>(states.size() - 1);
}

void LexList::on(std::uint32_t from, std::uint32_t low, std::uint32_t high, std::uint32_t to) {
    states.at(from).transitions.push_back({low, high, to});
}

std::uint32_t LexList::literal(std::uint32_t from, const std::string& text, std::uint32_t token, std::uint32_t flags,
                               std::uint32_t list) {
    std::uint32_t at = from;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool last = i + 1 == text.size();
        std::uint32_t next = last ? add(token, flags, list) : add();
        on(at, text[i], next);
        at = next;
    }
    return at;
}

LexList ListWithStartAndSpaces() {
    LexList list;
    std::uint32_t start = list.add();
    std::uint32_t sentinel = list.add(1, kLexAccepting | kLexDiscard);
    std::uint32_t spaces = list.add(1, kLexAccepting | kLexDiscard);
    list.on(start, kStartOfInput, kStartOfInput, sentinel);
    list.on(start, ' ', spaces);
    list.on(spaces, ' ', spaces);
    return list;
}

std::vector<std::uint32_t> LexBlockWords(const LexList& list) {
    const std::uint32_t states = static_cast<std::uint32_t>(list.states.size());
    const std::uint32_t recordsAt = kLexBlockHeaderBytes;
    const std::uint32_t rowOffsetsAt = recordsAt + states * kLexAcceptRecordBytes;
    std::vector<std::uint32_t> words(rowOffsetsAt / 4 + states, 0);
    words[kLexBlockMagic] = kLexMagic;
    words[kLexBlockStateCount] = states;
    words[kLexBlockRowOffsets] = rowOffsetsAt;
    words[kLexBlockAcceptRecords] = recordsAt;
    for (std::uint32_t s = 0; s < states; ++s) {
        const LexState& state = list.states[s];
        std::uint32_t* record = &words[recordsAt / 4 + s * kLexAcceptRecordWords];
        record[kLexRecordToken] = state.token;
        record[kLexRecordList] = state.list;
        record[kLexRecordFlags] = state.flags;
    }
    for (std::uint32_t s = 0; s < states; ++s) {
        std::vector<LexTransition> sorted = list.states[s].transitions;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const LexTransition& a, const LexTransition& b) { return a.low < b.low; });
        words[rowOffsetsAt / 4 + s] = static_cast<std::uint32_t>(words.size() * 4);
        words.push_back(static_cast<std::uint32_t>(sorted.size()));
        for (const LexTransition& t : sorted) {
            words.push_back(t.low);
            words.push_back(t.high);
            words.push_back(t.next);
        }
    }
    words[kLexBlockSize] = static_cast<std::uint32_t>(words.size() * 4);
    words[kLexBlockSizeAgain] = words[kLexBlockSize];
    return words;
}

std::vector<unsigned char> LexTable(const std::vector<LexList>& lists, std::uint32_t magic) {
    std::vector<std::uint32_t> words(kLexFileHeaderWords, 0);
    words[kLexFileListCount] = static_cast<std::uint32_t>(lists.size());
    words[kLexFileMagic] = magic;
    for (const LexList& list : lists) {
        std::vector<std::uint32_t> block = LexBlockWords(list);
        words.insert(words.end(), block.begin(), block.end());
    }
    return Bytes(words);
}

std::vector<std::uint32_t> YaccWords(const YaccTableDesc& desc) {
    const std::uint32_t states = static_cast<std::uint32_t>(desc.rows.size());
    const std::uint32_t productions = static_cast<std::uint32_t>(desc.productions.size());
    std::vector<std::uint32_t> words(kYaccHeaderWords + states, 0);
    words[kYaccMagicWord] = desc.magic;
    words[kYaccCounts] = productions | static_cast<std::uint32_t>(desc.automata.size()) << 16;
    words[kYaccStateCount] = states;
    words[kYaccProductions] = kYaccHeaderBytes + 4 * states;
    for (const auto& [rhs, lhs] : desc.productions) {
        words.push_back(rhs);
        words.push_back(lhs);
    }
    words[kYaccFirstRow] = static_cast<std::uint32_t>(words.size() * 4);
    for (std::uint32_t s = 0; s < states; ++s) {
        const YaccRow& row = desc.rows[s];
        words[kYaccRowOffsets + s] = static_cast<std::uint32_t>(words.size() * 4);
        std::uint32_t flags = row.flags | (row.errorState ? kRowErrorEntry : 0);
        words.push_back(flags);
        words.push_back(static_cast<std::uint32_t>(row.gotos.size()));
        words.push_back(static_cast<std::uint32_t>(row.actions.size()));
        if ((flags & kRowEmpty) != 0) continue;
        for (const auto& [action, token] : row.actions) {
            words.push_back(action);
            words.push_back(token);
        }
        for (const auto& [target, symbol] : row.gotos) {
            words.push_back(target);
            words.push_back(symbol);
        }
        if (row.errorState) {
            words.push_back(*row.errorState);
            words.push_back(0);
        }
    }
    for (const LexList& automaton : desc.automata) {
        std::vector<std::uint32_t> block = LexBlockWords(automaton);
        words.insert(words.end(), block.begin(), block.end());
    }
    return words;
}

std::vector<unsigned char> YaccTable(const YaccTableDesc& desc) {
    return Bytes(YaccWords(desc));
}

std::vector<unsigned char> Bytes(const std::vector<std::uint32_t>& words) {
    std::vector<unsigned char> bytes;
    bytes.reserve(words.size() * 4);
    for (std::uint32_t w : words) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(w >> (8 * i)));
    }
    return bytes;
}

std::vector<std::uint32_t> Words(const std::vector<unsigned char>& bytes) {
    std::vector<std::uint32_t> words(bytes.size() / 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = static_cast<std::uint32_t>(bytes[4 * i]) | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 |
                   static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
    }
    return words;
}

}  // namespace table_builder
