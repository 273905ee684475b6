#include "foundation/decimal_format.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <sstream>

#include "foundation/decimal_messages.h"

namespace {

std::string s(const RWCString& c) {
    return std::string(c.data(), c.length());
}

// Inserts the separator after every `size` digits counted from the right end.
std::string groupDigits(const std::string& digits, const std::string& sep, int size) {
    if (sep.empty() || digits.empty() || size <= 0) return digits;
    std::string out;
    const std::size_t n = digits.size();
    const std::size_t group = static_cast<std::size_t>(size);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % group == 0) out += sep;
        out += digits[i];
    }
    return out;
}

std::string reversed(std::string t) {
    std::reverse(t.begin(), t.end());
    return t;
}

bool isBelowZero(const RWDecimalPortable& p) {
    if (p.state() != RWDecimalPortable::normal || !p.isNegative()) return false;
    return !(p == RWDecimalPortable(0));
}

// Picture character classes.
enum PictureClass { cAt = 0, cPoint = 1, cHash = 2, cDigit = 3, cControl = 4, cLiteral = 5, cEnd = 7 };

int classify(char c) {
    switch (c) {
        case '@':
            return cAt;
        case '.':
            return cPoint;
        case '#':
            return cHash;
        case '_':
            return cDigit;
        case '\0':
            return cEnd;
        default:
            break;
    }
    return std::strchr("$()+,-0CL", c) ? cControl : cLiteral;
}

enum Zone { farLeft, nearLeft, nearRight, farRight };

}  // namespace

RWDecimalFormat::RWDecimalFormat() {
    neg_.nearLeftText_ = "-";
}

RWDecimalFormat::RWDecimalFormat(const char* picture) {
    neg_.nearLeftText_ = "-";
    setFixedWidth(true);
    setWidth(0);
    setNearLeftText(RWCString());
    const std::string pic = picture ? picture : "";
    std::size_t pos = 0;
    bool negativeNotation = false;
    int count = 0;
    auto grow = [&](int n) { setWidth(width(both) + n); };
    auto at = [&](std::size_t i) { return i < pic.size() ? pic[i] : '\0'; };

    auto control = [&](char c, Zone zone) {
        const bool left = zone == farLeft || zone == nearLeft;
        RWCString RWDecimalFormatAttributes::*text = zone == farLeft     ? &RWDecimalFormatAttributes::farLeftText_
                                                     : zone == nearLeft  ? &RWDecimalFormatAttributes::nearLeftText_
                                                     : zone == nearRight ? &RWDecimalFormatAttributes::nearRightText_
                                                                         : &RWDecimalFormatAttributes::farRightText_;
        const char one[2] = {c, '\0'};
        switch (c) {
            case '(':
            case ')':
            case '-':
                append(text, one, negative);
                negativeNotation = true;
                break;
            case '+':
                append(text, one, positive);
                if (zone == farRight) negativeNotation = true;
                break;
            case '$':
                append(text, one, both);
                break;
            case ',':
                if (left)
                    setLeftDigitSeperator(RWCString(","));
                else
                    setRightDigitSeperator(RWCString(","));
                break;
            case '0':
                if (left)
                    setLeftFillChar('0');
                else
                    setRightFillChar('0');
                break;
            case 'C':
                setJustification(CENTER);
                break;
            case 'L':
                setJustification(LEFT);
                break;
            default:
                break;
        }
    };

    // Far-left text.
    const std::size_t atSign = pic.find('@');
    if (atSign != std::string::npos) {
        setFarLeftText(RWCString(pic.substr(0, atSign).c_str()));
        pos = atSign + 1;
    } else {
        while (classify(at(pos)) == cLiteral) ++pos;
        setFarLeftText(RWCString(pic.substr(0, pos).c_str()));
    }
    grow(static_cast<int>(pos));

    // Far-left zone.
    while (classify(at(pos)) == cControl) {
        control(pic[pos++], farLeft);
        grow(1);
    }
    // Integer digits.
    if (classify(at(pos)) == cDigit) {
        while (classify(at(pos)) == cDigit || classify(at(pos)) == cControl) {
            if (classify(pic[pos]) == cControl) control(pic[pos], nearLeft);
            ++pos;
            grow(1);
        }
    }
    // Point and right part.
    const int pointClass = classify(at(pos));
    if (pointClass == cPoint || pointClass == cHash) {
        if (pointClass == cPoint) {
            setShowDecimalPoint(true);
            setAllDecimals(false);
        }
        ++pos;
        grow(1);
        std::size_t runEnd = pos, lastDigit = std::string::npos;
        while (classify(at(runEnd)) == cDigit || classify(at(runEnd)) == cControl) {
            if (pic[runEnd] == '_') lastDigit = runEnd;
            ++runEnd;
        }
        for (; pos < runEnd; ++pos) {
            if (pic[pos] != '_')
                control(pic[pos], (lastDigit != std::string::npos && pos < lastDigit) ? nearRight : farRight);
            grow(1);
            ++count;
        }
    }
    // Far-right text: whatever is left.
    if (pos < pic.size()) {
        const std::string rest = pic.substr(pos);
        appendFarRightText(rest.c_str(), both);
        count += static_cast<int>(rest.size());
        grow(static_cast<int>(rest.size()));
    }

    if (!negativeNotation) neg_.nearLeftText_.prepend("-");

    // Balance the texts of the two sets so that both signs take the same room.
    auto balance = [&](RWCString RWDecimalFormatAttributes::*field, char RWDecimalFormatAttributes::*fill,
                       bool inFront) {
        RWCString& a = pos_.*field;
        RWCString& b = neg_.*field;
        RWCString& shorter = a.length() < b.length() ? a : b;
        const RWDecimalFormatAttributes& owner = a.length() < b.length() ? pos_ : neg_;
        const std::size_t need = std::max(a.length(), b.length()) - shorter.length();
        if (need == 0) return;
        if (inFront)
            shorter.prepend(owner.*fill, need);
        else
            shorter.append(owner.*fill, need);
    };
    balance(&RWDecimalFormatAttributes::nearLeftText_, &RWDecimalFormatAttributes::leftFillChar_, true);
    balance(&RWDecimalFormatAttributes::nearRightText_, &RWDecimalFormatAttributes::rightFillChar_, true);
    balance(&RWDecimalFormatAttributes::farLeftText_, &RWDecimalFormatAttributes::leftFillChar_, false);
    balance(&RWDecimalFormatAttributes::farRightText_, &RWDecimalFormatAttributes::rightFillChar_, false);

    if (!pos_.allDecimals_) {
        const int rest = count - static_cast<int>(pos_.farRightText_.length() + pos_.nearRightText_.length());
        int places;
        if (pos_.rightDigitSeperator_.isNull())
            places = rest;
        else
            places =
                rest == 0
                    ? 0
                    : rest - (rest - 1) / (static_cast<int>(pos_.rightDigitSeperator_.length()) + pos_.rightGroupSize_);
        setDecimalPlaces(places);
    }
}

void RWDecimalFormat::append(RWCString RWDecimalFormatAttributes::*field, const char* text, int sign) {
    if (!text) return;
    if (sign == positive || sign == both) (pos_.*field).append(text);
    if (sign == negative || sign == both) (neg_.*field).append(text);
}

void RWDecimalFormat::throwFormatsDiffer() {
    throw RWInternalErr(RWMessageText(RWDCML_FORMATSDIFF()));
}

namespace {
// Place counts beyond any decimal's digits change nothing but the size of the padding.
constexpr int kPlaceLimit = 4096;
int boundedPlaces(int places) {
    return std::clamp(places, -kPlaceLimit, kPlaceLimit);
}
}  // namespace

RWDecimalPortable RWDecimalFormat::roundPortable(const RWDecimalPortable& value, int places, int method) {
    if (value.state() != RWDecimalPortable::normal) return value;
    places = boundedPlaces(places);
    std::string intDigits = value.integerDigits();
    std::string frac = value.fractionDigits();
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    long keep = static_cast<long>(intDigits.size()) + places;
    if (keep < 1) {
        intDigits.insert(0, static_cast<std::size_t>(1 - keep), '0');
        keep = 1;
    }
    const std::size_t total = intDigits.size() + frac.size();
    if (total <= static_cast<std::size_t>(keep)) {
        if (total < static_cast<std::size_t>(keep) && places > 0 && frac.size() < static_cast<std::size_t>(places))
            frac.append(static_cast<std::size_t>(places) - frac.size(), '0');
        return RWDecimalPortable(value.isNegative(), intDigits, frac);
    }
    const std::string all = intDigits + frac;
    std::string head = all.substr(0, static_cast<std::size_t>(keep));
    std::string tail = all.substr(static_cast<std::size_t>(keep));
    // Zeros at the end of the tail (integer digits dropped by negative places) weigh nothing.
    while (!tail.empty() && tail.back() == '0') tail.pop_back();
    bool up = false;
    if (!tail.empty()) {
        switch (method) {
            case RWDecimalFormat::PLAIN:
                up = tail[0] > '4';
                break;
            case RWDecimalFormat::UP:
                up = true;
                break;
            case RWDecimalFormat::DOWN:
                up = false;
                break;
            case RWDecimalFormat::BANKERS:
                up = tail == "5" ? ((head.back() - '0') % 2 == 1) : tail[0] > '4';
                break;
            default:
                break;
        }
    }
    if (up) {
        std::size_t i = head.size();
        while (i > 0 && head[i - 1] == '9') head[--i] = '0';
        if (i == 0) {
            head.insert(0, "1");
            ++keep;
        } else {
            ++head[i - 1];
        }
    }
    std::string resultInt, resultFrac;
    if (places <= 0) {
        resultInt = head;
        if (places < 0 && head.find_first_not_of('0') != std::string::npos)
            resultInt.append(static_cast<std::size_t>(-places), '0');
    } else {
        const std::size_t p = static_cast<std::size_t>(places);
        resultInt = head.substr(0, head.size() - p);
        resultFrac = head.substr(head.size() - p);
    }
    // Zeros put in front to reach the rounding place are not digits of the result.
    const std::size_t first = resultInt.find_first_not_of('0');
    resultInt.erase(0, first == std::string::npos ? resultInt.size() : first);
    return RWDecimalPortable(value.isNegative(), resultInt, resultFrac);
}

std::string RWDecimalFormat::formatWith(const RWDecimalFormatAttributes& attributes, const RWDecimalPortable& value) {
    RWDecimalFormatAttributes a = attributes;
    a.roundPlaces_ = boundedPlaces(a.roundPlaces_);
    a.decimalPlaces_ = boundedPlaces(a.decimalPlaces_);
    // Digits.
    const std::string t = value.asString();
    const std::size_t point = t.find('.');
    const int f = point == std::string::npos ? 0 : static_cast<int>(t.size() - point - 1);
    int places = a.doRounding_ ? a.roundPlaces_ : f;
    if (!a.allDecimals_ && a.decimalPlaces_ < places) places = a.decimalPlaces_;
    const std::string rounded = roundPortable(value, places, a.roundMethod_).asString();
    const std::size_t rp = rounded.find('.');
    std::string intDigits = rounded.substr(0, rp);
    std::string frac = rp == std::string::npos ? std::string() : rounded.substr(rp + 1);
    if (intDigits.empty()) intDigits = "0";
    if (!a.allDecimals_) {
        if (a.decimalPlaces_ >= 0) {
            if (frac.size() < static_cast<std::size_t>(a.decimalPlaces_))
                frac.append(static_cast<std::size_t>(a.decimalPlaces_) - frac.size(), '0');
        } else {
            // Dropping more digits than there are leaves a zero, never a read out of range.
            const std::size_t drop = static_cast<std::size_t>(-static_cast<long>(a.decimalPlaces_));
            intDigits = drop >= intDigits.size() ? "0" : intDigits.substr(0, intDigits.size() - drop);
        }
    }
    // Grouping.
    std::string groupedInt = groupDigits(intDigits, s(a.leftDigitSeperator_), a.leftGroupSize_);
    const std::string groupedFrac = reversed(groupDigits(reversed(frac), s(a.rightDigitSeperator_), a.rightGroupSize_));
    // Point.
    std::string pointText;
    if (!groupedFrac.empty() || (a.showDecimalPoint_ && (!a.allDecimals_ || a.decimalPlaces_ >= 0)))
        pointText = s(a.decimalSeperator_);
    // Excess.
    long excess = 0;
    if (a.fixedWidth_) {
        excess = static_cast<long>(a.farLeftText_.length() + a.nearLeftText_.length() + groupedInt.size() +
                                   pointText.size() + groupedFrac.size() + a.nearRightText_.length() +
                                   a.farRightText_.length()) -
                 a.width_;
        if (excess == 1 && groupedInt == "0" && !groupedFrac.empty()) {
            groupedInt.clear();
            excess = 0;
        }
    }
    if (excess <= 0) {
        const std::size_t fill = static_cast<std::size_t>(-excess);
        std::size_t leftFill = 0, rightFill = 0;
        switch (a.justification_) {
            case LEFT:
                rightFill = fill;
                break;
            case CENTER:
                leftFill = fill / 2;
                rightFill = fill - leftFill;
                break;
            default:
                leftFill = fill;
                break;
        }
        return s(a.farLeftText_) + std::string(leftFill, a.leftFillChar_) + s(a.nearLeftText_) + groupedInt +
               pointText + groupedFrac + s(a.nearRightText_) + std::string(rightFill, a.rightFillChar_) +
               s(a.farRightText_);
    }
    const long width = a.width_ < 0 ? 0 : a.width_;
    const long room = width - static_cast<long>(a.farLeftText_.length() + a.farRightText_.length());
    if (room >= 0) return s(a.farLeftText_) + std::string(static_cast<std::size_t>(room), '*') + s(a.farRightText_);
    return std::string(static_cast<std::size_t>(width), '*');
}

RWCString RWDecimalFormat::operator()(const RWDecimalPortable& value) const {
    if (isBelowZero(value)) {
        const std::string out = formatWith(neg_, -value);
        return RWCString(out.data(), out.size());
    }
    // A negative zero is zero: no sign in its digits.
    RWDecimalPortable magnitude = value;
    magnitude.setNegative(false);
    const std::string out = formatWith(pos_, magnitude);
    return RWCString(out.data(), out.size());
}

RWCString RWDecimalFormat::operator()(const char* text) const {
    RWDecimalPortable value;
    if (text && *text) {
        std::istringstream in(text);
        in >> value;
        if (!in.bad() && !in.eof()) in.get();
        if (!in.eof() || in.bad()) value = RWDecimalPortable();
    }
    return (*this)(value);
}

namespace {

const char* justificationName(int j) {
    switch (j) {
        case 0:
            return "LEFT";
        case 1:
            return "CENTER";
        case 2:
            return "RIGHT";
        default:
            return "??? UNKNOWN ???";
    }
}

const char* roundMethodName(int m) {
    switch (m) {
        case 0:
            return "PLAIN";
        case 1:
            return "UP";
        case 2:
            return "DOWN";
        case 3:
            return "BANKERS";
        default:
            return "??? UNKNOWN ???";
    }
}

const char* yesNo(bool b) {
    return b ? "yes" : "no";
}

std::string label(const char* name) {
    std::string l = "\n";
    l += name;
    l.append(20 - std::strlen(name), ' ');
    return l + "= ";
}

}  // namespace

void RWDecimalFormat::dump(std::ostream& o) const {
    const RWDecimalFormatAttributes& p = pos_;
    const RWDecimalFormatAttributes& n = neg_;
    auto quoted = [&](const char* name, const auto& a, const auto& b) {
        o << label(name) << '\'' << a << "'\t'" << b << '\'';
    };
    o << "attribute           = +ve\t-ve";
    o << "\n------------------------------";
    o << label("fixedWidth_") << yesNo(p.fixedWidth_) << '\t' << yesNo(n.fixedWidth_);
    o << label("width_") << p.width_ << "  \t" << n.width_;
    o << label("justification_") << justificationName(p.justification_) << '\t' << justificationName(n.justification_);
    quoted("doRounding_", p.doRounding_ ? 1 : 0, n.doRounding_ ? 1 : 0);
    quoted("roundMethod_", roundMethodName(p.roundMethod_), roundMethodName(n.roundMethod_));
    quoted("roundPlaces_", p.roundPlaces_, n.roundPlaces_);
    quoted("showDecimalPoint_", yesNo(p.showDecimalPoint_), yesNo(n.showDecimalPoint_));
    quoted("allDecimals_", yesNo(p.allDecimals_), yesNo(n.allDecimals_));
    quoted("decimalPlaces_", p.decimalPlaces_, n.decimalPlaces_);
    quoted("decimalSeperator_", p.decimalSeperator_, n.decimalSeperator_);
    quoted("leftDigitSeperator_", p.leftDigitSeperator_, n.leftDigitSeperator_);
    quoted("leftGroupSize_", p.leftGroupSize_, n.leftGroupSize_);
    quoted("rightDigitSeperator_", p.rightDigitSeperator_, n.rightDigitSeperator_);
    quoted("rightGroupSize_", p.rightGroupSize_, n.rightGroupSize_);
    quoted("nearLeftText_", p.nearLeftText_, n.nearLeftText_);
    quoted("nearRightText_", p.nearRightText_, n.nearRightText_);
    quoted("leftFillChar_", p.leftFillChar_, n.leftFillChar_);
    quoted("rightFillChar_", p.rightFillChar_, n.rightFillChar_);
    quoted("farLeftText_", p.farLeftText_, n.farLeftText_);
    quoted("farRightText_", p.farRightText_, n.farRightText_);
    o << std::endl;
}
