#pragma once
// Display formatting of decimals: one attribute set for non-negative and one for
// negative values, set field by field or compiled from a picture such as "$__,___.__".

#include <iosfwd>
#include <string>

#include "foundation/cstring.h"
#include "foundation/decimal_portable.h"

struct RWDecimalFormatAttributes {
    bool fixedWidth_ = false;
    int width_ = 0;
    int justification_ = 2;  // RIGHT
    bool doRounding_ = false;
    int roundMethod_ = 0;  // PLAIN
    int roundPlaces_ = 2;
    bool showDecimalPoint_ = false;
    bool allDecimals_ = true;
    int decimalPlaces_ = 0;
    RWCString decimalSeperator_ = ".";
    RWCString leftDigitSeperator_;
    int leftGroupSize_ = 3;
    RWCString rightDigitSeperator_;
    int rightGroupSize_ = 3;
    RWCString nearLeftText_;
    RWCString nearRightText_;
    char leftFillChar_ = ' ';
    char rightFillChar_ = ' ';
    RWCString farLeftText_;
    RWCString farRightText_;
};

class RWDecimalFormat {
public:
    enum Justification { LEFT = 0, CENTER = 1, RIGHT = 2 };
    enum RoundMethod { PLAIN = 0, UP = 1, DOWN = 2, BANKERS = 3 };
    // Sign selector of every accessor.
    enum Sign { positive = 0, negative = 1, both = 2 };

    RWDecimalFormat();
    explicit RWDecimalFormat(const char* picture);

    RWCString operator()(const RWDecimalPortable& value) const;
    // Unreadable, null or empty text formats as zero.
    RWCString operator()(const char* text) const;
    void apply(RWCString& out, const RWDecimalPortable& value) const { out = (*this)(value); }
    void dump(std::ostream& s) const;

    const RWDecimalFormatAttributes& attributes(int sign) const { return sign == negative ? neg_ : pos_; }

    // Getters with `both` (or any other selector) throw RWInternalErr when the sets differ.
#define RWDF_ACCESSORS(Type, Name, SetName, field)           \
    Type Name(int sign = both) const {                       \
        return get(&RWDecimalFormatAttributes::field, sign); \
    }                                                        \
    void SetName(const Type& value, int sign = both) {       \
        set(&RWDecimalFormatAttributes::field, value, sign); \
    }
    RWDF_ACCESSORS(bool, fixedWidth, setFixedWidth, fixedWidth_)
    RWDF_ACCESSORS(int, width, setWidth, width_)
    RWDF_ACCESSORS(int, justification, setJustification, justification_)
    RWDF_ACCESSORS(bool, doRounding, setDoRounding, doRounding_)
    RWDF_ACCESSORS(int, roundMethod, setRoundMethod, roundMethod_)
    RWDF_ACCESSORS(int, roundPlaces, setRoundPlaces, roundPlaces_)
    RWDF_ACCESSORS(bool, showDecimalPoint, setShowDecimalPoint, showDecimalPoint_)
    RWDF_ACCESSORS(bool, allDecimals, setAllDecimals, allDecimals_)
    RWDF_ACCESSORS(int, decimalPlaces, setDecimalPlaces, decimalPlaces_)
    RWDF_ACCESSORS(RWCString, decimalSeperator, setDecimalSeperator, decimalSeperator_)
    RWDF_ACCESSORS(RWCString, leftDigitSeperator, setLeftDigitSeperator, leftDigitSeperator_)
    RWDF_ACCESSORS(int, leftGroupSize, setLeftGroupSize, leftGroupSize_)
    RWDF_ACCESSORS(RWCString, rightDigitSeperator, setRightDigitSeperator, rightDigitSeperator_)
    RWDF_ACCESSORS(int, rightGroupSize, setRightGroupSize, rightGroupSize_)
    RWDF_ACCESSORS(RWCString, nearLeftText, setNearLeftText, nearLeftText_)
    RWDF_ACCESSORS(RWCString, nearRightText, setNearRightText, nearRightText_)
    RWDF_ACCESSORS(char, leftFillChar, setLeftFillChar, leftFillChar_)
    RWDF_ACCESSORS(char, rightFillChar, setRightFillChar, rightFillChar_)
    RWDF_ACCESSORS(RWCString, farLeftText, setFarLeftText, farLeftText_)
    RWDF_ACCESSORS(RWCString, farRightText, setFarRightText, farRightText_)
#undef RWDF_ACCESSORS

    void appendNearLeftText(const char* text, int sign = both) {
        append(&RWDecimalFormatAttributes::nearLeftText_, text, sign);
    }
    void appendNearRightText(const char* text, int sign = both) {
        append(&RWDecimalFormatAttributes::nearRightText_, text, sign);
    }
    void appendFarLeftText(const char* text, int sign = both) {
        append(&RWDecimalFormatAttributes::farLeftText_, text, sign);
    }
    void appendFarRightText(const char* text, int sign = both) {
        append(&RWDecimalFormatAttributes::farRightText_, text, sign);
    }

    // Rounds a portable decimal's digits to `places` (negative: whole tens, hundreds ...).
    static RWDecimalPortable roundPortable(const RWDecimalPortable& value, int places, int method);

private:
    template <class T>
    T get(T RWDecimalFormatAttributes::*field, int sign) const {
        if (sign == positive) return pos_.*field;
        if (sign == negative) return neg_.*field;
        if (!(pos_.*field == neg_.*field)) throwFormatsDiffer();
        return pos_.*field;
    }
    template <class T>
    void set(T RWDecimalFormatAttributes::*field, const T& value, int sign) {
        if (sign == positive || sign == both) pos_.*field = value;
        if (sign == negative || sign == both) neg_.*field = value;
    }
    void append(RWCString RWDecimalFormatAttributes::*field, const char* text, int sign);
    [[noreturn]] static void throwFormatsDiffer();
    static std::string formatWith(const RWDecimalFormatAttributes& a, const RWDecimalPortable& value);

    RWDecimalFormatAttributes pos_;
    RWDecimalFormatAttributes neg_;
};
