#include "tools/tsgrammar/lex_builder.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>

#include "engine/parser/table_layout.h"
#include "tools/tsgrammar/pattern_nfa.h"

namespace tsgrammar {
namespace {

using Set = std::vector<int>;

Set closure(const Nfa& nfa, Set seeds) {
    std::vector<char> seen(nfa.states.size(), 0);
    Set out;
    while (!seeds.empty()) {
        int s = seeds.back();
        seeds.pop_back();
        if (seen[s]) continue;
        seen[s] = 1;
        out.push_back(s);
        for (int e : nfa.states[s].epsilon) seeds.push_back(e);
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Dfa {
    std::vector<std::array<int, 256>> next;  // -1: no transition
    std::vector<int> rule;                   // accepting rule index, -1 for none
    std::vector<int> parent;                 // for example texts in error messages
    std::vector<int> parentByte;
};

std::string exampleText(const Dfa& dfa, int state) {
    std::string text;
    while (state > 0) {
        text.insert(text.begin(), static_cast<char>(dfa.parentByte[state]));
        state = dfa.parent[state];
    }
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c < 32 || c > 126)
            shown += "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
        else
            shown += static_cast<char>(c);
    }
    return shown;
}

bool sameOutcome(const LexRule& a, const LexRule& b) {
    return a.token == b.token && AcceptFlags(a) == AcceptFlags(b) && a.targetList == b.targetList;
}

Dfa subsetConstruction(const Nfa& nfa, const LexList& list, const std::string& grammarName) {
    Dfa dfa;
    std::map<Set, int> ids;
    std::deque<Set> work;
    auto add = [&](Set set, int parent, int byte) {
        auto [it, inserted] = ids.emplace(std::move(set), static_cast<int>(dfa.next.size()));
        if (inserted) {
            std::array<int, 256> row;
            row.fill(-1);
            dfa.next.push_back(row);
            dfa.parent.push_back(parent);
            dfa.parentByte.push_back(byte);
            dfa.rule.push_back(-1);
            work.push_back(it->first);
        }
        return it->second;
    };
    add(closure(nfa, {nfa.start}), -1, 0);
    while (!work.empty()) {
        Set set = work.front();
        work.pop_front();
        int id = ids.at(set);
        // Accept decision: the earliest non-weak rule, then the earliest weak one.
        int best = -1;
        for (int s : set) {
            int r = nfa.states[s].rule;
            if (r < 0) continue;
            if (best < 0) {
                best = r;
                continue;
            }
            const LexRule& a = list.rules[best];
            const LexRule& b = list.rules[r];
            if (a.weak != b.weak) {
                if (a.weak) best = r;
                continue;
            }
            if (!sameOutcome(a, b))
                throw GrammarError(grammarName + ": list " + std::to_string(list.index) + ": tokens " + a.name +
                                   " and " + b.name + " both match \"" + exampleText(dfa, id) + "\"");
            best = std::min(best, r);
        }
        dfa.rule[id] = best;
        std::array<Set, 256> moves;
        for (int s : set)
            for (const NfaEdge& e : nfa.states[s].edges)
                for (int c = e.low; c <= e.high; ++c) moves[c].push_back(e.to);
        for (int c = 0; c < 256; ++c) {
            if (moves[c].empty()) continue;
            int target = add(closure(nfa, moves[c]), id, c);
            dfa.next[id][c] = target;
        }
    }
    return dfa;
}

struct Record {
    std::uint32_t token, list, flags;
    auto operator<=>(const Record&) const = default;
};

LexListTable minimise(const Dfa& dfa, const LexList& list) {
    const int n = static_cast<int>(dfa.next.size());
    std::vector<Record> records(n);
    for (int s = 0; s < n; ++s) {
        if (dfa.rule[s] < 0) {
            records[s] = {0, 0, 0};
        } else {
            const LexRule& r = list.rules[dfa.rule[s]];
            bool entersList = r.action == ListAction::Push || r.action == ListAction::Switch;
            records[s] = {r.token, entersList ? r.targetList : 0, AcceptFlags(r)};
        }
    }
    // Moore refinement: states stay together while their records and successor blocks agree.
    std::vector<int> block(n);
    {
        std::map<Record, int> initial;
        for (int s = 0; s < n; ++s)
            block[s] = initial.emplace(records[s], static_cast<int>(initial.size())).first->second;
    }
    std::size_t blocks = 0;
    for (;;) {
        std::map<std::vector<int>, int> signatures;
        std::vector<int> refined(n);
        for (int s = 0; s < n; ++s) {
            std::vector<int> sig;
            sig.reserve(257);
            sig.push_back(block[s]);
            for (int c = 0; c < 256; ++c) sig.push_back(dfa.next[s][c] < 0 ? -1 : block[dfa.next[s][c]]);
            refined[s] = signatures.emplace(std::move(sig), static_cast<int>(signatures.size())).first->second;
        }
        block.swap(refined);
        if (signatures.size() == blocks) break;
        blocks = signatures.size();
    }
    // Number the blocks breadth-first from the start state so that the start is state 0.
    std::vector<int> representative(blocks, -1);
    for (int s = n - 1; s >= 0; --s) representative[block[s]] = s;
    std::vector<int> number(blocks, -1);
    std::vector<int> order;
    number[block[0]] = 0;
    order.push_back(block[0]);
    for (std::size_t i = 0; i < order.size(); ++i) {
        int rep = representative[order[i]];
        for (int c = 0; c < 256; ++c) {
            int t = dfa.next[rep][c];
            if (t >= 0 && number[block[t]] < 0) {
                number[block[t]] = static_cast<int>(order.size());
                order.push_back(block[t]);
            }
        }
    }
    LexListTable table;
    table.states.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        int rep = representative[order[i]];
        LexState& st = table.states[i];
        st.token = records[rep].token;
        st.list = records[rep].list;
        st.flags = records[rep].flags;
        for (int c = 0; c < 256; ++c) {
            int t = dfa.next[rep][c];
            if (t < 0) continue;
            auto target = static_cast<std::uint32_t>(number[block[t]]);
            if (!st.row.empty() && st.row.back().high + 1 == static_cast<std::uint32_t>(c) &&
                st.row.back().next == target)
                st.row.back().high = static_cast<std::uint32_t>(c);
            else
                st.row.push_back({static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(c), target});
        }
    }
    return table;
}

}  // namespace

std::uint32_t AcceptFlags(const LexRule& rule) {
    std::uint32_t flags = ss_layout::kLexAccepting;
    switch (rule.action) {
        case ListAction::None:
            break;
        case ListAction::Push:
            flags |= ss_layout::kLexPush;
            break;
        case ListAction::Pop:
            flags |= ss_layout::kLexPop;
            break;
        case ListAction::Switch:
            flags |= ss_layout::kLexSwitch;
            break;
    }
    if (rule.discard) flags |= ss_layout::kLexDiscard;
    if (rule.giveBackLast) flags |= ss_layout::kLexGiveBackLast;
    return flags;
}

LexTable BuildLexTable(const Grammar& grammar) {
    LexTable table;
    for (const LexList& list : grammar.lists) {
        Nfa nfa = BuildListNfa(grammar, list);
        Dfa dfa = subsetConstruction(nfa, list, grammar.name);
        if (dfa.rule[0] >= 0)
            throw GrammarError(grammar.name + ": list " + std::to_string(list.index) + ": token " +
                               list.rules[dfa.rule[0]].name + " matches the empty text");
        LexListTable lt = minimise(dfa, list);
        if (grammar.discardStartOfInput) {
            auto soi = static_cast<std::uint32_t>(lt.states.size());
            LexState discard;
            discard.flags = ss_layout::kLexAccepting | ss_layout::kLexDiscard;
            lt.states.push_back(discard);
            lt.states[0].row.push_back({ss_layout::kStartOfInput, ss_layout::kStartOfInput, soi});
        }
        table.lists.push_back(std::move(lt));
    }
    return table;
}

}  // namespace tsgrammar
