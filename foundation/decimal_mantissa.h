#pragma once
// Fixed-width signed integers for decimal mantissas. The most negative value of the
// width is reserved as an overflow marker: every operation that overflows, divides by
// zero or is handed a marker returns the marker, and callers test for it.

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>

template <class Storage, int Bits>
class RWFixedInt {
public:
    using storage_type = Storage;
    // __int128 has no make_unsigned in strict mode.
    using U = std::conditional_t<sizeof(Storage) == 16, unsigned __int128, std::uint64_t>;
    static constexpr int bits = Bits;
    static constexpr Storage kMax = (Storage(1) << (Bits - 2)) - 1 + (Storage(1) << (Bits - 2));
    static constexpr Storage kMarker = -kMax - 1;

    constexpr RWFixedInt() = default;
    constexpr RWFixedInt(std::int32_t v) : v_(v) {}
    static constexpr RWFixedInt fromRaw(Storage v) {
        RWFixedInt r;
        r.v_ = (v > kMax || v < kMarker) ? kMarker : v;
        return r;
    }
    static constexpr RWFixedInt marker() { return fromRaw(kMarker); }

    constexpr Storage raw() const { return v_; }
    constexpr bool isMarker() const { return v_ == kMarker; }
    constexpr bool isNegative() const { return v_ < 0; }
    constexpr bool isZero() const { return v_ == 0; }

    friend constexpr RWFixedInt operator+(RWFixedInt a, RWFixedInt b) {
        Storage r;
        if (a.isMarker() || b.isMarker() || __builtin_add_overflow(a.v_, b.v_, &r)) return marker();
        return fromRaw(r);
    }
    friend constexpr RWFixedInt operator-(RWFixedInt a, RWFixedInt b) {
        Storage r;
        if (a.isMarker() || b.isMarker() || __builtin_sub_overflow(a.v_, b.v_, &r)) return marker();
        return fromRaw(r);
    }
    friend constexpr RWFixedInt operator*(RWFixedInt a, RWFixedInt b) {
        Storage r;
        if (a.isMarker() || b.isMarker() || __builtin_mul_overflow(a.v_, b.v_, &r)) return marker();
        return fromRaw(r);
    }
    // Truncates toward zero.
    friend constexpr RWFixedInt operator/(RWFixedInt a, RWFixedInt b) {
        if (a.isMarker() || b.isMarker() || b.v_ == 0) return marker();
        return fromRaw(a.v_ / b.v_);
    }
    friend constexpr RWFixedInt operator&(RWFixedInt a, RWFixedInt b) { return fromRaw(a.v_ & b.v_); }
    constexpr RWFixedInt operator-() const { return isMarker() ? marker() : fromRaw(-v_); }
    // Shift left by one, with a proper signed overflow check.
    constexpr RWFixedInt twice() const { return *this + *this; }
    constexpr RWFixedInt abs() const { return v_ < 0 ? -*this : *this; }

    friend constexpr bool operator==(RWFixedInt a, RWFixedInt b) { return a.v_ == b.v_; }
    friend constexpr bool operator!=(RWFixedInt a, RWFixedInt b) { return a.v_ != b.v_; }
    friend constexpr bool operator<(RWFixedInt a, RWFixedInt b) { return a.v_ < b.v_; }
    friend constexpr bool operator>(RWFixedInt a, RWFixedInt b) { return a.v_ > b.v_; }
    friend constexpr bool operator<=(RWFixedInt a, RWFixedInt b) { return a.v_ <= b.v_; }
    friend constexpr bool operator>=(RWFixedInt a, RWFixedInt b) { return a.v_ >= b.v_; }

    double toDouble() const { return static_cast<double>(v_); }
    // Truncates toward zero; the marker for NaN and for magnitudes of 2^(Bits-1) or more.
    static RWFixedInt fromDouble(double x) {
        if (std::isnan(x)) return marker();
        const double limit = std::ldexp(1.0, Bits - 1);
        if (x >= limit || x <= -limit) return marker();
        return fromRaw(static_cast<Storage>(std::trunc(x)));
    }

    // 16-bit digits, most significant first.
    static constexpr int kDigits16 = Bits / 16;
    void digits16(std::uint32_t out[Bits / 16]) const {
        U u = static_cast<U>(v_);
        for (int i = kDigits16 - 1; i >= 0; --i) {
            out[i] = static_cast<std::uint32_t>(u & 0xFFFF);
            u >>= 16;
        }
    }

    // Decimal digits of the value, "-" first when negative; "(bad value)" for the marker.
    std::string toString() const {
        if (isMarker()) return "(bad value)";
        if (v_ == 0) return "0";
        U u = v_ < 0 ? U(0) - static_cast<U>(v_) : static_cast<U>(v_);
        char buf[48];
        int n = 0;
        while (u != 0) {
            buf[n++] = static_cast<char>('0' + static_cast<int>(u % 10));
            u /= 10;
        }
        std::string s;
        if (v_ < 0) s += '-';
        while (n > 0) s += buf[--n];
        return s;
    }

private:
    Storage v_ = 0;
};

// 64-bit mantissa (high word signed, low word unsigned); marker -2^63.
class int64 : public RWFixedInt<std::int64_t, 64> {
public:
    using Base = RWFixedInt<std::int64_t, 64>;
    using Base::Base;
    constexpr int64(Base b) : Base(b) {}
    constexpr int64(std::int32_t high, std::uint32_t low)
        : Base(Base::fromRaw(
              static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low))) {}
    constexpr std::int32_t highWord() const {
        return static_cast<std::int32_t>(static_cast<std::uint64_t>(raw()) >> 32);
    }
    constexpr std::uint32_t lowWord() const { return static_cast<std::uint32_t>(static_cast<std::uint64_t>(raw())); }
};

// 96-bit mantissa (high word signed, middle and low unsigned); marker -2^95.
class int96 : public RWFixedInt<__int128, 96> {
public:
    using Base = RWFixedInt<__int128, 96>;
    using Base::Base;
    constexpr int96(Base b) : Base(b) {}
    constexpr int96(std::int32_t high, std::uint32_t middle, std::uint32_t low)
        : Base(Base::fromRaw((static_cast<__int128>(high) << 64) |
                             (static_cast<__int128>(static_cast<unsigned __int128>(middle) << 32)) |
                             static_cast<__int128>(low))) {}
    constexpr std::int32_t highWord() const { return static_cast<std::int32_t>(raw() >> 64); }
    constexpr std::uint32_t middleWord() const {
        return static_cast<std::uint32_t>(static_cast<unsigned __int128>(raw()) >> 32);
    }
    constexpr std::uint32_t lowWord() const {
        return static_cast<std::uint32_t>(static_cast<unsigned __int128>(raw()));
    }
};

inline std::ostream& operator<<(std::ostream& s, const int64& i) {
    return s << i.toString();
}
inline std::ostream& operator<<(std::ostream& s, const int96& i) {
    return s << i.toString();
}
