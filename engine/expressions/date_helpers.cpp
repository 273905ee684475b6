#include "engine/expressions/date_helpers.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/expressions/ascii_text.h"
#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "foundation/rwcase.h"

namespace {

bool IsSpaceAscii(char c) {
    return rwcase::isSpace(static_cast<unsigned char>(c));
}
bool IsAlphaAscii(char c) {
    return rwcase::isAlpha(static_cast<unsigned char>(c));
}
bool IsDigitAscii(char c) {
    return rwcase::isDigit(static_cast<unsigned char>(c));
}

[[noreturn]] void ThrowInvalidDateOperation() {
    ThrowExpressionError(expr_code::kDateOperation, "Attempt to perform an invalid date operation");
}

[[noreturn]] void ThrowUnknownPart() {
    ThrowExpressionError(expr_code::kTextOnly, "");
}

// The span of a step by calendar months, the day clamped to the new month's length. The
// step is counted on the same calendar whatever year it reaches: a result past the years
// 100 to 9999 is a span all the same, and adding it leaves the valid range, which DateAdd
// reports with its own message. Only a date that is itself out of range has no step.
double MonthStepSpan(long long months, double date) {
    DateFields f;
    if (!SplitDateValue(date, f)) ThrowInvalidDateOperation();
    const long long m = static_cast<long long>(f.month) + months;
    long long yearOffset, newMonth;
    if (m < 1) {
        yearOffset = m / 12 - 1;
        newMonth = m % 12 + 12;
    } else {
        yearOffset = (m - 1) / 12;
        newMonth = (m - 1) % 12 + 1;
    }
    const long newYear = static_cast<long>(f.year + yearOffset);
    const int length = CivilMonthLength(newYear, static_cast<int>(newMonth));
    const int newDay = f.day < length ? f.day : length;
    return static_cast<double>(DaysFromCivil(newYear, static_cast<int>(newMonth), newDay) -
                               DaysFromCivil(f.year, f.month, f.day));
}

// date moved by the span on the linear line; false when it leaves the valid range.
bool Step(double date, double span, double& result) {
    return AddDateSpan(date, span, result);
}

// date moved by n months; false when the month step or the sum is invalid.
bool StepMonths(double date, std::int32_t months, double& result) {
    try {
        return Step(date, AddMonthsSpan(months, date), result);
    } catch (CExpressionException* e) {
        delete e;
        return false;
    }
}

std::int32_t Narrow(long long count) {
    if (count < std::numeric_limits<std::int32_t>::min() || count > std::numeric_limits<std::int32_t>::max())
        ThrowInvalidDateOperation();
    return static_cast<std::int32_t>(count);
}

// Whole seconds between two points of the linear line.
long long SecondsBetween(double fromLinear, double toLinear) {
    const double seconds = (toLinear - fromLinear) * 86400.0;
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e18) ThrowInvalidDateOperation();
    return std::llround(seconds);
}

// The two dates in time order; true when they had to be swapped.
bool OrderByInstant(double first, double second, double& early, double& late) {
    const bool swapped = DateToLinear(first) > DateToLinear(second);
    early = swapped ? second : first;
    late = swapped ? first : second;
    return swapped;
}

std::int32_t SundayWeeks(double first, double second) {
    double start, end;
    const bool negate = OrderByInstant(first, second, start, end);
    // Weeks are counted from the first Sunday on or after the earlier date.
    for (;;) {
        DateFields f;
        if (!SplitDateValue(start, f)) ThrowInvalidDateOperation();
        if (f.dayOfWeek == 1) break;
        double next;
        if (!Step(start, 1.0, next)) ThrowInvalidDateOperation();
        start = next;
        if (DateToLinear(end) < DateToLinear(start)) break;
    }
    const long long weeks = SecondsBetween(DateToLinear(start), DateToLinear(end)) / 86400 / 7;
    return Narrow(negate ? -weeks : weeks);
}

// Mask conversion actions.
enum MaskAction : char { kQuote = 0, kCopy = 1, kLower = 2, kUpper = 3 };

MaskAction DateMaskAction(char c) {
    switch (c) {
        case ' ':
        case 'M':
        case 'd':
        case 'g':
        case 'y':
            return kCopy;
        case 'D':
        case 'G':
        case 'Y':
            return kLower;
        case 'm':
            return kUpper;
        default:
            return kQuote;
    }
}

MaskAction TimeMaskAction(char c) {
    switch (c) {
        case ' ':
        case 'm':
        case 'H':
        case 'h':
        case 's':
        case 't':
            return kCopy;
        case 'M':
        case 'S':
        case 'T':
            return kLower;
        default:
            return kQuote;
    }
}

std::string ConvertMask(const char* mask, MaskAction (*action)(char)) {
    std::string picture;
    if (mask == nullptr) return picture;
    picture.reserve(std::strlen(mask) * 3);
    // Literal characters in a row, quoted by the mask or by the converter, share one quoted
    // run: two runs side by side would put two quotes together, which the picture reads as
    // a literal quote character. A doubled quote of the mask is that literal quote; it is
    // written as such, inside a run or outside, and never opens or closes one.
    bool quoted = false;
    bool run = false;
    auto literal = [&](char c) {
        if (!run) picture += '\'';
        run = true;
        picture += c;
    };
    auto field = [&](char c) {
        if (run) picture += '\'';
        run = false;
        picture += c;
    };
    for (const char* p = mask; *p; ++p) {
        const char c = *p;
        if (c == '\'' && p[1] == '\'') {
            picture += "''";
            ++p;
        } else if (c == '\'') {
            quoted = !quoted;
        } else if (quoted) {
            literal(c);
        } else {
            switch (action(c)) {
                case kCopy:
                    field(c);
                    break;
                case kLower:
                    field(AsciiLower(c));
                    break;
                case kUpper:
                    field(AsciiUpper(c));
                    break;
                case kQuote:
                    literal(c);
                    break;
            }
        }
    }
    if (quoted) ThrowExpressionError(expr_code::kFormatMask, "Invalid format mask");
    if (run) picture += '\'';
    return picture;
}

}  // namespace

bool IsDatePartSpecifier(const char* text) {
    if (text == nullptr) return false;
    switch (std::strlen(text)) {
        case 1:
            return std::strchr("dhmnqswy", AsciiLower(text[0])) != nullptr && text[0] != '\0';
        case 2:
            return EqualsNoCaseAscii(text, "ww");
        case 4:
            return EqualsNoCaseAscii(text, "yyyy");
        default:
            return false;
    }
}

int DatePartCode(const char* text) {
    if (text == nullptr || text[0] == '\0') ThrowUnknownPart();
    const char second = AsciiLower(text[1]);
    switch (AsciiLower(text[0])) {
        case 'd':
            return 4;
        case 'h':
            return 7;
        case 'm':
            return 2;
        case 'n':
            return 8;
        case 'q':
            return 1;
        case 's':
            return 9;
        case 'w':
            return second == 'w' ? 3 : 6;
        case 'y':
            return second == 'y' ? 0 : 5;
        default:
            ThrowUnknownPart();
    }
}

double AddMonthsSpan(std::int32_t months, double date) {
    return MonthStepSpan(months, date);
}

double DateAddSpan(int code, std::int32_t amount, double date) {
    switch (code) {
        case 0:
            return MonthStepSpan(12LL * amount, date);
        case 1:
            return MonthStepSpan(3LL * amount, date);
        case 2:
            return MonthStepSpan(amount, date);
        case 3:
            return static_cast<double>(7LL * amount);
        case 4:
        case 5:
        case 6:
            return static_cast<double>(amount);
        case 7:
            return MakeDateSpan(0, amount, 0, 0);
        case 8:
            return MakeDateSpan(0, 0, amount, 0);
        case 9:
            return MakeDateSpan(0, 0, 0, amount);
        default:
            ThrowUnknownPart();
    }
}

std::int32_t MonthsBetween(double first, double second) {
    double early, late;
    const bool negate = OrderByInstant(first, second, early, late);
    const double lateLinear = DateToLinear(late);
    std::int32_t n = static_cast<std::int32_t>(std::trunc(lateLinear - DateToLinear(early))) / 31;
    double moved;
    if (!StepMonths(early, n, moved)) ThrowInvalidDateOperation();
    early = moved;
    for (;;) {
        if (lateLinear < DateToLinear(early)) break;
        ++n;
        // A step beyond the valid range lies beyond the later date as well.
        if (!StepMonths(early, 1, moved)) break;
        early = moved;
    }
    const std::int32_t count = n - 1;
    return negate ? -count : count;
}

std::int32_t DateDiffCount(int code, double first, double second) {
    if (!IsDateInRange(first) || !IsDateInRange(second)) ThrowInvalidDateOperation();
    switch (code) {
        case 0:
            return MonthsBetween(first, second) / 12;
        case 1:
            return MonthsBetween(first, second) / 3;
        case 2:
            return MonthsBetween(first, second);
        case 3:
            return SundayWeeks(first, second);
        default:
            break;
    }
    const long long seconds = SecondsBetween(DateToLinear(first), DateToLinear(second));
    switch (code) {
        case 4:
        case 5:
            return Narrow(seconds / 86400);
        case 6:
            return Narrow(seconds / 86400 / 7);
        case 7:
            return Narrow(seconds / 3600);
        case 8:
            return Narrow(seconds / 60);
        case 9:
            return Narrow(seconds);
        default:
            ThrowUnknownPart();
    }
}

std::string ConvertDateMask(const char* mask) {
    return ConvertMask(mask, DateMaskAction);
}
std::string ConvertTimeMask(const char* mask) {
    return ConvertMask(mask, TimeMaskAction);
}

bool BeginsWithBrace(const char* text) {
    if (text == nullptr) return false;
    while (IsSpaceAscii(*text)) ++text;
    return *text == '{';
}

bool IsValidVariableName(const char* text) {
    if (text == nullptr) return false;
    enum { kStart, kAfterPeriod, kInSegment } state = kStart;
    for (const char* p = text;; ++p) {
        const char c = *p;
        const bool letter = IsAlphaAscii(c);
        if (c == '\0') return state != kStart;
        switch (state) {
            case kStart:
            case kAfterPeriod:
                if (!letter) return false;
                state = kInSegment;
                break;
            case kInSegment:
                if (c == '.')
                    state = kAfterPeriod;
                else if (!(letter || IsDigitAscii(c) || c == '_'))
                    return false;
                break;
        }
    }
}

void ZeroBuffer(void* buffer, std::size_t count) {
    if (buffer != nullptr && count != 0) std::memset(buffer, 0, count);
}
