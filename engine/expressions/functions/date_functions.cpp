// Date functions: fields of a date, names of days and months, calendar facts, date
// arithmetic by part, and the date and time constructors.
#include <cstdint>
#include <string>

#include "engine/expressions/date_helpers.h"
#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "foundation/rwdate.h"

namespace {

constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                       "July",    "August",   "September", "October", "November", "December"};

// The calendar fields of the date argument; all -1 for a value outside the valid range.
DateFields FieldsOf(ExprYaccStackElement* argument) {
    DateFields fields;
    SplitDateValue(argument->AsDate(), fields);
    return fields;
}

// A field reader answers -1 for a date outside the valid range, also where the field is
// computed from others (Quarter, Week, the calendar facts).
template <int (*Field)(const DateFields&)>
class CFuncDateField : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const DateFields f = FieldsOf(Argument(arguments, 0));
        result->SetInteger(f.year < 0 ? -1 : Field(f));
    }
};

int YearOf(const DateFields& f) {
    return f.year;
}
int QuarterOf(const DateFields& f) {
    return (f.month - 1) / 3 + 1;
}
int MonthOf(const DateFields& f) {
    return f.month;
}
int WeekOf(const DateFields& f) {
    return (f.dayOfYear - 1) / 7 + 1;
}
int DayOfYearOf(const DateFields& f) {
    return f.dayOfYear;
}
int DayOfWeekOf(const DateFields& f) {
    return f.dayOfWeek;
}
int DayOf(const DateFields& f) {
    return f.day;
}
int HourOf(const DateFields& f) {
    return f.hour;
}
int MinuteOf(const DateFields& f) {
    return f.minute;
}
int SecondOf(const DateFields& f) {
    return f.second;
}
int DaysInYearOf(const DateFields& f) {
    return static_cast<int>(RWJulianDate::yearLength(static_cast<unsigned>(f.year)));
}
int DaysInMonthOf(const DateFields& f) {
    return static_cast<int>(RWJulianDate::monthLength(static_cast<unsigned>(f.month), static_cast<unsigned>(f.year)));
}
int FirstDayOfMonthOf(const DateFields& f) {
    const RWJulianDate date(static_cast<unsigned>(f.dayOfYear), static_cast<unsigned>(f.year));
    return static_cast<int>(date.monthStartDayOfYear(date.month()));
}

using CFuncYear = CFuncDateField<YearOf>;
using CFuncQuarter = CFuncDateField<QuarterOf>;
using CFuncMonth = CFuncDateField<MonthOf>;
using CFuncWeek = CFuncDateField<WeekOf>;
using CFuncDayOfYear = CFuncDateField<DayOfYearOf>;
using CFuncDayOfWeek = CFuncDateField<DayOfWeekOf>;
using CFuncDay = CFuncDateField<DayOf>;
using CFuncHour = CFuncDateField<HourOf>;
using CFuncMinute = CFuncDateField<MinuteOf>;
using CFuncSecond = CFuncDateField<SecondOf>;
using CFuncDaysInYear = CFuncDateField<DaysInYearOf>;
using CFuncDaysInMonth = CFuncDateField<DaysInMonthOf>;
using CFuncFirstDayOfMonth = CFuncDateField<FirstDayOfMonthOf>;

// Dates are compared on the linear time line, so that before 30 December 1899 the order
// within a day is the order of the clock (-1.25 is 06:00, earlier than -1.5 at 12:00).
class CFuncDateCompare : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const double a = DateToLinear(Argument(arguments, 0)->AsDate());
        const double b = DateToLinear(Argument(arguments, 1)->AsDate());
        result->SetInteger(a < b ? -1 : (a > b ? 1 : 0));
    }
};

class CFuncNow : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList*, ExprYaccStackElement* result) override {
        result->SetDate(CurrentDateValue());
    }
};

class CFuncDayOfWeekAsString : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        result->SetText(kDayNames[Argument(arguments, 0)->AsInt() - 1]);
    }
};

class CFuncMonthAsString : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        result->SetText(kMonthNames[Argument(arguments, 0)->AsInt() - 1]);
    }
};

class CFuncIsLeapYear : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        result->SetBoolean(
            RWJulianDate::isLeapYear(static_cast<unsigned>(FiniteInt(*this, 1, Argument(arguments, 0)))) != 0);
    }
};

class CFuncDatePart : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const int code = DatePartCode(Argument(arguments, 0)->AsString());
        const DateFields f = FieldsOf(Argument(arguments, 1));
        int value = -1;
        if (f.year >= 0) {
            switch (code) {
                case 0:
                    value = f.year;
                    break;
                case 1:
                    value = QuarterOf(f);
                    break;
                case 2:
                    value = f.month;
                    break;
                case 3:
                    value = (f.day - 1) / 7 + 1;
                    break;
                case 4:
                    value = f.day;
                    break;
                case 5:
                    value = f.dayOfYear;
                    break;
                case 6:
                    value = f.dayOfWeek;
                    break;
                case 7:
                    value = f.hour;
                    break;
                case 8:
                    value = f.minute;
                    break;
                default:
                    value = f.second;
                    break;
            }
        }
        result->SetInteger(value);
    }
};

class CFuncDateAdd : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* part = Argument(arguments, 0);
        const int code = DatePartCode(part->AsString());
        const std::int32_t number = FiniteInt(*this, 2, Argument(arguments, 1));
        const double date = Argument(arguments, 2)->AsDate();
        // The sum is taken on the linear time line, so dates before 1900 move the right way.
        double moved = 0;
        if (!AddDateSpan(date, DateAddSpan(code, number, date), moved))
            ThrowExpressionError(
                expr_code::kArgumentType,
                FormatExpressionMessage(
                    "In the function DateAdd(part, period, date) the combination of the part specifier, "
                    "which is %s, and the period specifier, which is %li, when added to date, which is "
                    "%s, have resulted in an invalid date value. The valid range of dates approximately "
                    "covers the period between 100 AD and 9999 AD",
                    part->AsStdString().c_str(), static_cast<long>(number), FormatShortReal(date).c_str()));
        result->SetDate(moved);
    }
};

class CFuncDateDiff : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const int code = DatePartCode(Argument(arguments, 0)->AsString());
        const double first = Argument(arguments, 1)->AsDate();
        const double second = Argument(arguments, 2)->AsDate();
        result->SetInteger(DateDiffCount(code, first, second));
    }
};

// Years 0..99 stand for 1900..1999.
int FullYear(long year) {
    return static_cast<int>(year >= 0 && year <= 99 ? year + 1900 : year);
}

class CFuncCreateDate : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const long year = FiniteInt(*this, 1, Argument(arguments, 0));
        const long month = FiniteInt(*this, 2, Argument(arguments, 1));
        const long day = FiniteInt(*this, 3, Argument(arguments, 2));
        double value = 0;
        if (!MakeDateValue(FullYear(year), static_cast<int>(month), static_cast<int>(day), 0, 0, 0, value))
            ThrowExpressionError(
                expr_code::kDateOperation,
                FormatExpressionMessage("In the function CreateDate(year, month, day) the combination of the "
                                        "arguments, which are %4li-%2li-%2li, have resulted in an invalid "
                                        "date value. The valid range of dates approximately covers the "
                                        "period between 100 AD and 9999 AD",
                                        year, month, day));
        result->SetDate(value);
    }
};

class CFuncCreateTime : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const long hour = FiniteInt(*this, 1, Argument(arguments, 0));
        const long minute = FiniteInt(*this, 2, Argument(arguments, 1));
        const long second = FiniteInt(*this, 3, Argument(arguments, 2));
        double value = 0;
        if (!MakeDateValue(1899, 12, 30, static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second),
                           value))
            ThrowExpressionError(
                expr_code::kDateOperation,
                FormatExpressionMessage("In the function CreateTime(hour, minute, second) the combination of "
                                        "the arguments, which are %2li:%2li:%2li, have resulted in an "
                                        "invalid time value",
                                        hour, minute, second));
        result->SetDate(value);
    }
};

class CFuncCreateDateTime : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::size_t count = arguments ? arguments->size() : 0;
        if (count != 6)
            ThrowExpressionError(
                expr_code::kArgumentCount,
                FormatExpressionMessage("The function CreateDateTime(year, month, day, hour, minute, second) "
                                        "takes exactly 6 arguments. You have called it with %u arguments",
                                        static_cast<unsigned>(count)));
        long v[6];
        for (unsigned i = 0; i < 6; ++i) {
            ExprYaccStackElement* argument = Argument(arguments, i);
            try {
                v[i] = FiniteInt(*this, i + 1, argument);
            } catch (CExpressionException* e) {
                // The type codes cover four arguments; the clock arguments get the same message.
                if (i < 4 || !(e->GetCode() & expr_code::kAuthorClass)) throw;
                delete e;
                ThrowParameterError(*this, i + 1, argument, "a non-negative integer");
            }
        }
        double value = 0;
        if (!MakeDateValue(FullYear(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3]),
                           static_cast<int>(v[4]), static_cast<int>(v[5]), value))
            ThrowExpressionError(
                expr_code::kDateOperation,
                FormatExpressionMessage("In the function CreateDateTime(year, month, day, hour, minute, "
                                        "second) the combination of the arguments, which are "
                                        "%4li-%2li-%2li %2li:%2li:%2li, have resulted in an invalid date "
                                        "value. The valid range of dates approximately covers the period "
                                        "between 100 AD and 9999 AD",
                                        v[0], v[1], v[2], v[3], v[4], v[5]));
        result->SetDate(value);
    }
};

class CFuncParseDateTime : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        // The text alone is read: an ODBC literal or what the shared date parser accepts.
        ExprYaccStackElement text;
        text.SetText(Argument(arguments, 0)->AsStdString());
        if (!text.IsDateString())
            ThrowExpressionError(
                expr_code::kArgumentType,
                FormatExpressionMessage("The date parameter of function ParseDateTime(date), which is %s, "
                                        "does not represent a valid date",
                                        text.AsStdString().c_str()));
        result->SetDate(text.real);
    }
};

const FunctionTableRow kRows[] = {
    {"DateCompare", 2, PackArgTypes(arg_type::kDate, arg_type::kDate), answer::kArguments,
     MakeFunction<CFuncDateCompare>},
    {"Now", 0, PackArgTypes(), answer::kRequestState, MakeFunction<CFuncNow>},
    {"Year", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncYear>},
    {"Quarter", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncQuarter>},
    {"Month", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncMonth>},
    {"Week", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncWeek>},
    {"DayOfYear", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncDayOfYear>},
    {"DayOfWeek", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncDayOfWeek>},
    {"Day", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncDay>},
    {"Hour", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncHour>},
    {"Minute", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncMinute>},
    {"Second", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncSecond>},
    {"DayOfWeekAsString", 1, PackArgTypes(arg_type::kDayOfWeek), answer::kArguments,
     MakeFunction<CFuncDayOfWeekAsString>},
    {"MonthAsString", 1, PackArgTypes(arg_type::kMonth), answer::kArguments, MakeFunction<CFuncMonthAsString>},
    {"DaysInYear", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncDaysInYear>},
    {"DaysInMonth", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncDaysInMonth>},
    {"FirstDayOfMonth", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncFirstDayOfMonth>},
    {"IsLeapYear", 1, PackArgTypes(arg_type::kPositiveInteger), answer::kArguments, MakeFunction<CFuncIsLeapYear>},
    {"DatePart", 2, PackArgTypes(arg_type::kDatePart, arg_type::kDate), answer::kArguments,
     MakeFunction<CFuncDatePart>},
    {"DateAdd", 3, PackArgTypes(arg_type::kDatePart, arg_type::kInteger, arg_type::kDate), answer::kArguments,
     MakeFunction<CFuncDateAdd>},
    {"DateDiff", 3, PackArgTypes(arg_type::kDatePart, arg_type::kDate, arg_type::kDate), answer::kArguments,
     MakeFunction<CFuncDateDiff>},
    {"CreateDateTime", -4,
     PackArgTypes(arg_type::kNonNegativeInteger, arg_type::kPositiveInteger, arg_type::kPositiveInteger,
                  arg_type::kNonNegativeInteger),
     answer::kArguments, MakeFunction<CFuncCreateDateTime>},
    {"CreateTime", 3,
     PackArgTypes(arg_type::kNonNegativeInteger, arg_type::kNonNegativeInteger, arg_type::kNonNegativeInteger),
     answer::kArguments, MakeFunction<CFuncCreateTime>},
    {"CreateDate", 3,
     PackArgTypes(arg_type::kNonNegativeInteger, arg_type::kPositiveInteger, arg_type::kPositiveInteger),
     answer::kArguments, MakeFunction<CFuncCreateDate>},
    {"ParseDateTime", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncParseDateTime>},
};

}  // namespace

extern const FunctionFamily kDateFunctions{kRows, std::size(kRows)};
