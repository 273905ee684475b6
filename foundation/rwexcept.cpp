#include "foundation/rwexcept.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system_log.h"

namespace {

char* duplicate(const char* text) {
    std::size_t n = std::strlen(text) + 1;
    char* p = new char[n];
    std::memcpy(p, text, n);
    return p;
}

void defaultFatalHandler(const RWxmsg& e) {
    std::fprintf(stderr, "Fatal Error: %s\n", e.what());
    std::fflush(stderr);
    tessaro::platform::WriteSystemLogError("Fatal Error: ", e.what());
    std::exit(1);
}

std::atomic<rwfatalhandler> gFatalHandler{defaultFatalHandler};

}  // namespace

RWxmsg::RWxmsg(const char* text) : msg_(duplicate(text ? text : "")), doFree_(1) {}

RWxmsg::RWxmsg(const RWMessageText& msg) : msg_(duplicate(msg.str())), doFree_(1) {}

RWxmsg::RWxmsg(const char* text, bool owns) : msg_(owns ? duplicate(text ? text : "") : text), doFree_(owns ? 1 : 0) {}

RWxmsg::RWxmsg(const RWxmsg& other)
    : std::exception(other), msg_(other.doFree_ ? duplicate(other.msg_) : other.msg_), doFree_(other.doFree_) {}

RWxmsg& RWxmsg::operator=(const RWxmsg& other) {
    if (this != &other) {
        const char* text = other.doFree_ ? duplicate(other.msg_) : other.msg_;
        if (doFree_) delete[] msg_;
        msg_ = text;
        doFree_ = other.doFree_;
    }
    return *this;
}

RWxmsg::~RWxmsg() {
    if (doFree_) delete[] msg_;
}

void RWxmsg::raise() const {
    throw RWxmsg(*this);
}

RWxalloc::RWxalloc(std::size_t size) : RWxmsg(rwMsgText(RWCORE_NOMEM()), false), size_(size) {}

void throwError(const RWxmsg& e) {
    throw RWxmsg(e);
}
void throwError(const RWxalloc& e) {
    throw RWxalloc(e);
}
void throwError(const RWExternalErr& e) {
    throw RWExternalErr(e);
}
void throwError(const RWFileErr& e) {
    throw RWFileErr(e);
}
void throwError(const RWStreamErr& e) {
    throw RWStreamErr(e);
}
void throwError(const RWInternalErr& e) {
    throw RWInternalErr(e);
}
void throwError(const RWBoundsErr& e) {
    throw RWBoundsErr(e);
}

rwfatalhandler setFatalHandler(rwfatalhandler handler) {
    return gFatalHandler.exchange(handler ? handler : defaultFatalHandler);
}

void rwFatal(const RWxmsg& e) {
    gFatalHandler.load()(e);
    // A handler that returns must not let the caller continue.
    std::exit(1);
}
