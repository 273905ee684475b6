#include "foundation/decimal.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "foundation/decimal_messages.h"
#include "foundation/decimal_portable.h"

const char* rwDecimalOpName(int code) {
    static const char* const names[] = {"=", "+", "-", "*", "/", "pow", "pow10", "conversion"};
    return (code >= 0 && code <= 7) ? names[code] : "";
}

namespace {

using U128 = unsigned __int128;

// 10^n as an unsigned 128-bit value, n <= 38.
U128 pow10u(int n) {
    U128 p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

// Exponent differences, bounded so that no arithmetic on them can overflow; any
// shift beyond 100 places already empties or overflows every mantissa.
int boundedShift(long shift) {
    return shift > 100 ? 100 : shift < -100 ? -100 : static_cast<int>(shift);
}

template <class M>
U128 magnitude(const M& m) {
    const auto v = m.raw();
    return v < 0 ? U128(0) - static_cast<U128>(v) : static_cast<U128>(v);
}

template <class M>
M fromMagnitude(U128 u, bool negative) {
    using S = typename M::storage_type;
    if (u > static_cast<U128>(M::kMax)) return M::marker();
    const S v = static_cast<S>(u);
    return M::fromRaw(negative ? -v : v);
}

// m x 10^n without reporting: n < 0 divides (truncating), overflow gives the marker.
template <class M>
M scaleQuiet(const M& m, int n) {
    if (m.isMarker()) return m;
    if (n == 0 || m.isZero()) return m;
    const U128 mag = magnitude(m);
    if (n < 0) {
        if (-n > 38) return M(0);
        return fromMagnitude<M>(mag / pow10u(-n), m.isNegative());
    }
    if (n > 38) return M::marker();
    const U128 p = pow10u(n);
    if (mag > static_cast<U128>(M::kMax) / p) return M::marker();
    return fromMagnitude<M>(mag * p, m.isNegative());
}

// Rough decimal size of a magnitude: the digits of each non-zero 16-bit digit, summed.
template <class M>
int sizeEstimate(U128 u) {
    int size = 0;
    for (int i = 0; i < M::kDigits16; ++i) {
        const unsigned d = static_cast<unsigned>(u & 0xFFFF);
        u >>= 16;
        if (d != 0) size += static_cast<int>(std::floor(std::log10(static_cast<double>(d)))) + 1;
    }
    return size;
}

struct Quotient {
    U128 q;
    int places;
    bool inexact;
};

// Quotient of two magnitudes as q x 10^-places, as many digits as the width allows.
template <class M>
Quotient longDivide(U128 a, U128 b) {
    const int maxDigits = RWDecimalTraits<M>::maxDigits;
    int s = sizeEstimate<M>(b) + maxDigits - sizeEstimate<M>(a) + 1;
    if (s < 0) s = 0;
    std::string digits = M::fromRaw(static_cast<typename M::storage_type>(a / b)).toString();
    U128 r = a % b;
    for (int i = 0; i < s; ++i) {
        r *= 10;
        digits += static_cast<char>('0' + static_cast<int>(r / b));
        r %= b;
    }
    bool inexact = r != 0;
    if (!inexact)
        while (s > 0 && digits.size() > 1 && digits.back() == '0') {
            digits.pop_back();
            --s;
        }
    std::size_t lead = 0;
    while (lead + 1 < digits.size() && digits[lead] == '0') ++lead;
    digits.erase(0, lead);
    auto value = [&](U128& out) {
        if (digits.size() > 38) return false;
        out = 0;
        for (char c : digits) out = out * 10 + static_cast<unsigned>(c - '0');
        return out <= static_cast<U128>(M::kMax);
    };
    U128 q = 0;
    while (!value(q)) {
        digits.pop_back();
        --s;
        inexact = true;
    }
    return {q, s, inexact};
}

}  // namespace

template <class M>
std::atomic<typename RWDecimal<M>::OverflowHandler> RWDecimal<M>::overflowHandler_{
    [](const RWDecimalOverflowErr<M>& e) { throw RWExternalErr(e.why()); }};

template <class M>
std::atomic<typename RWDecimal<M>::InexactHandler> RWDecimal<M>::inexactHandler_{[](const RWDecimalInexactErr<M>& e) {
    if (e.opCode() == rwdOpDiv) return;
    std::cerr << e.why() << std::endl;
}};

template <class M>
typename RWDecimal<M>::OverflowHandler RWDecimal<M>::setOverflowHandler(OverflowHandler h) {
    return overflowHandler_.exchange(h);
}

template <class M>
typename RWDecimal<M>::InexactHandler RWDecimal<M>::setInexactHandler(InexactHandler h) {
    return inexactHandler_.exchange(h);
}

template <class M>
void RWDecimal<M>::reportOverflow(int op, const RWDecimal& a, const RWDecimal& b, RWMsgId rec, ...) {
    std::va_list args;
    va_start(args, rec);
    RWMessageText text = RWMessageText::vformat(rec, args);
    va_end(args);
    RWDecimalOverflowErr<M> err(text, op, a, b);
    if (OverflowHandler h = overflowHandler_.load()) h(err);
}

template <class M>
void RWDecimal<M>::reportInexact(int op, const RWDecimal& a, const RWDecimal& b, RWMsgId rec, ...) {
    std::va_list args;
    va_start(args, rec);
    RWMessageText text = RWMessageText::vformat(rec, args);
    va_end(args);
    RWDecimalInexactErr<M> err(text, op, a, b);
    if (InexactHandler h = inexactHandler_.load()) h(err);
}

template <class M>
const RWDecimal<M>& RWDecimal<M>::nullValue() {
    static const RWDecimal value(nullstate);
    return value;
}

template <class M>
const RWDecimal<M>& RWDecimal<M>::missingValue() {
    static const RWDecimal value(missingstate);
    return value;
}

template <class M>
const RWDecimal<M>& RWDecimal<M>::NaNValue() {
    static const RWDecimal value(NaNstate);
    return value;
}

template <class M>
M RWDecimal<M>::pow10(int n) {
    if (n < 0 || n > Traits::maxDigits) {
        reportOverflow(rwdOpPow10, nullValue(), nullValue(), RWDCML_POWRANGE(), Traits::className, n,
                       static_cast<unsigned>(Traits::maxDigits));
        return M::marker();
    }
    return fromMagnitude<M>(pow10u(n), false);
}

template <class M>
M RWDecimal<M>::scale(int n) const {
    const M p = pow10(n);
    if (p.isMarker()) return p;
    return mantissa_ * p;
}

template <class M>
int RWDecimal<M>::freeDigits() const {
    const U128 mag = mantissa_.isMarker() ? static_cast<U128>(M::kMax) + 1 : magnitude(mantissa_);
    int below = 0;
    for (int i = 0; i < Traits::maxDigits; ++i)
        if (pow10u(i) < mag) ++below;
    return Traits::maxDigits - below;
}

template <class M>
RWDecimal<M> RWDecimal<M>::oneWithPlaces(int n) {
    if (n < 0 || n > Traits::maxDigits) n = Traits::maxDigits;
    return RWDecimal(fromMagnitude<M>(pow10u(n), false), n);
}

template <class M>
RWDecimal<M>::RWDecimal(double x) {
    static const double limit = 900719925474099.1;  // (2^53 - 1) / 10
    if (std::isnan(x)) {
        reportOverflow(rwdOpConversion, nullValue(), nullValue(), RWDCML_FROMDBLOVER(), Traits::className, x);
        *this = NaNValue();
        return;
    }
    double v = x;
    int n = 0;
    while (!(std::floor(v) == v || v > limit || v < -limit || n >= Traits::maxDigits)) {
        ++n;
        v = x * std::pow(10.0, n);
    }
    const M m = M::fromDouble(v);
    if (m.isMarker()) {
        reportOverflow(rwdOpConversion, nullValue(), nullValue(), RWDCML_FROMDBLOVER(), Traits::className, x);
        *this = NaNValue();
        return;
    }
    *this = RWDecimal(m, n);
}

template <class M>
RWDecimal<M>::RWDecimal(const char* text) {
    if (!text || !*text) {
        *this = nullValue();
        return;
    }
    std::istringstream in(text);
    RWDecimal value;
    in >> value;
    if (!in.bad() && !in.eof()) in.get();
    *this = (in.eof() && !in.bad()) ? value : NaNValue();
}

template <class M>
RWDecimal<M>::RWDecimal(const RWDecimalPortable& p) {
    if (p.state() != RWDecimalPortable::normal) {
        *this = RWDecimal(static_cast<State>(p.state()));
        return;
    }
    std::string intDigits = p.integerDigits();
    const std::string& fracDigits = p.fractionDigits();
    // Leading zeros carry no digits of the value.
    std::size_t lead = 0;
    while (lead < intDigits.size() && intDigits[lead] == '0') ++lead;
    intDigits.erase(0, lead);
    const std::size_t count = intDigits.size() + fracDigits.size();
    if (count > static_cast<std::size_t>(Traits::maxDigits)) {
        reportOverflow(rwdOpConversion, nullValue(), nullValue(), RWDCML_FROMPORTOVER(), Traits::className);
        *this = NaNValue();
        return;
    }
    U128 mag = 0;
    for (char c : intDigits) mag = mag * 10 + static_cast<unsigned>(c - '0');
    for (char c : fracDigits) mag = mag * 10 + static_cast<unsigned>(c - '0');
    *this = RWDecimal(fromMagnitude<M>(mag, p.isNegative() && mag != 0), static_cast<int>(fracDigits.size()));
}

// Non-normal operands of +, - and x: missing, then NaN, then null as identity.
template <class M>
static RWDecimal<M> pickState(const RWDecimal<M>& a, const RWDecimal<M>& b) {
    using D = RWDecimal<M>;
    if (a.state() == D::missingstate || b.state() == D::missingstate) return D::missingValue();
    if (a.state() == D::NaNstate || b.state() == D::NaNstate) return D::NaNValue();
    if (a.state() == D::nullstate) return b;
    if (b.state() == D::nullstate) return a;
    if (a.isNormal()) return b;
    return a;
}

template <class M>
RWDecimal<M> RWDecimal<M>::add(const RWDecimal& a, const RWDecimal& b, int op) {
    if (!a.isNormal() || !b.isNormal()) return pickState(a, b);
    RWMsgId over = op == rwdOpSub ? RWDCML_SUBOVER() : RWDCML_ADDOVER();
    RWMsgId inexact = op == rwdOpSub ? RWDCML_SUBINEXACT() : RWDCML_ADDINEXACT();
    if (a.mantissa_.isMarker() || b.mantissa_.isMarker()) {
        reportOverflow(op, a, b, over, Traits::className);
        return NaNValue();
    }
    const int d = boundedShift(static_cast<long>(a.exponent_) - b.exponent_);
    M sum;
    long exponent;
    if (d == 0) {
        sum = a.mantissa_ + b.mantissa_;
        exponent = a.exponent_;
    } else {
        const RWDecimal& L = d > 0 ? a : b;
        const RWDecimal& S = d > 0 ? b : a;
        const int g = d > 0 ? d : -d;
        if (g > Traits::maxDigits)
            reportOverflow(rwdOpPow10, nullValue(), nullValue(), RWDCML_POWRANGE(), Traits::className, g,
                           static_cast<unsigned>(Traits::maxDigits));
        sum = scaleQuiet(S.mantissa_, g) + L.mantissa_;
        exponent = L.exponent_;
        if (sum.isMarker()) {
            // Give up places of the operand with more of them until the sum fits.
            const int k = S.freeDigits() < g ? S.freeDigits() : g;
            if (k < g) {
                sum = scaleQuiet(S.mantissa_, k) + scaleQuiet(L.mantissa_, -(g - k));
                exponent = L.exponent_ - (g - k);
            }
            if (sum.isMarker() || k == g) {
                sum = scaleQuiet(S.mantissa_, k - 1) + scaleQuiet(L.mantissa_, -(g - k + 1));
                exponent = L.exponent_ - (g - k + 1);
            }
        } else {
            return RWDecimal(sum, static_cast<int>(exponent));
        }
        if (sum.isMarker() || exponent < 0) {
            reportOverflow(op, a, b, over, Traits::className);
            return NaNValue();
        }
        reportInexact(op, a, b, inexact, Traits::className);
        return RWDecimal(sum, static_cast<int>(exponent));
    }
    if (!sum.isMarker()) return RWDecimal(sum, static_cast<int>(exponent));
    sum = scaleQuiet(a.mantissa_, -1) + scaleQuiet(b.mantissa_, -1);
    exponent = static_cast<long>(a.exponent_) - 1;
    if (sum.isMarker() || exponent < 0) {
        reportOverflow(op, a, b, over, Traits::className);
        return NaNValue();
    }
    reportInexact(op, a, b, inexact, Traits::className);
    return RWDecimal(sum, static_cast<int>(exponent));
}

template <class M>
RWDecimal<M> RWDecimal<M>::multiply(const RWDecimal& a, const RWDecimal& b) {
    if (!a.isNormal() || !b.isNormal()) return pickState(a, b);
    if (a.mantissa_.isMarker() || b.mantissa_.isMarker()) {
        reportOverflow(rwdOpMul, a, b, RWDCML_MULOVER(), Traits::className);
        return NaNValue();
    }
    M product = a.mantissa_ * b.mantissa_;
    long exponent = static_cast<long>(a.exponent_) + b.exponent_;
    if (!product.isMarker() && exponent <= Traits::maxDigits) return RWDecimal(product, static_cast<int>(exponent));
    // Drop digits from the larger factor until the product fits.
    M x = a.mantissa_, y = b.mantissa_;
    while (product.isMarker() || exponent > Traits::maxDigits) {
        if (x.abs() > y.abs())
            x = scaleQuiet(x, -1);
        else
            y = scaleQuiet(y, -1);
        product = x * y;
        --exponent;
        // Once a factor is spent the loop would only count the exponent down.
        if (product.isZero() && exponent > Traits::maxDigits) exponent = Traits::maxDigits;
    }
    if (exponent < 0 || (!a.mantissa_.isZero() && !b.mantissa_.isZero() && product.isZero())) {
        reportOverflow(rwdOpMul, a, b, RWDCML_MULOVER(), Traits::className);
        return NaNValue();
    }
    reportInexact(rwdOpMul, a, b, RWDCML_MULINEXACT(), Traits::className);
    return RWDecimal(product, static_cast<int>(exponent));
}

template <class M>
RWDecimal<M> RWDecimal<M>::divide(const RWDecimal& a, const RWDecimal& b) {
    if (!a.isNormal() || !b.isNormal()) {
        if (a.state_ == missingstate || b.state_ == missingstate) return missingValue();
        if (a.state_ == NaNstate || b.state_ == NaNstate) return NaNValue();
        if (a.state_ == nullstate) return NaNValue();
        if (b.state_ == nullstate) return a;
        if (a.isNormal()) return b;
        return a;
    }
    if (b.mantissa_.isZero()) return NaNValue();
    if (a.mantissa_.isMarker() || b.mantissa_.isMarker()) {
        reportOverflow(rwdOpDiv, a, b, RWDCML_DIVOVER(), Traits::className);
        return NaNValue();
    }
    const bool negative = a.mantissa_.isNegative() != b.mantissa_.isNegative();
    const Quotient quotient = longDivide<M>(magnitude(a.mantissa_), magnitude(b.mantissa_));
    if (quotient.inexact) reportInexact(rwdOpDiv, a, b, RWDCML_DIVINEXACT(), Traits::className);
    M q = fromMagnitude<M>(quotient.q, false);
    long exponent = static_cast<long>(a.exponent_) + quotient.places - b.exponent_;
    if (exponent < 0) {
        q = exponent < -38 ? (q.isZero() ? q : M::marker()) : scaleQuiet(q, static_cast<int>(-exponent));
        exponent = 0;
        if (q.isMarker()) {
            reportOverflow(rwdOpDiv, a, b, RWDCML_DIVOVER(), Traits::className);
            return NaNValue();
        }
    }
    if (exponent > Traits::maxDigits) {
        const int drop = exponent - Traits::maxDigits > 39 ? 39 : static_cast<int>(exponent - Traits::maxDigits);
        const M shorter = scaleQuiet(q, -drop);
        if (!quotient.inexact && scaleQuiet(shorter, drop) != q)
            reportInexact(rwdOpDiv, a, b, RWDCML_DIVINEXACT(), Traits::className);
        q = shorter;
        exponent = Traits::maxDigits;
    }
    return RWDecimal(negative ? -q : q, static_cast<int>(exponent));
}

template <class M>
RWDecimal<M> RWDecimal<M>::powerUnsigned(const RWDecimal& x, std::uint32_t n) {
    if (n == 0) return RWDecimal(1);
    RWDecimal acc = nullValue();
    RWDecimal p = x;
    while (n != 0) {
        if (n & 1u) acc = acc * p;
        n >>= 1;
        if (n != 0) p = p * p;
    }
    return acc;
}

template <class M>
RWDecimal<M> RWDecimal<M>::power(const RWDecimal& x, int n) {
    if (n >= 0) return powerUnsigned(x, static_cast<std::uint32_t>(n));
    // The magnitude of the most negative int is taken without overflow.
    const std::uint32_t magnitude = std::uint32_t(0) - static_cast<std::uint32_t>(n);
    return RWDecimal(1) / powerUnsigned(x, magnitude);
}

template <class M>
RWDecimal<M> RWDecimal<M>::reciprocal(const RWDecimal& x) {
    if (!x.isNormal() || x.mantissa_.isMarker()) return divide(RWDecimal(1), x);
    if (x.mantissa_.isZero() || x.exponent_ < 0 || x.exponent_ > 38) return divide(RWDecimal(1), x);
    const U128 d = magnitude(x.mantissa_);
    const U128 limit = static_cast<U128>(M::kMax);
    U128 q = pow10u(x.exponent_) / d;
    U128 r = pow10u(x.exponent_) % d;
    if (q > limit) {
        reportOverflow(rwdOpDiv, RWDecimal(1), x, RWDCML_DIVOVER(), Traits::className);
        return NaNValue();
    }
    int places = 0;
    while (r != 0 && places < Traits::maxDigits) {
        const U128 next = q * 10 + (r * 10) / d;
        if (next > limit) break;
        q = next;
        r = (r * 10) % d;
        ++places;
    }
    return RWDecimal(fromMagnitude<M>(q, x.mantissa_.isNegative()), places);
}

template <class M>
RWDecimal<M> RWDecimal<M>::roundTo(const RWDecimal& x, int places, int method) {
    if (!x.isNormal() || x.exponent_ <= places) return x;
    if (x.mantissa_.isMarker()) return NaNValue();
    const long r = static_cast<long>(x.exponent_) - places;
    const U128 m = magnitude(x.mantissa_);
    U128 q, rest;
    bool restAboveHalf, restIsHalf;
    if (r > 38) {
        q = 0;
        rest = m;
        restAboveHalf = false;
        restIsHalf = false;
    } else {
        const U128 p = pow10u(static_cast<int>(r));
        q = m / p;
        rest = m - q * p;
        const U128 half = p / 2;  // 5 x 10^(r-1)
        restAboveHalf = rest > half;
        restIsHalf = rest == half;
    }
    switch (method) {
        case PLAIN:
            if (restAboveHalf || restIsHalf) ++q;
            break;
        case UP:
            if (rest > 0) ++q;
            break;
        case DOWN:
            break;
        case BANKERS:
            if (restAboveHalf || (restIsHalf && (q & 1) != 0)) ++q;
            break;
        default:
            break;
    }
    M result = fromMagnitude<M>(q, x.mantissa_.isNegative());
    if (places < 0) {
        result = places < -38 ? (result.isZero() ? result : M::marker()) : scaleQuiet(result, -places);
        if (result.isMarker()) {
            reportOverflow(rwdOpMul, x, nullValue(), RWDCML_MULOVER(), Traits::className);
            return NaNValue();
        }
        return RWDecimal(result, 0);
    }
    if (result.isMarker()) {
        reportOverflow(rwdOpMul, x, nullValue(), RWDCML_MULOVER(), Traits::className);
        return NaNValue();
    }
    return RWDecimal(result, places);
}

template <class M>
bool RWDecimal<M>::equal(const RWDecimal& a, const RWDecimal& b) {
    if (!a.isNormal() || !b.isNormal()) return a.state_ == b.state_;
    if (a.exponent_ == b.exponent_) return a.mantissa_ == b.mantissa_;
    if (a.exponent_ < b.exponent_) {
        const M scaled = scaleQuiet(a.mantissa_, boundedShift(static_cast<long>(b.exponent_) - a.exponent_));
        return !scaled.isMarker() && scaled == b.mantissa_;
    }
    const M scaled = scaleQuiet(b.mantissa_, boundedShift(static_cast<long>(a.exponent_) - b.exponent_));
    return !scaled.isMarker() && scaled == a.mantissa_;
}

template <class M>
bool RWDecimal<M>::less(const RWDecimal& a, const RWDecimal& b) {
    if (!a.isNormal() || !b.isNormal()) return false;
    if (a.exponent_ == b.exponent_) return a.mantissa_ < b.mantissa_;
    if (a.exponent_ < b.exponent_) {
        const M scaled = scaleQuiet(a.mantissa_, boundedShift(static_cast<long>(b.exponent_) - a.exponent_));
        if (!scaled.isMarker()) return scaled < b.mantissa_;
        return a.mantissa_.isNegative();
    }
    const M scaled = scaleQuiet(b.mantissa_, boundedShift(static_cast<long>(a.exponent_) - b.exponent_));
    if (!scaled.isMarker()) return a.mantissa_ < scaled;
    return !b.mantissa_.isNegative();
}

template <class M>
double RWDecimal<M>::toDouble() const {
    return mantissa_.toDouble() / std::pow(10.0, exponent_);
}

template <class M>
std::int64_t RWDecimal<M>::toInteger(int method) const {
    if (!isNormal()) return 0;
    const RWDecimal whole = roundTo(*this, 0, method);
    if (!whole.isNormal() || whole.mantissa_.isMarker()) return INT64_MIN;
    M m = whole.mantissa_;
    if (whole.exponent_ > 0) m = scaleQuiet(m, -whole.exponent_);
    const auto v = m.raw();
    if (v > INT64_MAX || v < -INT64_MAX) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

template class RWDecimal<int64>;
template class RWDecimal<int96>;
