#pragma once
// Exact decimal numbers: a fixed-width integer mantissa scaled by a power of ten, with
// states for null, missing and not-a-number. RWDecimal64 keeps 18 digits, RWDecimal96 28.
// Overflow and lost precision are reported through replaceable per-width handlers.

#include <atomic>
#include <cstdint>

#include "foundation/decimal_mantissa.h"
#include "foundation/rwexcept.h"

class RWDecimalPortable;

template <class M>
struct RWDecimalTraits;
template <>
struct RWDecimalTraits<int64> {
    static constexpr int maxDigits = 18;
    static constexpr const char* className = "RWDecimal64";
};
template <>
struct RWDecimalTraits<int96> {
    static constexpr int maxDigits = 28;
    static constexpr const char* className = "RWDecimal96";
};

// Operation codes carried by the error objects.
enum RWDecimalOp {
    rwdOpAssign = 0,
    rwdOpAdd = 1,
    rwdOpSub = 2,
    rwdOpMul = 3,
    rwdOpDiv = 4,
    rwdOpPow = 5,
    rwdOpPow10 = 6,
    rwdOpConversion = 7
};
const char* rwDecimalOpName(int code);  // "=", "+", ... ; "" for an unknown code

template <class M>
class RWDecimalOverflowErr;
template <class M>
class RWDecimalInexactErr;

template <class M>
class RWDecimal {
public:
    using mantissa_type = M;
    using Traits = RWDecimalTraits<M>;
    enum State { normal = 0, nullstate = 1, NaNstate = 2, ctorError = 4, missingstate = 8 };
    enum RoundingMethod { PLAIN = 0, UP = 1, DOWN = 2, BANKERS = 3 };
    using OverflowHandler = void (*)(const RWDecimalOverflowErr<M>&);
    using InexactHandler = void (*)(const RWDecimalInexactErr<M>&);

    RWDecimal() : state_(nullstate) {}
    explicit RWDecimal(State s) : state_(s) {}
    RWDecimal(const M& mantissa, int exponent, int state = normal)
        : state_(state), mantissa_(mantissa), exponent_(exponent) {}
    RWDecimal(int value) : state_(normal), mantissa_(M(static_cast<std::int32_t>(value))) {}
    RWDecimal(double value);
    explicit RWDecimal(const char* text);
    explicit RWDecimal(const RWDecimalPortable& portable);
    static RWDecimal from(double value) { return RWDecimal(value); }

    int state() const { return state_; }
    bool isNormal() const { return state_ == normal; }
    const M& mantissa() const { return mantissa_; }
    int exponent() const { return exponent_; }

    static const RWDecimal& nullValue();
    static const RWDecimal& missingValue();
    static const RWDecimal& NaNValue();
    static constexpr int maxDigits() { return Traits::maxDigits; }

    // 10^n for 0 <= n <= maxDigits; POWRANGE and the marker otherwise.
    static M pow10(int n);
    // mantissa x 10^n (the marker on overflow).
    M scale(int n) const;
    // Digits the mantissa can still be scaled by.
    int freeDigits() const;
    // 1 written with n places (n outside 0..maxDigits is taken as maxDigits).
    static RWDecimal oneWithPlaces(int n);
    static RWDecimal oneWithPlaces() { return oneWithPlaces(Traits::maxDigits); }

    static OverflowHandler setOverflowHandler(OverflowHandler h);
    static InexactHandler setInexactHandler(InexactHandler h);

    RWDecimal operator-() const { return RWDecimal(-mantissa_, exponent_, state_); }
    // Hidden friends, so that ints and doubles convert on either side.
    friend RWDecimal operator+(const RWDecimal& a, const RWDecimal& b) { return add(a, b, rwdOpAdd); }
    friend RWDecimal operator-(const RWDecimal& a, const RWDecimal& b) { return add(a, -b, rwdOpSub); }
    friend RWDecimal operator*(const RWDecimal& a, const RWDecimal& b) { return multiply(a, b); }
    friend RWDecimal operator/(const RWDecimal& a, const RWDecimal& b) { return divide(a, b); }
    friend bool operator==(const RWDecimal& a, const RWDecimal& b) { return equal(a, b); }
    friend bool operator!=(const RWDecimal& a, const RWDecimal& b) { return !equal(a, b); }
    friend bool operator<(const RWDecimal& a, const RWDecimal& b) { return less(a, b); }
    friend bool operator>(const RWDecimal& a, const RWDecimal& b) { return less(b, a); }
    // With a non-normal operand both <= and >= hold, as < and > both fail.
    friend bool operator<=(const RWDecimal& a, const RWDecimal& b) { return !less(b, a); }
    friend bool operator>=(const RWDecimal& a, const RWDecimal& b) { return !less(a, b); }

    RWDecimal& operator+=(const RWDecimal& b) { return *this = *this + b; }
    RWDecimal& operator-=(const RWDecimal& b) { return *this = *this - b; }
    RWDecimal& operator*=(const RWDecimal& b) { return *this = *this * b; }
    RWDecimal& operator/=(const RWDecimal& b) { return *this = *this / b; }

    static RWDecimal add(const RWDecimal& a, const RWDecimal& b, int op);
    static RWDecimal multiply(const RWDecimal& a, const RWDecimal& b);
    static RWDecimal divide(const RWDecimal& a, const RWDecimal& b);
    static RWDecimal power(const RWDecimal& x, int n);
    // 1 / x, extended by places while a remainder is left, up to maxDigits places.
    static RWDecimal reciprocal(const RWDecimal& x);
    static RWDecimal roundTo(const RWDecimal& x, int places, int method);

    static bool equal(const RWDecimal& a, const RWDecimal& b);
    static bool less(const RWDecimal& a, const RWDecimal& b);

    double toDouble() const;
    // Rounded to a whole number with the method; exact. 0 for a non-normal value,
    // INT64_MIN when the whole number does not fit 64 bits.
    std::int64_t toInteger(int method = PLAIN) const;

    // Reporting, used by the conversions as well as the arithmetic.
    static void reportOverflow(int op, const RWDecimal& a, const RWDecimal& b, RWMsgId rec, ...);
    static void reportInexact(int op, const RWDecimal& a, const RWDecimal& b, RWMsgId rec, ...);

private:
    static RWDecimal powerUnsigned(const RWDecimal& x, std::uint32_t n);

    int state_ = nullstate;
    M mantissa_{};
    int exponent_ = 0;

    static std::atomic<OverflowHandler> overflowHandler_;
    static std::atomic<InexactHandler> inexactHandler_;
};

// Overflow and inexact errors: the formatted message, the operation and copies of its operands.
template <class M>
class RWDecimalErrBase : public RWxmsg {
public:
    RWDecimalErrBase(const RWMessageText& msg, int op, const RWDecimal<M>& left, const RWDecimal<M>& right)
        : RWxmsg(msg), op_(op), left_(left), right_(right) {}
    int opCode() const { return op_; }
    const char* opString() const { return rwDecimalOpName(op_); }
    const char* msg() const { return why(); }
    const RWDecimal<M>& leftOperand() const { return left_; }
    const RWDecimal<M>& rightOperand() const { return right_; }

private:
    int op_;
    RWDecimal<M> left_;
    RWDecimal<M> right_;
};

template <class M>
class RWDecimalOverflowErr : public RWDecimalErrBase<M> {
public:
    using RWDecimalErrBase<M>::RWDecimalErrBase;
};

template <class M>
class RWDecimalInexactErr : public RWDecimalErrBase<M> {
public:
    using RWDecimalErrBase<M>::RWDecimalErrBase;
};

template <class M>
RWDecimal<M> abs(const RWDecimal<M>& x) {
    return RWDecimal<M>(x.mantissa().abs(), x.exponent());
}
template <class M>
RWDecimal<M> pow(const RWDecimal<M>& x, int n) {
    return RWDecimal<M>::power(x, n);
}
template <class M>
RWDecimal<M> round(const RWDecimal<M>& x, int places, int method = RWDecimal<M>::PLAIN) {
    return RWDecimal<M>::roundTo(x, places, method);
}
template <class M>
RWDecimal<M> reciprocal(const RWDecimal<M>& x) {
    return RWDecimal<M>::reciprocal(x);
}
template <class M>
double toDouble(const RWDecimal<M>& x) {
    return x.toDouble();
}
template <class M>
std::int64_t toInteger(const RWDecimal<M>& x, int method = RWDecimal<M>::PLAIN) {
    return x.toInteger(method);
}

using RWDecimal64 = RWDecimal<int64>;
using RWDecimal96 = RWDecimal<int96>;
using RWDecimal64OverflowErr = RWDecimalOverflowErr<int64>;
using RWDecimal64InexactErr = RWDecimalInexactErr<int64>;
using RWDecimal96OverflowErr = RWDecimalOverflowErr<int96>;
using RWDecimal96InexactErr = RWDecimalInexactErr<int96>;

extern template class RWDecimal<int64>;
extern template class RWDecimal<int96>;
