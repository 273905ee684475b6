#pragma once
// Lexemes read ahead by a lookahead automaton, delivered later in order.

#include <cstdint>
#include <deque>

#include "engine/parser/ss_ref.h"
#include "engine/parser/ss_token.h"

class SSTokenQueue {
public:
    void enqueue(SSRefPtr<SSToken> lexeme) { pending_.push_back(std::move(lexeme)); }
    // Null when none is pending.
    SSRefPtr<SSToken> dequeue() {
        if (pending_.empty()) return {};
        SSRefPtr<SSToken> front = std::move(pending_.front());
        pending_.pop_front();
        return front;
    }
    // The k-th pending lexeme (0 = next), null when not that many are pending.
    SSToken* peek(std::uint32_t k) const { return k < pending_.size() ? pending_[k].get() : nullptr; }
    std::uint32_t pending() const { return static_cast<std::uint32_t>(pending_.size()); }
    void clear() { pending_.clear(); }

private:
    std::deque<SSRefPtr<SSToken>> pending_;
};
