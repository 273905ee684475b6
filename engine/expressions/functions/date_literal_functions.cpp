// ODBC date literals, time spans and the date tests.
#include <cmath>
#include <string>

#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"

namespace {

// A date serial outside the calendar's years has no literal: it is refused as a value
// that cannot become a date, never written as an empty or invented literal.
template <std::string (*Format)(double)>
class CFuncODBCLiteral : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* argument = Argument(arguments, 0);
        const double value = argument->AsDate();
        if (!IsDateInRange(value)) {
            // The text of a number, read before its date form (which has no text out of range).
            ExprYaccStackElement number;
            number.SetReal(value);
            ThrowConversionError(expr_code::kToDate, number.AsString(), "date");
        }
        result->SetText(Format(value));
    }
};
using CFuncCreateODBCDateTime = CFuncODBCLiteral<FormatODBCTimestamp>;
using CFuncCreateODBCDate = CFuncODBCLiteral<FormatODBCDate>;
using CFuncCreateODBCTime = CFuncODBCLiteral<FormatODBCTime>;

class CFuncCreateTimeSpan : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const double d = FiniteReal(*this, 1, Argument(arguments, 0));
        const double h = FiniteReal(*this, 2, Argument(arguments, 1));
        const double m = FiniteReal(*this, 3, Argument(arguments, 2));
        const double s = FiniteReal(*this, 4, Argument(arguments, 3));
        const double span = ((s * (1.0 / 60) + m) * (1.0 / 60) + h) * (1.0 / 24) + d;
        // The span is the parts' sum: past the range of a real it fails as an operator's
        // result does.
        if (!std::isfinite(span))
            ThrowExpressionError(expr_code::kZeroPower,
                                 "The result of the function CreateTimeSpan(days, hours, minutes, seconds) is too "
                                 "large for a real number");
        result->SetReal(span);
    }
};

class CFuncIsDate : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* argument = Argument(arguments, 0);
        bool isDate = false;
        try {
            argument->AsString();
            isDate = argument->IsDateString();
        } catch (CExpressionException* e) {
            delete e;
        }
        result->SetBoolean(isDate);
    }
};

class CFuncIsNumericDate : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        Argument(arguments, 0)->AsReal();
        result->SetBoolean(true);
    }
};

const FunctionTableRow kRows[] = {
    {"CreateTimeSpan", 4, PackArgTypes(arg_type::kReal, arg_type::kReal, arg_type::kReal, arg_type::kReal),
     answer::kArguments, MakeFunction<CFuncCreateTimeSpan>},
    {"CreateODBCDateTime", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncCreateODBCDateTime>},
    {"CreateODBCDate", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncCreateODBCDate>},
    {"CreateODBCTime", 1, PackArgTypes(arg_type::kDate), answer::kArguments, MakeFunction<CFuncCreateODBCTime>},
    {"IsDate", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncIsDate>},
    {"IsNumericDate", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncIsNumericDate>},
};

}  // namespace

extern const FunctionFamily kDateLiteralFunctions{kRows, std::size(kRows)};
