// Yes-or-no predicates (FileExists, IsBoolean, IsNumeric) and the date and time pictures
// (DateFormat, TimeFormat).
#include <string>

#include "engine/expressions/date_helpers.h"
#include "engine/expressions/date_picture.h"
#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "engine/expressions/numeric_text.h"
#include "support/file_helpers.h"
#include "support/runtime_file_gate.h"
#include "platform/checked_file.h"
#include "platform/path_util.h"

namespace {

class CFuncFileExists : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        // The engine names templates by upper-cased physical paths; the file on disk is found
        // without regard to case, as the template run finds its files.
        const std::string& path = Argument(arguments, 0)->AsStdString();
        // A private file of the runtime counts as not there (judged as it would be opened, so
        // another name of one too), and a zero byte makes no path.
        const std::string onDisk = tessaro::platform::ResolvePathNoCase(path);
        const CRuntimeFileGate& files = FileGateOf(runtime);
        tessaro::platform::CheckedFile entry;
        result->SetBoolean(!path.empty() && !PathHasNul(path) && files.IsNonPrivateFile(onDisk) &&
                           tessaro::platform::OpenCheckedFile(onDisk, tessaro::platform::FileAccess::Name,
                                                              files.Check(), &entry) == 0);
    }
};

class CFuncIsBoolean : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        bool converts = true;
        try {
            Argument(arguments, 0)->AsBool();
        } catch (CExpressionException* e) {
            delete e;
            converts = false;
        }
        result->SetBoolean(converts);
    }
};

// The decimal syntax of the language as a whole text: no "inf", "nan", hexadecimal forms
// or trailing blanks, and no value beyond the range of a real.
class CFuncIsNumeric : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        double value = 0;
        result->SetBoolean(ParseDecimalText(Argument(arguments, 0)->AsString(), value));
    }
};

// DateFormat and TimeFormat differ in their default picture and their mask translation.
template <bool Time>
class CFuncDateTimeFormat : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CheckAtMostTwoArguments(*this, arguments);
        ExprYaccStackElement* date = Argument(arguments, 0);
        // An empty text gives an empty result; a number or date is never taken for one (a date
        // out of range has an empty text form, and must be refused below).
        const bool numeric = (date->inType & (expr_type::kReal | expr_type::kDate | expr_type::kInteger)) != 0;
        if (!numeric && date->AsStdString().empty()) {
            result->SetText(std::string());
            return;
        }
        const double value = date->AsDate();
        std::string picture;
        if (arguments->size() < 2)
            picture = Time ? "hh':'mm tt" : "dd'-'MMM'-'yy";
        else
            picture = Time ? ConvertTimeMask(Argument(arguments, 1)->AsString())
                           : ConvertDateMask(Argument(arguments, 1)->AsString());
        // A value outside the calendar's years has no fields to print: refused, never shown
        // as invented digits.
        DateFields fields;
        if (!SplitDateValue(value, fields))
            ThrowExpressionError(expr_code::kDateOperation, "Attempt to perform an invalid date operation");
        result->SetText(FormatDatePicture(fields, picture));
    }
};
using CFuncDateFormat = CFuncDateTimeFormat<false>;
using CFuncTimeFormat = CFuncDateTimeFormat<true>;

const FunctionTableRow kRows[] = {
    {"IsBoolean", 1, PackArgTypes(arg_type::kAny), answer::kArguments, MakeFunction<CFuncIsBoolean>},
    {"IsNumeric", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncIsNumeric>},
    {"FileExists", 1, PackArgTypes(arg_type::kString), answer::kRequestState, MakeFunction<CFuncFileExists>},
    {"DateFormat", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncDateFormat>},
    {"TimeFormat", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncTimeFormat>},
};

}  // namespace

extern const FunctionFamily kPredicateFunctions{kRows, std::size(kRows)};
