// Date functions: fields of a date, names of days and months, calendar facts, date
// arithmetic by part, and the date and time constructors.
#include "engine/expressions/function_family.h"

namespace {

const FunctionTableRow kRows[] = {
    {"DateCompare", 2, PackArgTypes(10, 10, 0, 0), nullptr},
    {"Now", 0, PackArgTypes(0, 0, 0, 0), nullptr},
    {"Year", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Quarter", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Month", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Week", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"DayOfYear", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"DayOfWeek", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Day", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Hour", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Minute", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"Second", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"DayOfWeekAsString", 1, PackArgTypes(14, 0, 0, 0), nullptr},
    {"MonthAsString", 1, PackArgTypes(15, 0, 0, 0), nullptr},
    {"DaysInYear", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"DaysInMonth", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"FirstDayOfMonth", 1, PackArgTypes(10, 0, 0, 0), nullptr},
    {"IsLeapYear", 1, PackArgTypes(9, 0, 0, 0), nullptr},
    {"DatePart", 2, PackArgTypes(11, 10, 0, 0), nullptr},
    {"DateAdd", 3, PackArgTypes(11, 3, 10, 0), nullptr},
    {"DateDiff", 3, PackArgTypes(11, 10, 10, 0), nullptr},
    {"CreateDateTime", -4, PackArgTypes(8, 9, 9, 8), nullptr},
    {"CreateTime", 3, PackArgTypes(8, 8, 8, 0), nullptr},
    {"CreateDate", 3, PackArgTypes(8, 9, 9, 0), nullptr},
    {"ParseDateTime", 1, PackArgTypes(2, 0, 0, 0), nullptr},
};

}  // namespace

extern const FunctionFamily kDateFunctions{kRows, std::size(kRows)};
