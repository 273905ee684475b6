#include "tools/tsgrammar/lalr_builder.h"

#include <algorithm>
#include <map>
#include <set>

#include "engine/parser/table_layout.h"

namespace tsgrammar {
namespace {

// Lookahead sets over the grammar's terminals plus one marker bit for propagation.
class Bits {
public:
    explicit Bits(std::size_t n = 0) : w_((n + 63) / 64, 0) {}
    void set(std::size_t i) { w_[i / 64] |= std::uint64_t{1} << (i % 64); }
    bool test(std::size_t i) const { return (w_[i / 64] >> (i % 64)) & 1; }
    void reset(std::size_t i) { w_[i / 64] &= ~(std::uint64_t{1} << (i % 64)); }
    bool merge(const Bits& o) {
        bool changed = false;
        for (std::size_t i = 0; i < w_.size(); ++i) {
            std::uint64_t v = w_[i] | o.w_[i];
            changed |= v != w_[i];
            w_[i] = v;
        }
        return changed;
    }

private:
    std::vector<std::uint64_t> w_;
};

using Item = std::pair<int, int>;  // production, dot

class Builder {
public:
    explicit Builder(const Grammar& g) : g_(g) {}

    ParseTable build() {
        resolveSymbols();
        computeFirst();
        buildLr0();
        computeLookaheads();
        return makeTable();
    }

private:
    [[noreturn]] void fail(int line, const std::string& what) const {
        throw GrammarError(g_.name + ": line " + std::to_string(line) + ": " + what);
    }

    bool isTerminal(int sym) const { return sym < static_cast<int>(terminals_.size()); }
    int terminalIndex(std::uint32_t number) const {
        auto it = std::lower_bound(terminals_.begin(), terminals_.end(), number);
        return static_cast<int>(it - terminals_.begin());
    }

    std::uint32_t tokenNumber(const std::string& sym, int line, bool* isToken) const {
        *isToken = true;
        if (sym == "$end") return ss_layout::kEndOfInputToken;
        if (sym.size() > 2 && sym.front() == '[' && sym.back() == ']') {
            // Productions name their tokens; a number says nothing to whoever reads the grammar.
            std::string digits = sym.substr(1, sym.size() - 2);
            if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
                fail(line, "bad token reference " + sym);
            auto known = g_.tokenNames.find(static_cast<std::uint32_t>(std::stoul(digits)));
            if (known == g_.tokenNames.end()) fail(line, "token " + sym + " is not produced by any list");
            fail(line, "token " + sym + " is written by its name, " + known->second);
        }
        for (const auto& [n, name] : g_.tokenNames)
            if (name == sym) return n;
        *isToken = false;
        return 0;
    }

    void resolveSymbols() {
        if (g_.productions.empty()) fail(0, "no productions");
        const Production& p0 = g_.productions[0];
        if (p0.rhs.size() != 2 || p0.rhs[1] != "$end")
            fail(p0.line, "production 0 must be: start symbol followed by $end");
        std::set<std::string> lhsNames;
        for (std::size_t i = 1; i < g_.productions.size(); ++i) {
            const Production& p = g_.productions[i];
            bool tok;
            tokenNumber(p.lhs, p.line, &tok);
            if (tok) fail(p.line, "left side " + p.lhs + " is a token name");
            lhsNames.insert(p.lhs);
        }
        if (lhsNames.count(p0.lhs)) fail(p0.line, "the left side of production 0 must not be used elsewhere");
        // Terminals: every token the productions use, by number, end of input last.
        std::set<std::uint32_t> used{ss_layout::kEndOfInputToken};
        std::vector<std::string> firstSeen;
        for (const Production& p : g_.productions) {
            if (&p != &p0 && std::find(firstSeen.begin(), firstSeen.end(), p.lhs) == firstSeen.end())
                firstSeen.push_back(p.lhs);
            for (const std::string& s : p.rhs) {
                bool tok;
                std::uint32_t n = tokenNumber(s, p.line, &tok);
                if (tok) {
                    used.insert(n);
                } else {
                    if (s == p0.lhs) fail(p.line, "the start production's left side is used on a right side");
                    if (!lhsNames.count(s))
                        fail(p.line, "symbol " + s + " is neither a token nor defined by a production");
                    if (std::find(firstSeen.begin(), firstSeen.end(), s) == firstSeen.end()) firstSeen.push_back(s);
                }
            }
        }
        terminals_.assign(used.begin(), used.end());
        if (!g_.nonterminalOrder.empty()) {
            std::set<std::string> listed(g_.nonterminalOrder.begin(), g_.nonterminalOrder.end());
            if (listed.size() != g_.nonterminalOrder.size()) fail(0, "a non-terminal is listed twice");
            if (listed != lhsNames) fail(0, "the non-terminal list does not match the productions' left sides");
            nonterminals_ = g_.nonterminalOrder;
        } else {
            nonterminals_ = firstSeen;
        }
        const int t = static_cast<int>(terminals_.size());
        std::map<std::string, int> ntIndex;
        for (std::size_t i = 0; i < nonterminals_.size(); ++i) ntIndex[nonterminals_[i]] = t + static_cast<int>(i);
        startSymbol_ = t + static_cast<int>(nonterminals_.size());
        symbolCount_ = startSymbol_ + 1;
        prods_.resize(g_.productions.size());
        for (std::size_t i = 0; i < g_.productions.size(); ++i) {
            const Production& p = g_.productions[i];
            prods_[i].lhs = i == 0 ? startSymbol_ : ntIndex.at(p.lhs);
            for (const std::string& s : p.rhs) {
                bool tok;
                std::uint32_t n = tokenNumber(s, p.line, &tok);
                prods_[i].rhs.push_back(tok ? terminalIndex(n) : ntIndex.at(s));
            }
        }
        byLhs_.assign(symbolCount_, {});
        for (std::size_t i = 0; i < prods_.size(); ++i) byLhs_[prods_[i].lhs].push_back(static_cast<int>(i));
        // Precedence: level numbers grow from the loosest.
        tokenPrec_.assign(terminals_.size(), 0);
        tokenAssoc_.assign(terminals_.size(), Assoc::Left);
        for (std::size_t level = 0; level < g_.precedence.size(); ++level) {
            for (const std::string& s : g_.precedence[level].tokens) {
                bool tok;
                std::uint32_t n = tokenNumber(s, 0, &tok);
                if (!tok) fail(0, "precedence names " + s + ", which is not a token");
                int ti = terminalIndex(n);
                if (ti >= t || terminals_[ti] != n) continue;  // not used by the parser
                if (tokenPrec_[ti]) fail(0, "token " + s + " has two precedence levels");
                tokenPrec_[ti] = static_cast<int>(level) + 1;
                tokenAssoc_[ti] = g_.precedence[level].assoc;
            }
        }
        prodPrec_.assign(prods_.size(), 0);
        for (std::size_t i = 0; i < prods_.size(); ++i)
            for (int s : prods_[i].rhs)
                if (isTerminal(s) && tokenPrec_[s]) prodPrec_[i] = tokenPrec_[s];
    }

    void computeFirst() {
        const std::size_t t = terminals_.size();
        nullable_.assign(symbolCount_, false);
        first_.assign(symbolCount_, Bits(t + 1));
        for (std::size_t i = 0; i < t; ++i) first_[i].set(i);
        bool changed = true;
        while (changed) {
            changed = false;
            for (const auto& p : prods_) {
                bool allNullable = true;
                for (int s : p.rhs) {
                    changed |= first_[p.lhs].merge(first_[s]);
                    if (!nullable_[s]) {
                        allNullable = false;
                        break;
                    }
                }
                if (allNullable && !nullable_[p.lhs]) {
                    nullable_[p.lhs] = true;
                    changed = true;
                }
            }
        }
    }

    std::vector<Item> closure0(const std::vector<Item>& kernel) const {
        std::vector<Item> items = kernel;
        std::vector<char> added(symbolCount_, 0);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& rhs = prods_[items[i].first].rhs;
            if (items[i].second >= static_cast<int>(rhs.size())) continue;
            int s = rhs[items[i].second];
            if (isTerminal(s) || added[s]) continue;
            added[s] = 1;
            for (int p : byLhs_[s]) items.push_back({p, 0});
        }
        return items;
    }

    void buildLr0() {
        std::map<std::vector<Item>, int> ids;
        kernels_.push_back({{0, 0}});
        ids[kernels_[0]] = 0;
        for (std::size_t s = 0; s < kernels_.size(); ++s) {
            std::vector<Item> items = closure0(kernels_[s]);
            std::map<int, std::vector<Item>> moves;
            for (const Item& it : items) {
                const auto& rhs = prods_[it.first].rhs;
                if (it.second < static_cast<int>(rhs.size()))
                    moves[rhs[it.second]].push_back({it.first, it.second + 1});
            }
            std::map<int, int> trans;
            for (auto& [sym, kernel] : moves) {
                std::sort(kernel.begin(), kernel.end());
                kernel.erase(std::unique(kernel.begin(), kernel.end()), kernel.end());
                auto [pos, inserted] = ids.emplace(kernel, static_cast<int>(kernels_.size()));
                if (inserted) kernels_.push_back(kernel);
                trans[sym] = pos->second;
            }
            transitions_.push_back(std::move(trans));
        }
    }

    // LR(1) closure with lookahead sets; `marker` is the propagation bit.
    std::map<Item, Bits> closure1(const std::vector<std::pair<Item, Bits>>& seeds) const {
        std::map<Item, Bits> items;
        std::vector<Item> work;
        for (const auto& [it, la] : seeds) {
            auto [pos, inserted] = items.emplace(it, la);
            if (!inserted) pos->second.merge(la);
            work.push_back(it);
        }
        while (!work.empty()) {
            Item it = work.back();
            work.pop_back();
            const auto& rhs = prods_[it.first].rhs;
            if (it.second >= static_cast<int>(rhs.size())) continue;
            int b = rhs[it.second];
            if (isTerminal(b)) continue;
            Bits la(terminals_.size() + 1);
            bool restNullable = true;
            for (std::size_t k = it.second + 1; k < rhs.size(); ++k) {
                la.merge(first_[rhs[k]]);
                if (!nullable_[rhs[k]]) {
                    restNullable = false;
                    break;
                }
            }
            if (restNullable) la.merge(items.at(it));
            for (int p : byLhs_[b]) {
                auto [pos, inserted] = items.emplace(Item{p, 0}, la);
                if (inserted || pos->second.merge(la)) work.push_back({p, 0});
            }
        }
        return items;
    }

    int kernelPosition(int state, Item it) const {
        const auto& k = kernels_[state];
        auto pos = std::lower_bound(k.begin(), k.end(), it);
        return static_cast<int>(pos - k.begin());
    }

    void computeLookaheads() {
        const std::size_t marker = terminals_.size();
        la_.resize(kernels_.size());
        for (std::size_t s = 0; s < kernels_.size(); ++s) la_[s].assign(kernels_[s].size(), Bits(marker + 1));
        struct Edge {
            int fromState, fromItem, toState, toItem;
        };
        std::vector<Edge> edges;
        for (std::size_t s = 0; s < kernels_.size(); ++s) {
            for (std::size_t k = 0; k < kernels_[s].size(); ++k) {
                Bits mark(marker + 1);
                mark.set(marker);
                auto items = closure1({{kernels_[s][k], mark}});
                for (const auto& [it, la] : items) {
                    const auto& rhs = prods_[it.first].rhs;
                    if (it.second >= static_cast<int>(rhs.size())) continue;
                    int target = transitions_[s].at(rhs[it.second]);
                    int pos = kernelPosition(target, {it.first, it.second + 1});
                    Bits spontaneous = la;
                    if (spontaneous.test(marker)) {
                        spontaneous.reset(marker);
                        edges.push_back({static_cast<int>(s), static_cast<int>(k), target, pos});
                    }
                    la_[target][pos].merge(spontaneous);
                }
            }
        }
        bool changed = true;
        while (changed) {
            changed = false;
            for (const Edge& e : edges) changed |= la_[e.toState][e.toItem].merge(la_[e.fromState][e.fromItem]);
        }
    }

    ParseTable makeTable() {
        ParseTable table;
        table.nonterminals = nonterminals_;
        const int t = static_cast<int>(terminals_.size());
        for (std::size_t i = 0; i < prods_.size(); ++i) {
            ParseProduction pp;
            pp.rhsLength = static_cast<std::uint32_t>(prods_[i].rhs.size());
            pp.lhs = i == 0 ? 0 : ss_layout::kFirstNonTerminal + static_cast<std::uint32_t>(prods_[i].lhs - t);
            table.productions.push_back(pp);
        }
        const int acceptState = transitions_[0].at(prods_[0].rhs[0]);
        const int eof = terminalIndex(ss_layout::kEndOfInputToken);
        for (std::size_t s = 0; s < kernels_.size(); ++s) {
            std::map<int, std::uint32_t> action;  // by terminal index
            for (const auto& [sym, target] : transitions_[s])
                if (isTerminal(sym)) action[sym] = ss_layout::kActionShift | static_cast<std::uint32_t>(target);
            if (static_cast<int>(s) == acceptState) action[eof] = ss_layout::kActionAccept;
            std::vector<std::pair<Item, Bits>> seeds;
            for (std::size_t k = 0; k < kernels_[s].size(); ++k) seeds.push_back({kernels_[s][k], la_[s][k]});
            auto items = closure1(seeds);
            for (const auto& [it, la] : items) {
                if (it.first == 0 || it.second != static_cast<int>(prods_[it.first].rhs.size())) continue;
                for (int a = 0; a < t; ++a) {
                    if (!la.test(a)) continue;
                    addReduce(table, static_cast<int>(s), a, it.first, action);
                }
            }
            ParseState st;
            for (const auto& [sym, word] : action) st.actions.push_back({word, terminals_[sym]});
            for (const auto& [sym, target] : transitions_[s])
                if (!isTerminal(sym))
                    st.gotos.push_back({static_cast<std::uint32_t>(target),
                                        ss_layout::kFirstNonTerminal + static_cast<std::uint32_t>(sym - t)});
            table.states.push_back(std::move(st));
        }
        return table;
    }

    void addReduce(ParseTable& table, int state, int a, int prod, std::map<int, std::uint32_t>& action) {
        const std::uint32_t reduce = ss_layout::kActionReduce | static_cast<std::uint32_t>(prod);
        auto it = action.find(a);
        if (it == action.end()) {
            action[a] = reduce;
            return;
        }
        Conflict c;
        c.state = static_cast<std::uint32_t>(state);
        c.token = terminals_[a];
        std::uint32_t existing = it->second;
        if (existing & ss_layout::kActionReduce) {
            c.kind = "reduce/reduce";
            int other = static_cast<int>(existing & ss_layout::kActionValueMask);
            int keep = std::min(other, prod);
            it->second = ss_layout::kActionReduce | static_cast<std::uint32_t>(keep);
            c.resolution = "reduce " + std::to_string(keep) + " over " + std::to_string(std::max(other, prod));
        } else {
            c.kind = "shift/reduce";
            int tp = tokenPrec_[a], rp = prodPrec_[prod];
            if (tp && rp) {
                c.settled = true;
                if (rp > tp || (rp == tp && tokenAssoc_[a] == Assoc::Left)) {
                    it->second = reduce;
                    c.resolution = "reduce " + std::to_string(prod);
                } else if (rp == tp && tokenAssoc_[a] == Assoc::NonAssoc) {
                    action.erase(it);
                    c.resolution = "error (non-associative)";
                } else {
                    c.resolution = "shift";
                }
            } else {
                c.resolution = "shift over reduce " + std::to_string(prod);
            }
        }
        table.conflicts.push_back(c);
    }

    struct Prod {
        int lhs = 0;
        std::vector<int> rhs;
    };

    const Grammar& g_;
    std::vector<std::uint32_t> terminals_;  // sorted token numbers
    std::vector<std::string> nonterminals_;
    int startSymbol_ = 0;
    int symbolCount_ = 0;
    std::vector<Prod> prods_;
    std::vector<std::vector<int>> byLhs_;
    std::vector<int> tokenPrec_;
    std::vector<Assoc> tokenAssoc_;
    std::vector<int> prodPrec_;
    std::vector<bool> nullable_;
    std::vector<Bits> first_;
    std::vector<std::vector<Item>> kernels_;
    std::vector<std::map<int, int>> transitions_;
    std::vector<std::vector<Bits>> la_;
};

}  // namespace

std::size_t ParseTable::unsettled() const {
    return static_cast<std::size_t>(
        std::count_if(conflicts.begin(), conflicts.end(), [](const Conflict& c) { return !c.settled; }));
}

ParseTable BuildParseTable(const Grammar& grammar) {
    return Builder(grammar).build();
}

}  // namespace tsgrammar
