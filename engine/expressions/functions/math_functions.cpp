// Math functions: absolute value, rounding, trigonometry, logarithms, radix conversion
// and the per-request random numbers.
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/function_family.h"
#include "engine/expressions/functions/argument_helpers.h"
#include "engine/expressions/random_state.h"
#include "foundation/rwcase.h"

namespace {

// The real-valued functions of one argument differ only in their formula; the argument
// must be finite and so must the result (Exp(1000) is refused, not printed as "inf").
template <double (*Formula)(double)>
class CFuncRealOfReal : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* x = Argument(arguments, 0);
        // Adding zero turns a negative zero (Fix(-0.5), Ceiling(-0.5)) into the 0 authors expect.
        result->SetReal(CheckFiniteResult(*this, x, Formula(FiniteReal(*this, 1, x))) + 0.0);
    }
};

double AbsOf(double x) {
    return std::fabs(x);
}
double AtnOf(double x) {
    return std::atan(x);
}
double CeilingOf(double x) {
    return std::ceil(x);
}
double CosOf(double x) {
    return std::cos(x);
}
double ExpOf(double x) {
    return std::exp(x);
}
double FixOf(double x) {
    return x >= 0 ? std::floor(x) : -std::floor(-x);
}
double IntOf(double x) {
    return std::floor(x);
}
double LogOf(double x) {
    return std::log(x);
}
double Log10Of(double x) {
    return std::log10(x);
}
// Halves go up toward positive infinity: Round(2.5) = 3, Round(-2.5) = -2.
double RoundOf(double x) {
    return std::floor(x + 0.5);
}
double SgnOf(double x) {
    return x == 0 ? 0.0 : (x > 0 ? 1.0 : -1.0);
}
double SinOf(double x) {
    return std::sin(x);
}
double SqrOf(double x) {
    return std::sqrt(x);
}
double TanOf(double x) {
    return std::tan(x);
}

using CFuncAbs = CFuncRealOfReal<AbsOf>;
using CFuncAtn = CFuncRealOfReal<AtnOf>;
using CFuncCeiling = CFuncRealOfReal<CeilingOf>;
using CFuncCos = CFuncRealOfReal<CosOf>;
using CFuncExp = CFuncRealOfReal<ExpOf>;
using CFuncFix = CFuncRealOfReal<FixOf>;
using CFuncInt = CFuncRealOfReal<IntOf>;
using CFuncLog = CFuncRealOfReal<LogOf>;
using CFuncLog10 = CFuncRealOfReal<Log10Of>;
using CFuncRound = CFuncRealOfReal<RoundOf>;
using CFuncSgn = CFuncRealOfReal<SgnOf>;
using CFuncSin = CFuncRealOfReal<SinOf>;
using CFuncSqr = CFuncRealOfReal<SqrOf>;
using CFuncTan = CFuncRealOfReal<TanOf>;

class CFuncMax : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const double a = FiniteReal(*this, 1, Argument(arguments, 0));
        const double b = FiniteReal(*this, 2, Argument(arguments, 1));
        result->SetReal(a >= b ? a : b);
    }
};

class CFuncMin : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const double a = FiniteReal(*this, 1, Argument(arguments, 0));
        const double b = FiniteReal(*this, 2, Argument(arguments, 1));
        result->SetReal(a <= b ? a : b);
    }
};

class CFuncPi : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList*, ExprYaccStackElement* result) override {
        result->SetReal(4.0 * std::atan(1.0));
    }
};

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// The whole text as a signed 32-bit number in the radix: leading blanks, one sign, "0x"
// before hexadecimal digits, then digits only. False for anything else or out of range.
bool ReadInRadix(const char* text, int radix, std::int32_t& value) {
    const char* p = text;
    while (rwcase::isSpace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (radix == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) p += 2;
    std::int64_t magnitude = 0;
    const char* digits = p;
    for (; *p; ++p) {
        const int d = DigitValue(*p);
        if (d >= radix) return false;
        magnitude = magnitude * radix + d;
        if (magnitude > 2147483648LL) return false;
    }
    if (p == digits) return false;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647LL) return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

class CFuncInputBaseN : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        ExprYaccStackElement* text = Argument(arguments, 0);
        const char* digits = text->AsString();
        const int radix = Argument(arguments, 1)->AsInt();
        std::int32_t value = 0;
        if (!ReadInRadix(digits, radix, value))
            ThrowParameterError(*this, 1, text, FormatExpressionMessage("a valid number in base %d", radix));
        result->SetInteger(value);
    }
};

class CFuncFormatBaseN : public CTSFunction {
public:
    void DoIt(CRuntimeInterface*, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::int32_t number = FiniteInt(*this, 1, Argument(arguments, 0));
        const unsigned radix = static_cast<unsigned>(Argument(arguments, 1)->AsInt());
        // Radix 10 is signed; every other radix writes the unsigned 32-bit pattern.
        const bool negative = radix == 10 && number < 0;
        std::uint32_t rest = negative ? 0u - static_cast<std::uint32_t>(number) : static_cast<std::uint32_t>(number);
        char buffer[40];
        char* p = buffer + sizeof buffer;
        do {
            const unsigned d = rest % radix;
            *--p = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
            rest /= radix;
        } while (rest != 0);
        if (negative) *--p = '-';
        result->SetText(std::string(p, buffer + sizeof buffer));
    }
};

// A runtime without a request (no random state) draws from this thread's own state.
CRandomState& RandomStateOf(CRuntimeInterface* runtime) {
    thread_local CRandomState fallback;
    return runtime && runtime->m_randomState ? *runtime->m_randomState : fallback;
}

class CFuncRandomize : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        CRandomState& state = RandomStateOf(runtime);
        state.value = static_cast<std::uint32_t>(FiniteInt(*this, 1, Argument(arguments, 0)));
        state.seeded = 1;
        result->SetReal(NextRandom(state) / 32767.0);
    }
};

class CFuncRand : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList*, ExprYaccStackElement* result) override {
        result->SetReal(NextRandom(RandomStateOf(runtime)) / 32767.0);
    }
};

class CFuncRandRange : public CTSFunction {
public:
    void DoIt(CRuntimeInterface* runtime, CExprArgumentList* arguments, ExprYaccStackElement* result) override {
        const std::int64_t a = FiniteInt(*this, 1, Argument(arguments, 0));
        const std::int64_t b = FiniteInt(*this, 2, Argument(arguments, 1));
        // The distance in 64 bits: the ends of the 32-bit range do not overflow, and the
        // result always lies between the two bounds.
        const double d = static_cast<double>(b - a);
        const double r = NextRandom(RandomStateOf(runtime));
        const double offset = b > a ? std::trunc(d * r / 32767.0 + 0.5) : std::trunc(d * r / 32767.0 - 0.5);
        result->SetInteger(static_cast<std::int32_t>(a + static_cast<std::int64_t>(offset)));
    }
};

const FunctionTableRow kRows[] = {
    {"Abs", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncAbs>},
    {"Atn", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncAtn>},
    {"Ceiling", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncCeiling>},
    {"Cos", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncCos>},
    {"Exp", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncExp>},
    {"Int", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncInt>},
    {"Fix", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncFix>},
    {"Log", 1, PackArgTypes(arg_type::kPositiveReal), answer::kArguments, MakeFunction<CFuncLog>},
    {"Log10", 1, PackArgTypes(arg_type::kPositiveReal), answer::kArguments, MakeFunction<CFuncLog10>},
    {"Max", 2, PackArgTypes(arg_type::kReal, arg_type::kReal), answer::kArguments, MakeFunction<CFuncMax>},
    {"Min", 2, PackArgTypes(arg_type::kReal, arg_type::kReal), answer::kArguments, MakeFunction<CFuncMin>},
    {"Pi", 0, PackArgTypes(), answer::kArguments, MakeFunction<CFuncPi>},
    {"Round", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncRound>},
    {"Sgn", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncSgn>},
    {"Sin", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncSin>},
    {"Sqr", 1, PackArgTypes(arg_type::kNonNegativeReal), answer::kArguments, MakeFunction<CFuncSqr>},
    {"Tan", 1, PackArgTypes(arg_type::kReal), answer::kArguments, MakeFunction<CFuncTan>},
    {"InputBaseN", 2, PackArgTypes(arg_type::kString, arg_type::kRadix), answer::kArguments,
     MakeFunction<CFuncInputBaseN>},
    {"FormatBaseN", 2, PackArgTypes(arg_type::kInteger, arg_type::kRadix), answer::kArguments,
     MakeFunction<CFuncFormatBaseN>},
    {"Randomize", 1, PackArgTypes(arg_type::kInteger), answer::kRequestState, MakeFunction<CFuncRandomize>},
    {"Rand", 0, PackArgTypes(), answer::kRequestState, MakeFunction<CFuncRand>},
    {"RandRange", 2, PackArgTypes(arg_type::kInteger, arg_type::kInteger), answer::kRequestState,
     MakeFunction<CFuncRandRange>},
};

}  // namespace

extern const FunctionFamily kMathFunctions{kRows, std::size(kRows)};
