#pragma once

#include <cstddef>

#include "foundation/toolmisc.h"

// A vector of bits stored least significant first in whole bytes. The bits of the
// last byte above the length carry no meaning and are masked wherever they could show.
class RWBitVec {
public:
    RWBitVec() = default;
    explicit RWBitVec(std::size_t n);
    RWBitVec(std::size_t n, bool value);
    RWBitVec(const RWByte* bytes, std::size_t n);
    RWBitVec(const RWBitVec& v);
    RWBitVec(RWBitVec&& v) noexcept;
    ~RWBitVec();

    RWBitVec& operator=(const RWBitVec& v);
    RWBitVec& operator=(RWBitVec&& v) noexcept;
    RWBitVec& operator=(bool value);

    // Unequal lengths raise RWInternalErr ([NEVECL]).
    RWBitVec& operator&=(const RWBitVec& v);
    RWBitVec& operator^=(const RWBitVec& v);
    RWBitVec& operator|=(const RWBitVec& v);

    bool operator==(const RWBitVec& v) const;
    bool operator!=(const RWBitVec& v) const { return !(*this == v); }
    bool isEqual(bool value) const;  // every valid bit equals value

    // Checked access (RWBoundsErr [INDEXERR]).
    bool operator[](std::size_t i) const;
    // Unchecked access.
    bool testBit(std::size_t i) const { return (vec_[i >> 3] >> (i & 7)) & 1; }
    void setBit(std::size_t i) { vec_[i >> 3] = static_cast<RWByte>(vec_[i >> 3] | (1u << (i & 7))); }
    void clearBit(std::size_t i) { vec_[i >> 3] = static_cast<RWByte>(vec_[i >> 3] & ~(1u << (i & 7))); }
    void setBit(std::size_t i, bool value) { value ? setBit(i) : clearBit(i); }

    void boundsCheck(std::size_t i) const;
    unsigned hash() const;
    void resize(std::size_t n);
    std::size_t sum() const;
    std::size_t length() const { return npts_; }
    const RWByte* data() const { return vec_; }
    std::size_t firstTrue() const { return rwFirstTrue(vec_, npts_); }
    std::size_t firstFalse() const { return rwFirstFalse(vec_, npts_); }

private:
    std::size_t nbytes() const { return (npts_ + 7) >> 3; }
    void checkLength(const RWBitVec& v) const;

    RWByte* vec_ = nullptr;
    std::size_t npts_ = 0;
};

RWBitVec operator&(const RWBitVec& a, const RWBitVec& b);
RWBitVec operator^(const RWBitVec& a, const RWBitVec& b);
RWBitVec operator|(const RWBitVec& a, const RWBitVec& b);
RWBitVec operator!(const RWBitVec& v);
