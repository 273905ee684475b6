#include "foundation/bitvec.h"

#include <cstring>
#include <utility>

#include "foundation/rwassert.h"
#include "foundation/rwexcept.h"

namespace {

RWByte* allocBytes(std::size_t n) {
    return n ? new RWByte[n]() : nullptr;
}

unsigned rotl5(unsigned h) {
    return (h << 5) | (h >> 27);
}

}  // namespace

RWBitVec::RWBitVec(std::size_t n) : vec_(allocBytes((n + 7) >> 3)), npts_(n) {}

RWBitVec::RWBitVec(std::size_t n, bool value) : vec_(allocBytes((n + 7) >> 3)), npts_(n) {
    if (vec_) std::memset(vec_, value ? 0xFF : 0x00, nbytes());
}

RWBitVec::RWBitVec(const RWByte* bytes, std::size_t n) {
    RW_ASSERT_MSG(bytes != nullptr, "RWBitVec::RWBitVec(const RWByte*,size_t): Initialization from nil buffer");
    npts_ = n;
    vec_ = allocBytes(nbytes());
    if (vec_) std::memcpy(vec_, bytes, nbytes());
}

RWBitVec::RWBitVec(const RWBitVec& v) : vec_(allocBytes(v.nbytes())), npts_(v.npts_) {
    if (vec_) std::memcpy(vec_, v.vec_, nbytes());
}

RWBitVec::RWBitVec(RWBitVec&& v) noexcept : vec_(std::exchange(v.vec_, nullptr)), npts_(std::exchange(v.npts_, 0)) {}

RWBitVec::~RWBitVec() {
    delete[] vec_;
}

RWBitVec& RWBitVec::operator=(const RWBitVec& v) {
    if (this == &v || vec_ == v.vec_) return *this;
    RWByte* fresh = allocBytes(v.nbytes());
    if (fresh) std::memcpy(fresh, v.vec_, v.nbytes());
    delete[] vec_;
    vec_ = fresh;
    npts_ = v.npts_;
    return *this;
}

RWBitVec& RWBitVec::operator=(RWBitVec&& v) noexcept {
    if (this != &v) {
        delete[] vec_;
        vec_ = std::exchange(v.vec_, nullptr);
        npts_ = std::exchange(v.npts_, 0);
    }
    return *this;
}

RWBitVec& RWBitVec::operator=(bool value) {
    if (vec_) std::memset(vec_, value ? 0xFF : 0x00, nbytes());
    return *this;
}

void RWBitVec::checkLength(const RWBitVec& v) const {
    if (npts_ != v.npts_)
        throw RWInternalErr(
            RWMessageText(RWTOOL_NEVECL(), static_cast<unsigned>(npts_), static_cast<unsigned>(v.npts_)));
}

// The compound forms check the lengths too: a shorter right operand would be read
// past its end.
RWBitVec& RWBitVec::operator&=(const RWBitVec& v) {
    checkLength(v);
    rwAnd(vec_, v.vec_, nbytes());
    return *this;
}

RWBitVec& RWBitVec::operator^=(const RWBitVec& v) {
    checkLength(v);
    rwXor(vec_, v.vec_, nbytes());
    return *this;
}

RWBitVec& RWBitVec::operator|=(const RWBitVec& v) {
    checkLength(v);
    rwOr(vec_, v.vec_, nbytes());
    return *this;
}

bool RWBitVec::operator==(const RWBitVec& v) const {
    if (npts_ != v.npts_) return false;
    const std::size_t full = npts_ >> 3;
    if (full && std::memcmp(vec_, v.vec_, full) != 0) return false;
    if (npts_ & 7) {
        const unsigned mask = (1u << (npts_ & 7)) - 1;
        if ((vec_[full] & mask) != (v.vec_[full] & mask)) return false;
    }
    return true;
}

bool RWBitVec::isEqual(bool value) const {
    return value ? rwFirstFalse(vec_, npts_) == static_cast<std::size_t>(-1)
                 : rwFirstTrue(vec_, npts_) == static_cast<std::size_t>(-1);
}

void RWBitVec::boundsCheck(std::size_t i) const {
    if (i >= npts_)
        throw RWBoundsErr(RWMessageText(RWTOOL_INDEXERR(), static_cast<unsigned>(i), static_cast<unsigned>(npts_)));
}

bool RWBitVec::operator[](std::size_t i) const {
    boundsCheck(i);
    return testBit(i);
}

unsigned RWBitVec::hash() const {
    unsigned h = static_cast<unsigned>(npts_);
    const std::size_t full = npts_ >> 3;
    for (std::size_t i = 0; i < full; ++i) h = rotl5(h) ^ vec_[i];
    if (npts_ & 7) h = rotl5(h) ^ (vec_[full] & ((1u << (npts_ & 7)) - 1));
    return h;
}

void RWBitVec::resize(std::size_t n) {
    const std::size_t oldBytes = nbytes();
    const std::size_t newBytes = (n + 7) >> 3;
    RWByte* fresh = allocBytes(newBytes);
    const std::size_t common = oldBytes < newBytes ? oldBytes : newBytes;
    if (common) std::memcpy(fresh, vec_, common);
    if (n > npts_ && (npts_ & 7)) fresh[npts_ >> 3] &= static_cast<RWByte>((1u << (npts_ & 7)) - 1);
    delete[] vec_;
    vec_ = fresh;
    npts_ = n;
}

std::size_t RWBitVec::sum() const {
    std::size_t total = 0;
    const std::size_t full = npts_ >> 3;
    for (std::size_t i = 0; i < full; ++i) total += static_cast<std::size_t>(__builtin_popcount(vec_[i]));
    if (npts_ & 7) total += static_cast<std::size_t>(__builtin_popcount(vec_[full] & ((1u << (npts_ & 7)) - 1)));
    return total;
}

RWBitVec operator&(const RWBitVec& a, const RWBitVec& b) {
    RWBitVec r(a);
    r &= b;
    return r;
}

RWBitVec operator^(const RWBitVec& a, const RWBitVec& b) {
    RWBitVec r(a);
    r ^= b;
    return r;
}

RWBitVec operator|(const RWBitVec& a, const RWBitVec& b) {
    RWBitVec r(a);
    r |= b;
    return r;
}

RWBitVec operator!(const RWBitVec& v) {
    RWBitVec r(v);
    const std::size_t n = (v.length() + 7) >> 3;
    RWByte* bytes = const_cast<RWByte*>(r.data());
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<RWByte>(~bytes[i]);
    return r;
}
