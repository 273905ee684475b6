#include "foundation/cstring.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <functional>
#include <new>

#include "foundation/rwassert.h"
#include "foundation/rwcase.h"
#include "foundation/rwexcept.h"

namespace {

std::atomic<std::size_t> gInitialCapacity{15};
std::atomic<std::size_t> gResizeIncrement{16};
std::atomic<std::size_t> gMaxWaste{15};

// The shared empty representation. It is never counted and never freed, so request
// threads can share it without touching its memory.
alignas(RWCStringRef) unsigned char gNullStorage[sizeof(RWCStringRef) + 4];

RWCStringRef* makeNullRep() {
    std::memset(gNullStorage, 0, sizeof gNullStorage);
    return new (gNullStorage) RWCStringRef();
}

RWCStringRef* nullRep() {
    static RWCStringRef* rep = makeNullRep();
    return rep;
}

bool within(const char* p, const char* begin, std::size_t n) {
    std::less_equal<const char*> le;
    std::less<const char*> lt;
    return le(begin, p) && lt(p, begin + n);
}

std::uint32_t rotl5(std::uint32_t h) {
    return (h << 5) | (h >> 27);
}

}  // namespace

// ---------------------------------------------------------------- representation

std::size_t RWCStringRef::first(char c) const {
    const char* p = std::strchr(data(), c);
    return p ? static_cast<std::size_t>(p - data()) : RW_NPOS;
}

std::size_t RWCStringRef::first(const char* set) const {
    RW_ASSERT(set != nullptr);
    const char* p = std::strpbrk(data(), set);
    return p ? static_cast<std::size_t>(p - data()) : RW_NPOS;
}

namespace {

// Always a fresh block, even for capacity 0 (RWCString("") has its own representation).
RWCStringRef* allocRep(std::size_t capacity) {
    if (capacity > RWCString::maxLength()) throw RWxalloc(capacity);
    void* block = ::operator new(sizeof(RWCStringRef) + capacity + 1);
    return new (block) RWCStringRef();
}

}  // namespace

RWCStringRef* RWCString::newRep(std::size_t capacity, std::size_t length) {
    RW_ASSERT(length <= capacity);
    if (capacity == 0 && length == 0) return nullRep();
    RWCStringRef* rep = allocRep(capacity);
    rep->refs_.store(0, std::memory_order_relaxed);
    rep->capacity_ = static_cast<std::uint32_t>(capacity);
    rep->nchars_ = static_cast<std::uint32_t>(length);
    rep->data()[length] = '\0';
    return rep;
}

void RWCString::release(RWCStringRef* rep) {
    if (rep == nullRep()) return;
    if (rep->refs_.fetch_sub(1, std::memory_order_acq_rel) == 0) {
        rep->~RWCStringRef();
        ::operator delete(static_cast<void*>(rep));
    }
}

// Only a sole holder may edit in place; the shared empty representation never.
bool RWCString::isShared(const RWCStringRef* rep) {
    return rep == nullRep() || rep->refs_.load(std::memory_order_acquire) > 0;
}

void RWCString::addRef(RWCStringRef* rep) {
    if (rep != nullRep()) rep->refs_.fetch_add(1, std::memory_order_relaxed);
}

std::size_t RWCString::capacityFor(std::size_t n) {
    if (n > maxLength()) throw RWxalloc(n);
    std::size_t ic = gInitialCapacity.load(std::memory_order_relaxed);
    std::size_t inc = std::max<std::size_t>(1, gResizeIncrement.load(std::memory_order_relaxed));
    if (n <= ic) return ic;
    std::size_t cap = ic + ((n - ic + inc - 1) / inc) * inc;
    return std::min(cap, std::max(n, maxLength()));
}

std::size_t RWCString::initialCapacity(std::size_t n) {
    return gInitialCapacity.exchange(n);
}
std::size_t RWCString::resizeIncrement(std::size_t n) {
    return gResizeIncrement.exchange(n);
}
std::size_t RWCString::maxWaste(std::size_t n) {
    return gMaxWaste.exchange(n);
}
std::size_t RWCString::initialCapacity() {
    return gInitialCapacity.load();
}
std::size_t RWCString::resizeIncrement() {
    return gResizeIncrement.load();
}
std::size_t RWCString::maxWaste() {
    return gMaxWaste.load();
}

bool RWCString::sharesEmptyRep() const {
    return pref() == nullRep();
}

void RWCString::setLength(std::size_t n) {
    RWCStringRef* rep = pref();
    RW_ASSERT(n <= rep->capacity());
    rep->nchars_ = static_cast<std::uint32_t>(n);
    data_[n] = '\0';
}

void RWCString::ownCopy(std::size_t capacity) {
    RWCStringRef* old = pref();
    std::size_t keep = std::min(old->length(), capacity);
    RWCStringRef* rep = newRep(capacity, keep);
    std::memcpy(rep->data(), old->data(), keep);
    release(old);
    adopt(rep);
    RW_ASSERT(pref() == nullRep() || pref()->references() == 0);
}

void RWCString::cow() {
    if (isShared(pref())) ownCopy(length());
}

void RWCString::cow(std::size_t room) {
    if (isShared(pref()) || capacity() < room) ownCopy(room);
}

void RWCString::clobber(std::size_t room) {
    RWCStringRef* rep = pref();
    if (!isShared(rep) && rep->capacity() >= room) {
        setLength(0);
    } else {
        RWCStringRef* fresh = newRep(room, 0);
        release(rep);
        adopt(fresh);
    }
}

// ---------------------------------------------------------------- construction

RWCString::RWCString() : data_(nullRep()->data()) {
    RW_ASSERT(pref()->capacity() == 0 && pref()->length() == 0 && data_[0] == '\0');
}

RWCString::RWCString(const char* cs) {
    RW_ASSERT(cs != nullptr);
    std::size_t n = std::strlen(cs);
    RWCStringRef* rep = allocRep(n);
    rep->refs_.store(0, std::memory_order_relaxed);
    rep->capacity_ = rep->nchars_ = static_cast<std::uint32_t>(n);
    std::memcpy(rep->data(), cs, n + 1);
    adopt(rep);
}

RWCString::RWCString(const char* cs, std::size_t n) {
    RW_ASSERT(cs != nullptr);
    RWCStringRef* rep = allocRep(n);
    rep->refs_.store(0, std::memory_order_relaxed);
    rep->capacity_ = rep->nchars_ = static_cast<std::uint32_t>(n);
    std::memcpy(rep->data(), cs, n);
    rep->data()[n] = '\0';
    adopt(rep);
}

RWCString::RWCString(RWCapacity cap) : data_(newRep(cap.value(), 0)->data()) {}

RWCString::RWCString(char c) : data_(newRep(std::max<std::size_t>(initialCapacity(), 1), 1)->data()) {
    data_[0] = c;
}

RWCString::RWCString(char c, std::size_t n) : data_(newRep(n, n)->data()) {
    if (n) std::memset(data_, c, n);
}

RWCString::RWCString(const RWCSubString& sub) {
    std::size_t n = sub.isNull() ? 0 : sub.extent_;
    RWCStringRef* rep = newRep(capacityFor(n), n);
    if (n) std::memcpy(rep->data(), sub.str_->data_ + sub.begin_, n);
    adopt(rep);
}

RWCString::RWCString(const RWCString& s) : data_(s.data_) {
    addRef(pref());
}

RWCString::RWCString(RWCString&& s) noexcept : data_(s.data_) {
    s.data_ = nullRep()->data();
}

RWCString::RWCString(const char* a, std::size_t n1, const char* b, std::size_t n2) {
    if (!a) n1 = 0;
    if (!b) n2 = 0;
    if (n1 > maxLength() || n2 > maxLength() - n1) throw RWxalloc(n1);
    RWCStringRef* rep = newRep(capacityFor(n1 + n2), n1 + n2);
    if (n1) std::memcpy(rep->data(), a, n1);
    if (n2) std::memcpy(rep->data() + n1, b, n2);
    adopt(rep);
    RW_ASSERT(length() == n1 + n2);
}

RWCString::~RWCString() {
    release(pref());
}

RWCString& RWCString::operator=(const RWCString& s) {
    if (pref() != s.pref()) {
        addRef(s.pref());
        release(pref());
        data_ = s.data_;
    }
    return *this;
}

RWCString& RWCString::operator=(RWCString&& s) noexcept {
    if (this != &s) {
        release(pref());
        data_ = s.data_;
        s.data_ = nullRep()->data();
    }
    return *this;
}

RWCString& RWCString::operator=(const char* cs) {
    RW_ASSERT(cs != nullptr);
    std::size_t n = std::strlen(cs);
    if (n) return replace(0, length(), cs, n);
    if (!isShared(pref())) {
        setLength(0);
    } else {
        release(pref());
        data_ = nullRep()->data();
    }
    return *this;
}

RWCString RWCString::copy() const {
    std::size_t n = length();
    RWCString s{RWCapacity(n)};
    if (n) {
        std::memcpy(s.data_, data_, n);
        s.setLength(n);
    }
    return s;
}

// ---------------------------------------------------------------- editing

RWCString& RWCString::replace(std::size_t pos, std::size_t n1, const char* cs, std::size_t n2) {
    if (!cs) n2 = 0;
    const std::size_t len = length();
    // A bad position is a caller's fault, but it must not take the server down.
    if (pos > len) indexError(pos, len);
    n1 = std::min(n1, len - pos);
    const std::size_t tail = len - n1 - pos;
    if (n2 > maxLength() || len - n1 > maxLength() - n2) throw RWxalloc(n2);
    const std::size_t total = len - n1 + n2;

    RWCStringRef* rep = pref();
    const std::size_t cap = rep->capacity();
    const bool fromSelf = cs && n2 && within(cs, data_, len);
    const bool tooWasteful = total < len && cap - total > maxWaste();
    if (!isShared(rep) && cap >= total && !tooWasteful && !fromSelf) {
        if (tail) std::memmove(data_ + pos + n2, data_ + pos + n1, tail);
        if (n2) std::memmove(data_ + pos, cs, n2);
        setLength(total);
    } else {
        RWCStringRef* fresh = newRep(capacityFor(total), total);
        char* d = fresh->data();
        if (pos) std::memcpy(d, data_, pos);
        if (n2) std::memcpy(d + pos, cs, n2);
        if (tail) std::memcpy(d + pos + n2, data_ + pos + n1, tail);
        release(rep);
        adopt(fresh);
    }
    return *this;
}

RWCString& RWCString::replace(std::size_t pos, std::size_t n1, const char* cs) {
    RW_ASSERT(cs != nullptr);
    return replace(pos, n1, cs, std::strlen(cs));
}

RWCString& RWCString::replace(std::size_t pos, std::size_t n1, const RWCString& s) {
    return replace(pos, n1, s.data(), s.length());
}

RWCString& RWCString::append(const char* cs) {
    RW_ASSERT(cs != nullptr);
    return replace(length(), 0, cs, std::strlen(cs));
}
RWCString& RWCString::append(const char* cs, std::size_t n) {
    return replace(length(), 0, cs, n);
}
RWCString& RWCString::append(const RWCString& s) {
    return replace(length(), 0, s.data(), s.length());
}

RWCString& RWCString::append(char c, std::size_t n) {
    if (n == 0) return *this;
    std::size_t len = length();
    if (n > maxLength() - len) throw RWxalloc(n);
    cow(len + n);
    std::memset(data_ + len, c, n);
    setLength(len + n);
    return *this;
}

RWCString& RWCString::prepend(const char* cs) {
    RW_ASSERT(cs != nullptr);
    return replace(0, 0, cs, std::strlen(cs));
}
RWCString& RWCString::prepend(const char* cs, std::size_t n) {
    return replace(0, 0, cs, n);
}
RWCString& RWCString::prepend(const RWCString& s) {
    return replace(0, 0, s.data(), s.length());
}

RWCString& RWCString::prepend(char c, std::size_t n) {
    if (n == 0) return *this;
    std::size_t len = length();
    if (n > maxLength() - len) throw RWxalloc(n);
    RWCStringRef* rep = pref();
    if (!isShared(rep) && rep->capacity() >= len + n) {
        std::memmove(data_ + n, data_, len);
        std::memset(data_, c, n);
        setLength(len + n);
    } else {
        RWCStringRef* fresh = newRep(capacityFor(len + n), len + n);
        std::memset(fresh->data(), c, n);
        std::memcpy(fresh->data() + n, data_, len);
        release(rep);
        adopt(fresh);
    }
    return *this;
}

RWCString& RWCString::insert(std::size_t pos, const char* cs) {
    RW_ASSERT(cs != nullptr);
    return replace(pos, 0, cs, std::strlen(cs));
}
RWCString& RWCString::insert(std::size_t pos, const char* cs, std::size_t n) {
    return replace(pos, 0, cs, n);
}
RWCString& RWCString::insert(std::size_t pos, const RWCString& s) {
    return replace(pos, 0, s.data(), s.length());
}

RWCString& RWCString::remove(std::size_t pos) {
    std::size_t len = length();
    return replace(pos, pos <= len ? len - pos : 0, nullptr, 0);
}

RWCString& RWCString::remove(std::size_t pos, std::size_t n) {
    return replace(pos, n, nullptr, 0);
}

void RWCString::resize(std::size_t n) {
    std::size_t len = length();
    if (n < len)
        remove(n);
    else if (n > len)
        append(' ', n - len);
}

std::size_t RWCString::capacity(std::size_t n) {
    if (length() < n && capacity() != n) ownCopy(n);
    RW_ASSERT(capacity() >= length());
    return capacity();
}

void RWCString::toLower() {
    cow();
    for (std::size_t i = 0, n = length(); i < n; ++i) data_[i] = rwcase::toLower(data_[i]);
}

void RWCString::toUpper() {
    cow();
    for (std::size_t i = 0, n = length(); i < n; ++i) data_[i] = rwcase::toUpper(data_[i]);
}

void RWCString::indexError(std::size_t i, std::size_t len) {
    if (i == RW_NPOS) throw RWBoundsErr(RWMessageText(RWTOOL_NPOSINDEX()));
    throw RWBoundsErr(RWMessageText(RWTOOL_INDEXERR(), static_cast<unsigned>(i), static_cast<unsigned>(len)));
}

char& RWCString::operator[](std::size_t i) {
    if (i >= length()) indexError(i, length());
    cow();
    return data_[i];
}

char RWCString::operator[](std::size_t i) const {
    if (i >= length()) indexError(i, length());
    return data_[i];
}

char& RWCString::operator()(std::size_t i) {
    return (*this)[i];
}
char RWCString::operator()(std::size_t i) const {
    return (*this)[i];
}

// ---------------------------------------------------------------- queries

bool RWCString::isAscii() const {
    for (std::size_t i = 0, n = length(); i < n; ++i)
        if (static_cast<unsigned char>(data_[i]) & 0x80) return false;
    return true;
}

int RWCString::compareTo(const char* cs, caseCompare cmp) const {
    RW_ASSERT_MSG(cs != nullptr, "RWCString::compareTo(const char* cs2, caseCompare cmp) const: nil pointer");
    const std::size_t len = length();
    for (std::size_t i = 0;; ++i) {
        if (cs[i] == '\0') return i < len ? 1 : 0;
        if (i == len) return -1;
        signed char theirs = static_cast<signed char>(cs[i]);
        signed char ours = static_cast<signed char>(data_[i]);
        if (cmp == ignoreCase) {
            theirs = static_cast<signed char>(rwcase::toLower(cs[i]));
            ours = static_cast<signed char>(rwcase::toLower(data_[i]));
        }
        if (theirs != ours) return theirs >= ours ? -1 : 1;
    }
}

// Exact comparison returns memcmp's own difference (unsigned bytes), unlike the
// const char* form, which compares signed bytes and returns -1/0/1.
int RWCString::compareTo(const RWCString& s, caseCompare cmp) const {
    const std::size_t n1 = length();
    const std::size_t n2 = s.length();
    const std::size_t n = std::min(n1, n2);
    if (cmp == exact) {
        if (n) {
            int r = std::memcmp(data_, s.data_, n);
            if (r != 0) return r;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            signed char a = static_cast<signed char>(rwcase::toLower(data_[i]));
            signed char b = static_cast<signed char>(rwcase::toLower(s.data_[i]));
            if (a != b) return a < b ? -1 : 1;
        }
    }
    return n1 < n2 ? -1 : (n1 == n2 ? 0 : 1);
}

bool RWCString::contains(const char* pat, caseCompare cmp) const {
    return index(pat, 0, cmp) != RW_NPOS;
}
bool RWCString::contains(const RWCString& pat, caseCompare cmp) const {
    return index(pat.data(), pat.length(), 0, cmp) != RW_NPOS;
}

std::size_t RWCString::index(const char* pat, std::size_t start, caseCompare cmp) const {
    RW_ASSERT_MSG(pat != nullptr, "RWCString::index(const char*, size_t, caseCompare) const: nil pointer");
    return index(pat, std::strlen(pat), start, cmp);
}

std::size_t RWCString::index(const RWCString& pat, std::size_t start, caseCompare cmp) const {
    return index(pat.data(), pat.length(), start, cmp);
}

std::size_t RWCString::index(const char* pat, std::size_t patlen, std::size_t start, caseCompare cmp) const {
    RW_ASSERT_MSG(pat != nullptr, "RWCString::index(const char*, size_t, caseCompare) const: nil pointer");
    const std::size_t len = length();
    if (start > len || patlen > len - start) return RW_NPOS;
    if (patlen == 0) return start;
    const std::size_t last = len - patlen;
    if (cmp == exact) {
        for (std::size_t i = start; i <= last; ++i)
            if (data_[i] == pat[0] && std::memcmp(data_ + i + 1, pat + 1, patlen - 1) == 0) return i;
        return RW_NPOS;
    }
    const char first = rwcase::toLower(pat[0]);
    for (std::size_t i = start; i <= last; ++i) {
        if (rwcase::toLower(data_[i]) != first) continue;
        std::size_t j = 1;
        while (j < patlen && rwcase::toLower(data_[i + j]) == rwcase::toLower(pat[j])) ++j;
        if (j == patlen) return i;
    }
    return RW_NPOS;
}

std::size_t RWCString::first(char c) const {
    return pref()->first(c);
}

std::size_t RWCString::first(char c, std::size_t n) const {
    n = std::min(n, length());
    const void* p = std::memchr(data_, c, n);
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - data_) : RW_NPOS;
}

std::size_t RWCString::first(const char* set) const {
    return pref()->first(set);
}

std::size_t RWCString::first(const char* set, std::size_t n) const {
    RW_ASSERT(set != nullptr);
    for (std::size_t i = 0, len = length(); i < len; ++i)
        if (std::memchr(set, data_[i], n)) return i;
    return RW_NPOS;
}

std::size_t RWCString::last(char c) const {
    const char* p = std::strrchr(data_, c);
    return p ? static_cast<std::size_t>(p - data_) : RW_NPOS;
}

std::size_t RWCString::last(char c, std::size_t n) const {
    for (std::size_t i = std::min(n, length()); i-- > 0;)
        if (data_[i] == c) return i;
    return RW_NPOS;
}

unsigned RWCString::hash(caseCompare cmp) const {
    const std::size_t len = length();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data_);
    std::uint32_t h = static_cast<std::uint32_t>(len);
    if (cmp == ignoreCase) {
        for (std::size_t i = 0; i < len; ++i) h = rotl5(h) ^ rwcase::toUpper(p[i]);
        return h;
    }
    std::size_t i = 0;
    for (; i + 4 <= len; i += 4) {
        std::uint32_t w = static_cast<std::uint32_t>(p[i]) | (static_cast<std::uint32_t>(p[i + 1]) << 8) |
                          (static_cast<std::uint32_t>(p[i + 2]) << 16) | (static_cast<std::uint32_t>(p[i + 3]) << 24);
        h = rotl5(h) ^ w;
    }
    if (i < len) {
        std::uint32_t v = 0;
        for (; i < len; ++i) {
            std::int32_t b = static_cast<signed char>(p[i]);
            v = static_cast<std::uint32_t>(b) | (v << 8);
        }
        h = rotl5(h) ^ v;
    }
    return h;
}

int RWCString::collate(const char* cs) const {
    RW_ASSERT(cs != nullptr);
    return std::strcoll(data_, cs);
}

std::size_t RWCString::mbLength() const {
    std::mbstate_t state{};
    const std::size_t len = length();
    std::size_t i = 0;
    std::size_t count = 0;
    while (i < len && data_[i] != '\0') {
        std::size_t r = std::mbrlen(data_ + i, len - i, &state);
        if (r == 0 || r == static_cast<std::size_t>(-1) || r == static_cast<std::size_t>(-2)) return RW_NPOS;
        i += r;
        ++count;
    }
    return count;
}

// ---------------------------------------------------------------- substrings

RWCSubString RWCString::operator()(std::size_t start, std::size_t len) {
    return RWCSubString(*this, start, len);
}

const RWCSubString RWCString::operator()(std::size_t start, std::size_t len) const {
    return RWCSubString(*this, start, len);
}

RWCSubString RWCString::subString(const char* pat, std::size_t start, caseCompare cmp) {
    RW_ASSERT(pat != nullptr);
    std::size_t n = std::strlen(pat);
    std::size_t i = index(pat, n, start, cmp);
    return i == RW_NPOS ? RWCSubString(*this, RW_NPOS, 0) : RWCSubString(*this, i, n);
}

const RWCSubString RWCString::subString(const char* pat, std::size_t start, caseCompare cmp) const {
    return const_cast<RWCString*>(this)->subString(pat, start, cmp);
}

RWCSubString RWCString::strip(stripType where, char c) {
    RW_ASSERT((where & both) != 0);
    std::size_t begin = 0;
    std::size_t end = length();
    if (where & leading)
        while (begin < end && data_[begin] == c) ++begin;
    if (where & trailing)
        while (end > begin && data_[end - 1] == c) --end;
    if (begin == end) return RWCSubString(*this, RW_NPOS, 0);
    return RWCSubString(*this, begin, end - begin);
}

const RWCSubString RWCString::strip(stripType where, char c) const {
    return const_cast<RWCString*>(this)->strip(where, c);
}

RWCSubString::RWCSubString(const RWCString& s, std::size_t start, std::size_t len)
    : str_(const_cast<RWCString*>(&s)), begin_(start), extent_(len) {
    const std::size_t slen = s.length();
    if ((start == RW_NPOS && len != 0) || (start != RW_NPOS && (start > slen || len > slen - start)))
        subStringError(slen, start, len);
}

void RWCSubString::subStringError(std::size_t len, std::size_t start, std::size_t extent) const {
    throw RWBoundsErr(RWMessageText(RWTOOL_SUBSTRING(), static_cast<int>(start), static_cast<unsigned>(extent),
                                    static_cast<unsigned>(len)));
}

const char* RWCSubString::startData() const {
    return str_->data() + (isNull() ? 0 : begin_);
}

RWCSubString& RWCSubString::assign(const char* cs, std::size_t n) {
    if (isNull()) return *this;
    str_->replace(begin_, extent_, cs, n);
    extent_ = n;
    return *this;
}

RWCSubString& RWCSubString::operator=(const char* cs) {
    RW_ASSERT(cs != nullptr);
    return assign(cs, std::strlen(cs));
}

RWCSubString& RWCSubString::operator=(const RWCString& s) {
    return assign(s.data(), s.length());
}

RWCSubString& RWCSubString::operator=(const RWCSubString& sub) {
    if (this == &sub) return *this;
    return assign(sub.startData(), sub.extent_);
}

void RWCSubString::assertElement(std::size_t i) const {
    if (i >= extent_) RWCString::indexError(i, extent_);
}

char& RWCSubString::operator[](std::size_t i) {
    assertElement(i);
    str_->cow();
    return str_->data_[begin_ + i];
}

char RWCSubString::operator[](std::size_t i) const {
    assertElement(i);
    return str_->data_[begin_ + i];
}

char& RWCSubString::operator()(std::size_t i) {
    return (*this)[i];
}
char RWCSubString::operator()(std::size_t i) const {
    return (*this)[i];
}

void RWCSubString::toLower() {
    if (isNull()) return;
    str_->cow();
    for (std::size_t i = 0; i < extent_; ++i) str_->data_[begin_ + i] = rwcase::toLower(str_->data_[begin_ + i]);
}

void RWCSubString::toUpper() {
    if (isNull()) return;
    str_->cow();
    for (std::size_t i = 0; i < extent_; ++i) str_->data_[begin_ + i] = rwcase::toUpper(str_->data_[begin_ + i]);
}

// ---------------------------------------------------------------- free functions

bool operator==(const RWCString& s1, const RWCString& s2) {
    return s1.length() == s2.length() && std::memcmp(s1.data(), s2.data(), s1.length()) == 0;
}

bool operator==(const RWCString& s1, const char* s2) {
    RW_ASSERT(s2 != nullptr);
    const std::size_t n = s1.length();
    return std::strlen(s2) == n && std::memcmp(s1.data(), s2, n) == 0;
}

bool operator==(const RWCSubString& ss, const char* cs) {
    RW_ASSERT(cs != nullptr);
    if (ss.isNull()) return cs[0] == '\0';
    RW_ASSERT(ss.begin_ + ss.extent_ <= ss.str_->length());
    return std::strlen(cs) == ss.extent_ && std::memcmp(ss.startData(), cs, ss.extent_) == 0;
}

bool operator==(const RWCSubString& ss, const RWCString& s) {
    if (ss.isNull()) return s.isNull();
    return ss.extent_ == s.length() && std::memcmp(ss.startData(), s.data(), ss.extent_) == 0;
}

bool operator==(const RWCSubString& s1, const RWCSubString& s2) {
    if (s1.isNull() && s2.isNull()) return true;
    return s1.extent_ == s2.extent_ && std::memcmp(s1.startData(), s2.startData(), s1.extent_) == 0;
}

RWCString operator+(const RWCString& s, const char* cs) {
    RW_ASSERT(cs != nullptr);
    return RWCString(s.data(), s.length(), cs, std::strlen(cs));
}

RWCString operator+(const char* cs, const RWCString& s) {
    RW_ASSERT(cs != nullptr);
    return RWCString(cs, std::strlen(cs), s.data(), s.length());
}

RWCString operator+(const RWCString& s1, const RWCString& s2) {
    return RWCString(s1.data(), s1.length(), s2.data(), s2.length());
}

RWCString toLower(const RWCString& s) {
    std::size_t n = s.length();
    RWCString r(s.data(), n);
    r.toLower();
    return r;
}

RWCString toUpper(const RWCString& s) {
    std::size_t n = s.length();
    RWCString r(s.data(), n);
    r.toUpper();
    return r;
}

RWCString strXForm(const RWCString& s) {
    std::size_t n = std::strxfrm(nullptr, s.data(), 0) + 1;
    RWCString key('\0', n);
    std::size_t used = std::strxfrm(&key[0], s.data(), n);
    if (used >= n) return RWCString();
    return key;
}
