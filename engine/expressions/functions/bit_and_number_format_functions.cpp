// Bit functions on 32-bit integers, the counters, and the number, decimal and currency
// formatters.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "engine/expressions/number_mask_format.h"
#include "engine/expressions/number_patterns.h"
#include "foundation/rwexcept.h"

namespace {

std::uint32_t Bits(const CTSFunction& function, CExprArgumentList* arguments, std::size_t index) {
    return static_cast<std::uint32_t>(
        FiniteInt(function, static_cast<unsigned>(index + 1), Argument(arguments, index)));
}

void SetBits(ExprYaccStackElement* result, std::uint32_t bits) {
    result->SetInteger(static_cast<std::int32_t>(bits));
}

// length ones from bit 0; positions beyond bit 31 are lost.
std::uint32_t Ones(std::uint32_t length) {
    return length >= 32 ? 0xFFFFFFFFu : (1u << length) - 1u;
}
std::uint32_t ShiftLeft(std::uint32_t bits, std::uint32_t count) {
    return count >= 32 ? 0u : bits << count;
}

class CFuncBitAnd : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        SetBits(result, a & Bits(*this, arguments, 1));
    }
};

class CFuncBitOr : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        SetBits(result, a | Bits(*this, arguments, 1));
    }
};

class CFuncBitXor : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        SetBits(result, a ^ Bits(*this, arguments, 1));
    }
};

class CFuncBitNot : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        SetBits(result, ~Bits(*this, arguments, 0));
    }
};

// The shift count is checked to lie in 0..31 before DoIt (argument type 7), so the shift
// is always defined; shifts are logical on the 32-bit pattern.
class CFuncBitSHLN : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        SetBits(result, ShiftLeft(a, Bits(*this, arguments, 1)));
    }
};

class CFuncBitSHRN : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        const std::uint32_t n = Bits(*this, arguments, 1);
        SetBits(result, n >= 32 ? 0u : a >> n);
    }
};

class CFuncBitMaskRead : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        const std::uint32_t start = Bits(*this, arguments, 1);
        const std::uint32_t mask = ShiftLeft(Ones(Bits(*this, arguments, 2)), start);
        SetBits(result, (a & mask) >> start);
    }
};

class CFuncBitMaskClear : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        const std::uint32_t start = Bits(*this, arguments, 1);
        const std::uint32_t mask = ShiftLeft(Ones(Bits(*this, arguments, 2)), start);
        SetBits(result, a & ~mask);
    }
};

class CFuncBitMaskSet : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::uint32_t a = Bits(*this, arguments, 0);
        const std::uint32_t m = Bits(*this, arguments, 1);
        const std::uint32_t start = Bits(*this, arguments, 2);
        const std::uint32_t k = Ones(Bits(*this, arguments, 3));
        SetBits(result, ShiftLeft(m & k, start) | (a & ~ShiftLeft(k, start)));
    }
};

// The counters refuse to wrap: the step past either end of the integer range is an
// arithmetic error rather than a silent jump to the other end.
template <int Step>
class CFuncCounter : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::int64_t next = static_cast<std::int64_t>(FiniteInt(*this, 1, Argument(arguments, 0))) + Step;
        if (next < std::numeric_limits<std::int32_t>::min() || next > std::numeric_limits<std::int32_t>::max())
            ThrowExpressionError(
                expr_code::kDivisionByZero,
                FormatExpressionMessage("The result of the function %s does not fit in an integer", GetName().c_str()));
        result->SetInteger(static_cast<std::int32_t>(next));
    }
};
using CFuncIncrementValue = CFuncCounter<1>;
using CFuncDecrementValue = CFuncCounter<-1>;

// The number argument of the formatters: an empty text is 0, anything else must be a
// finite number ("a number" in the parameter message otherwise).
double FormatterNumber(const CTSFunction& function, ExprYaccStackElement* argument) {
    if (argument->AsStdString().empty()) return 0.0;
    double value = 0;
    try {
        value = argument->AsReal();
    } catch (CExpressionException* e) {
        delete e;
        ThrowParameterError(function, 1, argument, "a number");
    }
    if (!std::isfinite(value)) ThrowParameterError(function, 1, argument, "a number");
    return value;
}

// A mask formats through a decimal of 64 bits, which holds every number below 2^63 in
// size; a larger one is the author's argument fault, not a fault of the mask.
constexpr double kMaskedNumberLimit = 9223372036854775808.0;

class CFuncNumberFormat : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CheckAtMostTwoArguments(*this, arguments);
        ExprYaccStackElement* number = Argument(arguments, 0);
        const double value = FormatterNumber(*this, number);
        if (arguments->size() == 1) {
            result->SetText(FormatWholeNumberPattern(value));
            return;
        }
        ExprYaccStackElement* maskArgument = Argument(arguments, 1);
        CheckArg(2, maskArgument);
        const std::string mask = maskArgument->AsStdString();
        std::string text;
        try {
            bool hasPoint = false;
            TranslateNumberMask(mask, hasPoint);  // a bad mask is reported before the number
            // The code is the one of any number the mask's decimal cannot take; the words
            // say that the number, not the mask, is at fault.
            if (std::fabs(value) >= kMaskedNumberLimit)
                ThrowExpressionError(expr_code::kFormatMask,
                                     FormatExpressionMessage("Parameter 1 of function %s which is now \"%s\" must be a "
                                                             "number smaller than 9223372036854775808 in absolute "
                                                             "value",
                                                             GetName().c_str(), number->AsStdString().c_str()));
            text = FormatWithNumberMask(value, mask);
        } catch (const CBadNumberMask&) {
            ThrowBadMask(mask);
        } catch (const RWxmsg&) {
            ThrowBadMask(mask);
        } catch (CExpressionException*) {
            throw;
        } catch (...) {
            LogExpressionError("CFuncNumberFormat::DoIt", "unknown");
            throw;
        }
        result->SetText(std::move(text));
    }

private:
    [[noreturn]] static void ThrowBadMask(const std::string& mask) {
        ThrowExpressionError(
            expr_code::kFormatMask,
            FormatExpressionMessage("In function NumberFormat(Number, FormatMask) the second parameter, "
                                    "which is now %s, is not a valid formatting mask",
                                    mask.c_str()));
    }
};

class CFuncDecimalFormat : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        result->SetText(FormatDecimalNumberPattern(FormatterNumber(*this, Argument(arguments, 0))));
    }
};

class CFuncDollarFormat : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        result->SetText(FormatDollarNumberPattern(FormatterNumber(*this, Argument(arguments, 0))));
    }
};

const FunctionTableRow kRows[] = {
    {"BitAnd", 2, PackArgTypes(arg_type::kInteger, arg_type::kInteger), answer::kArguments, MakeFunction<CFuncBitAnd>},
    {"BitNot", 1, PackArgTypes(arg_type::kInteger), answer::kArguments, MakeFunction<CFuncBitNot>},
    {"BitOr", 2, PackArgTypes(arg_type::kInteger, arg_type::kInteger), answer::kArguments, MakeFunction<CFuncBitOr>},
    {"BitMaskClear", 3, PackArgTypes(arg_type::kInteger, arg_type::kBitIndex, arg_type::kBitIndex), answer::kArguments,
     MakeFunction<CFuncBitMaskClear>},
    {"BitMaskRead", 3, PackArgTypes(arg_type::kInteger, arg_type::kBitIndex, arg_type::kBitIndex), answer::kArguments,
     MakeFunction<CFuncBitMaskRead>},
    {"BitMaskSet", 4, PackArgTypes(arg_type::kInteger, arg_type::kInteger, arg_type::kBitIndex, arg_type::kBitIndex),
     answer::kArguments, MakeFunction<CFuncBitMaskSet>},
    // Shift counts are bit positions: outside 0..31 the argument check refuses them.
    {"BitSHLN", 2, PackArgTypes(arg_type::kInteger, arg_type::kBitIndex), answer::kArguments,
     MakeFunction<CFuncBitSHLN>},
    {"BitSHRN", 2, PackArgTypes(arg_type::kInteger, arg_type::kBitIndex), answer::kArguments,
     MakeFunction<CFuncBitSHRN>},
    {"BitXor", 2, PackArgTypes(arg_type::kInteger, arg_type::kInteger), answer::kArguments, MakeFunction<CFuncBitXor>},
    {"DecrementValue", 1, PackArgTypes(arg_type::kInteger), answer::kArguments, MakeFunction<CFuncDecrementValue>},
    {"IncrementValue", 1, PackArgTypes(arg_type::kInteger), answer::kArguments, MakeFunction<CFuncIncrementValue>},
    {"NumberFormat", -1, PackArgTypes(arg_type::kString, arg_type::kString), answer::kArguments,
     MakeFunction<CFuncNumberFormat>},
    {"DecimalFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncDecimalFormat>},
    {"DollarFormat", 1, PackArgTypes(arg_type::kString), answer::kArguments, MakeFunction<CFuncDollarFormat>},
};

}  // namespace

extern const FunctionFamily kBitAndNumberFormatFunctions{kRows, std::size(kRows)};
