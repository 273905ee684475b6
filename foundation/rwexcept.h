#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <utility>

#include "foundation/message.h"

// The exception family of the foundation classes. All are thrown by value; a handler
// for RWxmsg catches every one of them.
class RWxmsg : public std::exception {
public:
    explicit RWxmsg(const char* text);          // owns a copy
    explicit RWxmsg(const RWMessageText& msg);  // owns a copy of the text
    RWxmsg(const char* text, bool owns);        // owns ? copy : the pointer itself
    RWxmsg(const RWxmsg& other);
    RWxmsg& operator=(const RWxmsg& other);
    ~RWxmsg() override;

    const char* why() const { return msg_; }
    const char* what() const noexcept override { return msg_ ? msg_ : ""; }
    bool ownsText() const { return doFree_ != 0; }

    [[noreturn]] void raise() const;  // throws a copy as RWxmsg

private:
    const char* msg_;
    std::int32_t doFree_;
};

// Out of memory; carries the static "[NOMEM] No memory" text (not owned) and the size.
class RWxalloc : public RWxmsg {
public:
    explicit RWxalloc(std::size_t size);
    std::size_t requested() const { return size_; }

private:
    std::size_t size_;
};

class RWExternalErr : public RWxmsg {
public:
    explicit RWExternalErr(const RWMessageText& msg) : RWxmsg(msg) {}
    explicit RWExternalErr(const char* text) : RWxmsg(text) {}
};

class RWFileErr : public RWExternalErr {
public:
    RWFileErr(const RWMessageText& msg, std::uint32_t v1, std::uint32_t v2) : RWExternalErr(msg), v1_(v1), v2_(v2) {}
    RWFileErr(const char* text, std::uint32_t v1, std::uint32_t v2) : RWExternalErr(text), v1_(v1), v2_(v2) {}
    std::uint32_t value1() const { return v1_; }
    std::uint32_t value2() const { return v2_; }

private:
    std::uint32_t v1_;
    std::uint32_t v2_;
};

class RWStreamErr : public RWExternalErr {
public:
    RWStreamErr(const RWMessageText& msg, const void* stream) : RWExternalErr(msg), stream_(stream) {}
    RWStreamErr(const char* text, const void* stream) : RWExternalErr(text), stream_(stream) {}
    const void* stream() const { return stream_; }

private:
    const void* stream_;
};

class RWInternalErr : public RWxmsg {
public:
    explicit RWInternalErr(const RWMessageText& msg) : RWxmsg(msg) {}
    explicit RWInternalErr(const char* text) : RWxmsg(text) {}
};

class RWBoundsErr : public RWInternalErr {
public:
    explicit RWBoundsErr(const RWMessageText& msg) : RWInternalErr(msg) {}
    explicit RWBoundsErr(const char* text) : RWInternalErr(text) {}
};

// Throw a copy of the object as its own class.
[[noreturn]] void throwError(const RWxmsg& e);
[[noreturn]] void throwError(const RWxalloc& e);
[[noreturn]] void throwError(const RWExternalErr& e);
[[noreturn]] void throwError(const RWFileErr& e);
[[noreturn]] void throwError(const RWStreamErr& e);
[[noreturn]] void throwError(const RWInternalErr& e);
[[noreturn]] void throwError(const RWBoundsErr& e);

// Process-wide fatal handler for code that cannot throw. The default writes the text
// to stderr and syslog and exits with code 1.
using rwfatalhandler = void (*)(const RWxmsg&);
rwfatalhandler setFatalHandler(rwfatalhandler handler);
[[noreturn]] void rwFatal(const RWxmsg& e);

// Runs f; a plain-text throw (const char* / char*) leaving it is rethrown as
// RWInternalErr carrying that text, so that it is caught like every other failure.
template <class F>
decltype(auto) rwGuardPlainText(F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const char* text) {
        throw RWInternalErr(text ? text : "");
    }
}
