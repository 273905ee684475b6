#pragma once
// Growable stack of the runtime: the lexer's expression-list stack and the parser's
// element stack. Entries are full-size values (indexes, pointers, counted references).
//
// The stack keeps its own pending error; the owner takes it over after each operation
// that reports failure (or throws, with the default options).

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/parser/ss_exception.h"

template <class T>
class SSLifo {
public:
    SSLifo(std::uint32_t capacity, std::uint32_t increment) : capacity_(capacity), increment_(increment) {
        entries_.reserve(capacity);
    }

    // Full with increment 0: code 8 and the stack is unchanged.
    bool push(T value) {
        if (entries_.size() + 1 > capacity_) {
            if (increment_ == 0) {
                error_.raise(SSErrorStackFull);
                return false;
            }
            capacity_ += increment_;
            // The storage grows by halves at least: growing by the increment alone would copy
            // the whole stack every few pushes, quadratic in its depth.
            if (entries_.capacity() < capacity_)
                entries_.reserve(std::max<std::size_t>(capacity_, entries_.capacity() + entries_.capacity() / 2));
        }
        entries_.push_back(std::move(value));
        return true;
    }

    // Empty: code 10.
    bool pop() {
        if (entries_.empty()) {
            error_.raise(SSErrorPopEmpty);
            return false;
        }
        entries_.pop_back();
        return true;
    }

    // Empty: code 9 and null.
    T* top() {
        if (entries_.empty()) {
            error_.raise(SSErrorNoTop);
            return nullptr;
        }
        return &entries_.back();
    }

    // 0 is the top, 1 the entry below it; out of range: code 11 and null.
    T* at(std::uint32_t index) {
        if (static_cast<std::uint64_t>(index) + 1 > entries_.size()) {
            error_.raise(SSErrorInvalidIndex, static_cast<long>(index));
            return nullptr;
        }
        return &entries_[entries_.size() - 1 - index];
    }

    std::uint32_t count() const { return static_cast<std::uint32_t>(entries_.size()); }
    std::uint32_t capacity() const { return capacity_; }
    std::uint32_t increment() const { return increment_; }
    bool empty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }
    // Empty and without a pending error; the memory stays for the next use.
    void reset() {
        entries_.clear();
        error_.clear();
    }

    // Bottom first, for saving and restoring a whole stack.
    const std::vector<T>& entries() const { return entries_; }
    void assign(std::vector<T> entries) {
        entries_ = std::move(entries);
        if (entries_.size() > capacity_) capacity_ = static_cast<std::uint32_t>(entries_.size());
    }

    SSErrorSlot& pendingError() { return error_; }

private:
    std::vector<T> entries_;
    std::uint32_t capacity_;
    std::uint32_t increment_;
    SSErrorSlot error_;
};

// Runs one stack operation for the stack's owner: a failure, reported or thrown, leaves
// the stack's error in the owner's slot.
template <class T, class F>
auto SSStackCall(SSErrorSlot& owner, SSLifo<T>& stack, F operation) -> decltype(operation()) {
    try {
        auto result = operation();
        if (!result) owner.takeOver(stack.pendingError());
        return result;
    } catch (const SSException&) {
        owner.takeOver(stack.pendingError());
        throw;
    }
}
