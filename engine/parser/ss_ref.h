#pragma once
// Reference-counted base of lexemes and parser stack elements.
//
// A new object starts at count 0; every holder adds a reference when it stores the pointer
// and releases it when it drops it, and the last release destroys the object. SSRefPtr
// does this bookkeeping; raw pointers are only borrowed.
//
// The count is a plain integer, not an atomic one: a lexeme or stack element belongs to the
// lexer or parser that made it, and every lexer and parser is kept for one thread (the
// per-thread expression parsers and template parser pools), so no two threads ever hold the
// same object. A parse counts up and down for every lexeme and element it moves, and locked
// instructions for each of those counts were a good part of a short page's time.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/parser/ss_block_recycler.h"

class SSRef {
public:
    SSRef(const SSRef&) = delete;
    SSRef& operator=(const SSRef&) = delete;
    virtual ~SSRef() = default;

    void addRef() { ++count_; }
    // Releasing at count 0 throws code 28 and leaves the count at 0. With deleteAtZero the
    // object destroys itself when the count reaches 0.
    void release(int deleteAtZero = 1) {
        // A holder that is not the last one only counts down (the usual case, kept inline).
        if (count_ > 1) {
            --count_;
            return;
        }
        releaseSlow(deleteAtZero);
    }
    std::uint32_t refCount() const { return count_; }

    // A parse makes and drops lexemes and stack elements by the hundred: their blocks are
    // kept per thread for the next ones (the deleting destructor passes the real size).
    static void* operator new(std::size_t size) { return ss_recycler::allocate(size); }
    static void operator delete(void* block, std::size_t size) noexcept { ss_recycler::release(block, size); }

protected:
    SSRef() = default;

private:
    void releaseSlow(int deleteAtZero);

    std::uint32_t count_ = 0;
};

template <class T>
class SSRefPtr {
public:
    SSRefPtr() = default;
    SSRefPtr(std::nullptr_t) {}
    explicit SSRefPtr(T* object) : object_(object) {
        if (object_ != nullptr) object_->addRef();
    }
    SSRefPtr(const SSRefPtr& other) : SSRefPtr(other.object_) {}
    SSRefPtr(SSRefPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    SSRefPtr(const SSRefPtr<U>& other) : SSRefPtr(static_cast<T*>(other.get())) {}
    ~SSRefPtr() { reset(); }

    SSRefPtr& operator=(const SSRefPtr& other) {
        SSRefPtr copy(other);
        swap(copy);
        return *this;
    }
    SSRefPtr& operator=(SSRefPtr&& other) noexcept {
        SSRefPtr moved(std::move(other));
        swap(moved);
        return *this;
    }

    void reset() {
        if (T* old = std::exchange(object_, nullptr)) old->release(1);
    }
    void swap(SSRefPtr& other) noexcept { std::swap(object_, other.object_); }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool operator==(const SSRefPtr& other) const { return object_ == other.object_; }

private:
    T* object_ = nullptr;
};

// Shares a new or borrowed object: SSRefPtr that adds its own reference.
template <class T>
SSRefPtr<T> ssShare(T* object) {
    return SSRefPtr<T>(object);
}
