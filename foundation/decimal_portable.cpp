#include "foundation/decimal_portable.h"

#include <cctype>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace {

// Token codes of the reader.
enum Token {
    tDigit = 0,
    tSeparator = 1,
    tPoint = 2,
    tCurrency = 3,
    tEmpty = 4,
    tPercent = 5,
    tPlus = 6,
    tMinus = 7,
    tOpen = 8,
    tClose = 9,
    tNull = 10,
    tMissing = 11,
    tNaN = 12,
    tEnd = 13,
    tNone = 14
};

class Reader {
public:
    explicit Reader(std::istream& in) : in_(in) {}

    RWDecimalPortable read() {
        in_ >> std::ws;
        if (!decimal()) {
            RWDecimalPortable nan;
            nan.setState(RWDecimalPortable::NaNstate);
            in_.clear(std::ios::badbit);
            return nan;
        }
        // A look-ahead character that no rule took goes back to the stream.
        if (token_ != tNone && token_ != tEnd && tokenWidth_ == 1) in_.unget();
        return p_;
    }

private:
    int peek() {
        if (token_ == tNone) lex();
        return token_;
    }
    void consume() { token_ = tNone; }
    bool accept(int t) {
        if (peek() != t) return false;
        consume();
        return true;
    }

    void skipWhite() {
        while (std::isspace(in_.peek())) {
            in_.get();
            ++tokenWidth_;
        }
    }

    bool follows(const char* rest) {
        for (; *rest; ++rest) {
            const int c = in_.get();
            if (c != *rest) {
                if (c != std::char_traits<char>::eof()) in_.putback(static_cast<char>(c));
                return false;
            }
        }
        return true;
    }

    void lex() {
        tokenWidth_ = 1;
        token_ = tEnd;
        // Peeking at the end sets only eofbit, so a number ending the input reads cleanly.
        if (in_.peek() == std::char_traits<char>::eof()) {
            tokenWidth_ = 0;
            return;
        }
        const int c = in_.get();
        if (std::isdigit(c)) {
            digit_ = static_cast<char>(c);
            token_ = tDigit;
            return;
        }
        switch (c) {
            case '%':
                token_ = tPercent;
                return;
            case '+':
                token_ = tPlus;
                skipWhite();
                return;
            case '-':
                token_ = tMinus;
                skipWhite();
                return;
            case '(':
                token_ = tOpen;
                ++depth_;
                skipWhite();
                return;
            case 'n':
                tokenWidth_ = 0;
                if (follows("ull")) token_ = tNull;
                return;
            case 'm':
                tokenWidth_ = 0;
                if (follows("issing")) token_ = tMissing;
                return;
            case 'N':
                tokenWidth_ = 0;
                if (follows("aN")) token_ = tNaN;
                return;
            default:
                break;
        }
        if (c == ')' && depth_ > 0) {
            token_ = tClose;
            --depth_;
            return;
        }
        if (std::isspace(c) && depth_ >= 1) {
            tokenWidth_ = 0;
            in_ >> std::ws;
            const int next = in_.get();
            if (next == ')') {
                token_ = tClose;
                --depth_;
            } else if (next != std::char_traits<char>::eof()) {
                in_.putback(static_cast<char>(next));
            }
            return;
        }
        switch (c) {
            case ',':
                token_ = tSeparator;
                return;
            case '.':
                token_ = tPoint;
                return;
            case '$':
                token_ = tCurrency;
                skipWhite();
                return;
            default:
                break;
        }
        in_.putback(static_cast<char>(c));
    }

    bool decimal() {
        if (accept(tOpen)) {
            const int t = peek();
            if (t == tNull || t == tMissing || t == tNaN) {
                special();
            } else {
                p_.setNegative(true);
                if (!unsignedNumber()) return false;
            }
            return accept(tClose);
        }
        if (peek() == tCurrency) {
            consume();
            if (!signedNumber()) return false;
            accept(tEmpty);
            return true;
        }
        if (!signedNumber()) return false;
        if (accept(tPercent)) {
            std::string& i = p_.integerDigits();
            i.insert(0, "00");
            p_.fractionDigits().insert(0, i.substr(i.size() - 2));
            i.erase(i.size() - 2);
            // "12.%" is 0.12, not 00.12.
            std::size_t lead = 0;
            while (lead + 1 < i.size() && i[lead] == '0') ++lead;
            i.erase(0, lead);
        } else {
            accept(tEmpty);
        }
        return true;
    }

    void special() {
        const int t = peek();
        consume();
        p_.setState(t == tNull      ? RWDecimalPortable::nullstate
                    : t == tMissing ? RWDecimalPortable::missingstate
                                    : RWDecimalPortable::NaNstate);
    }

    bool signedNumber() {
        if (accept(tOpen)) {
            p_.setNegative(true);
            if (!unsignedNumber()) return false;
            return accept(tClose);
        }
        if (accept(tMinus))
            p_.setNegative(true);
        else
            accept(tPlus);
        return unsignedNumber();
    }

    bool unsignedNumber() {
        if (accept(tPoint)) return digits(p_.fractionDigits());
        if (!digits(p_.integerDigits())) return false;
        if (accept(tPoint) && peek() == tDigit) return digits(p_.fractionDigits());
        return true;
    }

    bool digits(std::string& target) {
        if (peek() != tDigit) return false;
        for (;;) {
            target += digit_;
            consume();
            if (accept(tSeparator)) {
                if (peek() != tDigit) return false;
            } else if (peek() != tDigit) {
                return true;
            }
        }
    }

    std::istream& in_;
    RWDecimalPortable p_;
    int token_ = tNone;
    int tokenWidth_ = 0;
    char digit_ = '0';
    int depth_ = 0;
};

std::string stripLeadingZeros(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == '0') ++i;
    return s.substr(i);
}

// Digits of the magnitude with the fraction padded to `places`.
std::string alignedDigits(const RWDecimalPortable& p, std::size_t intWidth, std::size_t places) {
    std::string i = p.integerDigits();
    std::string f = p.fractionDigits();
    if (i.size() < intWidth) i.insert(0, intWidth - i.size(), '0');
    if (f.size() < places) f.append(places - f.size(), '0');
    return i + f;
}

// a + b of two digit strings of equal fraction length; the result has one more digit.
std::string addDigits(std::string a, std::string b) {
    if (a.size() < b.size()) a.insert(0, b.size() - a.size(), '0');
    if (b.size() < a.size()) b.insert(0, a.size() - b.size(), '0');
    std::string r(a.size() + 1, '0');
    int carry = 0;
    for (std::size_t k = a.size(); k-- > 0;) {
        const int d = (a[k] - '0') + (b[k] - '0') + carry;
        r[k + 1] = static_cast<char>('0' + d % 10);
        carry = d / 10;
    }
    r[0] = static_cast<char>('0' + carry);
    return r;
}

// a - b with a >= b as numbers.
std::string subtractDigits(std::string a, std::string b) {
    if (a.size() < b.size()) a.insert(0, b.size() - a.size(), '0');
    if (b.size() < a.size()) b.insert(0, a.size() - b.size(), '0');
    int borrow = 0;
    for (std::size_t k = a.size(); k-- > 0;) {
        int d = (a[k] - '0') - (b[k] - '0') - borrow;
        borrow = d < 0;
        if (d < 0) d += 10;
        a[k] = static_cast<char>('0' + d);
    }
    return a;
}

int compareMagnitudes(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    const std::size_t iw = std::max(a.integerDigits().size(), b.integerDigits().size());
    const std::size_t fw = std::max(a.fractionDigits().size(), b.fractionDigits().size());
    return alignedDigits(a, iw, fw).compare(alignedDigits(b, iw, fw));
}

RWDecimalPortable fromDigits(bool negative, const std::string& digits, std::size_t places) {
    RWDecimalPortable r(negative, digits.substr(0, digits.size() - places), digits.substr(digits.size() - places));
    r.normalize();
    return r;
}

RWDecimalPortable nonNormalResult(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    RWDecimalPortable r;
    if (a.state() == RWDecimalPortable::missingstate || b.state() == RWDecimalPortable::missingstate)
        r.setState(RWDecimalPortable::missingstate);
    else if (a.state() == RWDecimalPortable::NaNstate || b.state() == RWDecimalPortable::NaNstate)
        r.setState(RWDecimalPortable::NaNstate);
    else if (a.state() == RWDecimalPortable::nullstate)
        return b;
    else if (b.state() == RWDecimalPortable::nullstate)
        return a;
    else
        return a.state() == RWDecimalPortable::normal ? b : a;
    return r;
}

}  // namespace

RWDecimalPortable::RWDecimalPortable(int value) {
    long long v = value;
    negative_ = v < 0;
    intDigits_ = std::to_string(v < 0 ? -v : v);
}

RWDecimalPortable::RWDecimalPortable(const char* text) {
    std::istringstream in(text ? text : "");
    in >> *this;
}

RWDecimalPortable::RWDecimalPortable(bool negative, std::string integerDigits, std::string fractionDigits)
    : negative_(negative), intDigits_(std::move(integerDigits)), fracDigits_(std::move(fractionDigits)) {}

void RWDecimalPortable::setState(int state) {
    state_ = state;
    if (state != normal) {
        negative_ = false;
        intDigits_.clear();
        fracDigits_.clear();
    }
}

void RWDecimalPortable::normalize() {
    while (!fracDigits_.empty() && fracDigits_.back() == '0') fracDigits_.pop_back();
    intDigits_ = stripLeadingZeros(intDigits_);
}

std::string RWDecimalPortable::asString() const {
    switch (state_) {
        case normal:
            break;
        case nullstate:
            return "(null)";
        case NaNstate:
            return "(NaN)";
        case ctorError:
            return "(ctorError)";
        case missingstate:
            return "(missing)";
        default:
            return "(Impossible value)";
    }
    std::string s = intDigits_.empty() ? "0" : intDigits_;
    if (negative_ && (!intDigits_.empty() || !fracDigits_.empty())) s.insert(0, "-");
    if (!fracDigits_.empty()) s += "." + fracDigits_;
    return s;
}

double RWDecimalPortable::toDouble() const {
    return std::strtod(asString().c_str(), nullptr);
}

unsigned RWDecimalPortable::hash() const {
    const unsigned h = RWCString(intDigits_.c_str()).hash() + RWCString(fracDigits_.c_str()).hash();
    return negative_ ? 0u - h : h;
}

RWDecimalPortable RWDecimalPortable::operator-() const {
    RWDecimalPortable r = *this;
    r.negative_ = !negative_;
    return r;
}

bool operator==(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    if (a.state_ != RWDecimalPortable::normal || b.state_ != RWDecimalPortable::normal) return a.state_ == b.state_;
    RWDecimalPortable x = a, y = b;
    x.normalize();
    y.normalize();
    if (x.negative_ == y.negative_) return x.intDigits_ == y.intDigits_ && x.fracDigits_ == y.fracDigits_;
    return x.intDigits_.empty() && x.fracDigits_.empty() && y.intDigits_.empty() && y.fracDigits_.empty();
}

bool operator>=(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    if (a.negative_ && b.negative_) return -b >= -a;
    if (!a.negative_ && b.negative_) return true;
    if (a.negative_ && !b.negative_) return a == b;
    return compareMagnitudes(a, b) >= 0;
}

RWDecimalPortable operator+(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    if (a.state_ != RWDecimalPortable::normal || b.state_ != RWDecimalPortable::normal) return nonNormalResult(a, b);
    const std::size_t places = std::max(a.fracDigits_.size(), b.fracDigits_.size());
    const std::size_t iw = std::max(a.intDigits_.size(), b.intDigits_.size());
    const std::string x = alignedDigits(a, iw, places), y = alignedDigits(b, iw, places);
    if (a.negative_ == b.negative_) return fromDigits(a.negative_, addDigits(x, y), places);
    const int cmp = x.compare(y);
    if (cmp == 0) return fromDigits(a.negative_, std::string(x.size(), '0'), places);
    if (cmp > 0) return fromDigits(a.negative_, subtractDigits(x, y), places);
    return fromDigits(b.negative_, subtractDigits(y, x), places);
}

RWDecimalPortable operator*(const RWDecimalPortable& a, const RWDecimalPortable& b) {
    if (a.state_ != RWDecimalPortable::normal || b.state_ != RWDecimalPortable::normal) return nonNormalResult(a, b);
    const std::string x = a.intDigits_ + a.fracDigits_, y = b.intDigits_ + b.fracDigits_;
    const std::size_t places = a.fracDigits_.size() + b.fracDigits_.size();
    std::string product(x.size() + y.size() + 1, '0');
    for (std::size_t i = x.size(); i-- > 0;) {
        int carry = 0;
        for (std::size_t j = y.size(); j-- > 0;) {
            const std::size_t k = i + j + 2;
            const int d = (product[k] - '0') + (x[i] - '0') * (y[j] - '0') + carry;
            product[k] = static_cast<char>('0' + d % 10);
            carry = d / 10;
        }
        for (std::size_t k = i + 1; carry != 0; --k) {
            const int d = (product[k] - '0') + carry;
            product[k] = static_cast<char>('0' + d % 10);
            carry = d / 10;
        }
    }
    return fromDigits(a.negative_ != b.negative_, product, places);
}

std::ostream& operator<<(std::ostream& s, const RWDecimalPortable& p) {
    return s << p.asString();
}

std::istream& operator>>(std::istream& s, RWDecimalPortable& p) {
    p = Reader(s).read();
    return s;
}

template <class M>
RWDecimalPortable toPortable(const RWDecimal<M>& v) {
    RWDecimalPortable p;
    if (!v.isNormal()) {
        p.setState(v.state());
        return p;
    }
    // A mantissa holding the overflow marker has no value (and no negation).
    if (v.mantissa().isMarker()) {
        p.setState(RWDecimalPortable::NaNstate);
        return p;
    }
    const int e = v.exponent();
    // Exponents outside arithmetic's range only come from hand-built values; their
    // text would be absurdly long.
    if (e < -1000 || e > 1000) {
        p.setState(RWDecimalPortable::NaNstate);
        return p;
    }
    std::string digits = v.mantissa().abs().toString();
    if (e <= 0) {
        if (digits != "0") digits.append(static_cast<std::size_t>(-e), '0');
        p = RWDecimalPortable(false, digits, std::string());
    } else {
        const std::size_t places = static_cast<std::size_t>(e);
        if (digits.size() < places) digits.insert(0, places - digits.size(), '0');
        p = RWDecimalPortable(false, digits.substr(0, digits.size() - places), digits.substr(digits.size() - places));
    }
    if (v.mantissa().isNegative()) p.setNegative(true);
    return p;
}

template <class M>
std::ostream& operator<<(std::ostream& s, const RWDecimal<M>& v) {
    return s << toPortable(v).asString();
}

template <class M>
std::istream& operator>>(std::istream& s, RWDecimal<M>& v) {
    RWDecimalPortable p;
    s >> p;
    if (!s.good() && !s.eof()) return s;
    v = RWDecimal<M>(p);
    return s;
}

template <class M>
std::string toStdString(const RWDecimal<M>& v) {
    return toPortable(v).asString();
}

template <class M>
RWCString toString(const RWDecimal<M>& v) {
    return RWCString(toStdString(v).c_str());
}

template RWDecimalPortable toPortable(const RWDecimal<int64>&);
template RWDecimalPortable toPortable(const RWDecimal<int96>&);
template std::ostream& operator<<(std::ostream&, const RWDecimal<int64>&);
template std::ostream& operator<<(std::ostream&, const RWDecimal<int96>&);
template std::istream& operator>>(std::istream&, RWDecimal<int64>&);
template std::istream& operator>>(std::istream&, RWDecimal<int96>&);
template RWCString toString(const RWDecimal<int64>&);
template RWCString toString(const RWDecimal<int96>&);
template std::string toStdString(const RWDecimal<int64>&);
template std::string toStdString(const RWDecimal<int96>&);
