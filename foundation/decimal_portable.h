#pragma once
// The portable decimal: a sign and two strings of decimal digits, independent of any
// mantissa width. Decimals travel through it to and from text, and between widths.

#include <cstddef>
#include <iosfwd>
#include <string>

#include "foundation/cstring.h"
#include "foundation/decimal.h"

class RWDecimalPortable {
public:
    enum State { normal = 0, nullstate = 1, NaNstate = 2, ctorError = 4, missingstate = 8 };

    RWDecimalPortable() = default;
    RWDecimalPortable(int value);
    // Read with the text reader; unreadable text gives NaN.
    explicit RWDecimalPortable(const char* text);
    RWDecimalPortable(bool negative, std::string integerDigits, std::string fractionDigits);

    int state() const { return state_; }
    // A state other than normal clears the sign and both digit strings.
    void setState(int state);
    bool isNegative() const { return negative_; }
    void setNegative(bool negative) { negative_ = negative; }
    const std::string& integerDigits() const { return intDigits_; }
    const std::string& fractionDigits() const { return fracDigits_; }
    std::string& integerDigits() { return intDigits_; }
    std::string& fractionDigits() { return fracDigits_; }

    // Drops trailing fraction zeros and leading integer zeros.
    void normalize();
    // "(null)", "(NaN)", ... for the states; digits as stored, "-" when negative with digits.
    std::string asString() const;
    operator RWCString() const { return RWCString(asString().c_str()); }
    double toDouble() const;
    unsigned hash() const;
    std::size_t binaryStoreSize() const { return intDigits_.size() + fracDigits_.size() + 2 * sizeof(unsigned) + 4; }

    RWDecimalPortable operator-() const;

    friend bool operator==(const RWDecimalPortable& a, const RWDecimalPortable& b);
    friend bool operator!=(const RWDecimalPortable& a, const RWDecimalPortable& b) { return !(a == b); }
    friend bool operator>=(const RWDecimalPortable& a, const RWDecimalPortable& b);
    friend bool operator<=(const RWDecimalPortable& a, const RWDecimalPortable& b) { return b >= a; }
    friend bool operator<(const RWDecimalPortable& a, const RWDecimalPortable& b) { return a <= b && !(a == b); }
    friend bool operator>(const RWDecimalPortable& a, const RWDecimalPortable& b) { return a >= b && !(a == b); }

    friend RWDecimalPortable operator+(const RWDecimalPortable& a, const RWDecimalPortable& b);
    friend RWDecimalPortable operator-(const RWDecimalPortable& a, const RWDecimalPortable& b) { return a + (-b); }
    friend RWDecimalPortable operator*(const RWDecimalPortable& a, const RWDecimalPortable& b);

private:
    int state_ = normal;
    bool negative_ = false;
    std::string intDigits_;
    std::string fracDigits_;
};

std::ostream& operator<<(std::ostream& s, const RWDecimalPortable& p);
// Reads a decimal such as "$1,234.50", "(12)", "5%" or "(null)"; on failure the value is
// NaN and the stream is set bad.
std::istream& operator>>(std::istream& s, RWDecimalPortable& p);

// Decimal values to and from text.
template <class M>
RWDecimalPortable toPortable(const RWDecimal<M>& v);
template <class M>
std::ostream& operator<<(std::ostream& s, const RWDecimal<M>& v);
template <class M>
std::istream& operator>>(std::istream& s, RWDecimal<M>& v);
template <class M>
RWCString toString(const RWDecimal<M>& v);
template <class M>
std::string toStdString(const RWDecimal<M>& v);
// Between widths; more digits than the target holds reports FROMPORTOVER.
template <class To, class From>
RWDecimal<To> convertDecimal(const RWDecimal<From>& v) {
    return RWDecimal<To>(toPortable(v));
}

extern template RWDecimalPortable toPortable(const RWDecimal<int64>&);
extern template RWDecimalPortable toPortable(const RWDecimal<int96>&);
extern template std::ostream& operator<<(std::ostream&, const RWDecimal<int64>&);
extern template std::ostream& operator<<(std::ostream&, const RWDecimal<int96>&);
extern template std::istream& operator>>(std::istream&, RWDecimal<int64>&);
extern template std::istream& operator>>(std::istream&, RWDecimal<int96>&);
extern template RWCString toString(const RWDecimal<int64>&);
extern template RWCString toString(const RWDecimal<int96>&);
extern template std::string toStdString(const RWDecimal<int64>&);
extern template std::string toStdString(const RWDecimal<int96>&);
