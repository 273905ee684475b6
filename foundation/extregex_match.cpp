#include <vector>

#include "foundation/bitvec.h"
#include "foundation/extregex_machine.h"

// Simulates every path of the machine at once, one text offset at a time. Each thread
// remembers the offset its match began at; when two threads reach the same state the
// one that began earlier wins, since it can do all the later one can. New threads
// start at each offset until a match is known; then only threads that began no later
// than it run on, to find the longest match from the leftmost start. The work is
// bounded by states x characters, whatever the pattern.

namespace {

struct Thread {
    std::uint32_t state;
    std::size_t start;
};

struct Run {
    const RWExtRegexMachine& m;
    const unsigned char* text;
    std::size_t n;
    RWBitVec queued;
    std::vector<std::uint32_t> marked;  // the states whose queued bit is set
    std::vector<std::uint32_t> stack;
    std::size_t matchStart = RW_NPOS;
    std::size_t matchEnd = 0;
    // One search is linear in the text; only a loop of searches needs a bound, which an
    // enclosing step scope sets.
    std::size_t steps = 0;
    const std::size_t limit = RWRegexStepScope::remaining();

    Run(const RWExtRegexMachine& machine, const unsigned char* t, std::size_t len)
        : m(machine), text(t), n(len), queued(machine.states_.size()) {}

    void step() {
        if (++steps > limit) throw RWRELimitErr();
    }

    void record(std::size_t start, std::size_t end) {
        if (matchStart == RW_NPOS || start < matchStart || (start == matchStart && end > matchEnd)) {
            matchStart = start;
            matchEnd = end;
        }
    }

    // Adds the state and everything reachable from it by empty moves at offset j.
    void add(std::vector<Thread>& list, std::uint32_t state, std::size_t start, std::size_t j) {
        stack.clear();
        stack.push_back(state);
        while (!stack.empty()) {
            std::uint32_t s = stack.back();
            stack.pop_back();
            step();
            if (queued.testBit(s)) continue;
            queued.setBit(s);
            marked.push_back(s);
            if (s == m.finalState_) {
                record(start, j);
                continue;
            }
            const RWExtRegexState& st = m.states_[s];
            if (!st.isEmptyMove()) {
                list.push_back({s, start});
                continue;
            }
            if (st.anchor == 1 && j != 0) continue;
            if (st.anchor == 2 && j != n) continue;
            if (st.alternate != st.next) stack.push_back(st.alternate);
            stack.push_back(st.next);
        }
    }

    // A new offset: every state may be queued again.
    void unmarkAll() {
        for (std::uint32_t s : marked) queued.clearBit(s);
        marked.clear();
    }

    bool consumes(const RWExtRegexState& st, unsigned char c) const {
        if (st.any) return true;
        if (st.set) return (m.sets_[st.set][c >> 3] >> (c & 7)) & 1;
        return st.ch == c;
    }
};

}  // namespace

bool RWExtRegexMachine::run(const unsigned char* text, std::size_t n, std::size_t& matchStart,
                            std::size_t& matchEnd) const {
    matchStart = matchEnd = RW_NPOS;
    if (!valid_ || states_.empty()) return false;
    Run r(*this, text, n);
    std::vector<Thread> current;
    std::vector<Thread> next;
    for (std::size_t j = 0;; ++j) {
        if (r.matchStart == RW_NPOS) r.add(current, startState_, j, j);
        if (current.empty() && r.matchStart != RW_NPOS) break;
        if (j == n) break;
        r.unmarkAll();
        next.clear();
        for (const Thread& t : current) {
            if (r.matchStart != RW_NPOS && t.start > r.matchStart) continue;
            r.step();
            const RWExtRegexState& st = states_[t.state];
            if (r.consumes(st, text[j])) r.add(next, st.next, t.start, j + 1);
        }
        current.swap(next);
    }
    RWRegexStepScope::spend(r.steps);
    if (r.matchStart == RW_NPOS) return false;
    matchStart = r.matchStart;
    matchEnd = r.matchEnd;
    return true;
}
