#include "engine/expressions/operators.h"

#include <cmath>
#include <iterator>
#include <limits>

#include "engine/expressions/expression_exception.h"
#include "engine/expressions/expression_log.h"

namespace {

using Element = ExprYaccStackElement;

[[noreturn]] void ThrowDivisionByZero() {
    ThrowExpressionError(expr_code::kDivisionByZero, "Division by zero is not allowed");
}

// The quotient of the most negative integer by -1 does not fit: an arithmetic error
// rather than a trap that ends the process.
[[noreturn]] void ThrowIntegerOverflow() {
    ThrowExpressionError(expr_code::kDivisionByZero, "The result of the integer division does not fit in an integer");
}

// Every arithmetic result outside the range of a real is an error, never a value: INF or
// NAN would reach the page or an SQL statement as text, and further arithmetic on it
// (INF - INF) would only make it worse. So no operand can ever be infinite either.
double RealResult(const char* operation, double value) {
    if (std::isnan(value))
        ThrowExpressionError(expr_code::kZeroPower,
                             FormatExpressionMessage("The result of the %s is not a real number", operation));
    if (std::isinf(value))
        ThrowExpressionError(expr_code::kZeroPower,
                             FormatExpressionMessage("The result of the %s is too large for a real number", operation));
    return value;
}

// \ and MOD work on 32-bit integers: an operand beyond them would wrap silently.
std::int32_t IntegerOperand(Element* e) {
    const std::int32_t value = e->AsInt();
    double wide = value;
    if (e->outType & (expr_type::kReal | expr_type::kDate))
        wide = e->real;
    else if (e->outType & expr_type::kString)
        static_cast<void>(e->IsNumericString(wide));
    wide = std::trunc(wide);
    if (!(wide >= std::numeric_limits<std::int32_t>::min() && wide <= std::numeric_limits<std::int32_t>::max()))
        ThrowExpressionError(expr_code::kDivisionByZero,
                             "The operand of the integer division does not fit in an integer");
    return value;
}

using BinaryForm = void (*)(CRuntimeInterface* runtime, Element* left, Element* right, Element* result);
using UnaryForm = void (*)(CRuntimeInterface* runtime, Element* operand, Element* result);

// One operator: its name and the forms it has (the other one stays null).
struct OperatorRow {
    unsigned number;
    const char* name;
    BinaryForm binary;
    UnaryForm unary;
};

// The one worker behind every operator: runs the row's form, or the root form's
// error when the operator has none of that arity.
class CTableOperator : public COperator {
public:
    explicit CTableOperator(const OperatorRow& row) : COperator(row.name), m_row(row) {}

    void DoIt(CRuntimeInterface* runtime, Element* l, Element* r, Element* result) override {
        if (m_row.binary == nullptr) return COperator::DoIt(runtime, l, r, result);
        m_row.binary(runtime, l, r, result);
    }
    void DoIt(CRuntimeInterface* runtime, Element* operand, Element* result) override {
        if (m_row.unary == nullptr) return COperator::DoIt(runtime, operand, result);
        m_row.unary(runtime, operand, result);
    }

private:
    const OperatorRow& m_row;
};

// The integer operators convert the divisor first, as the arithmetic ones read the left side first.
template <bool Remainder>
void IntegerDivision(CRuntimeInterface*, Element* l, Element* r, Element* result) {
    const std::int32_t divisor = IntegerOperand(r);
    if (divisor == 0) ThrowDivisionByZero();
    const std::int32_t dividend = IntegerOperand(l);
    if (divisor == -1 && dividend == std::numeric_limits<std::int32_t>::min()) ThrowIntegerOverflow();
    result->SetInteger(Remainder ? dividend % divisor : dividend / divisor);
}

// The eight comparisons, by their operation number 0 (IS) to 7.
template <unsigned Operation>
void Compare(CRuntimeInterface* runtime, Element* l, Element* r, Element* result) {
    result->SetBoolean(CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(runtime, Operation, l, r) != 0);
}

// Two booleans, both sides always converted (AND and OR stop early instead).
template <bool (*Combine)(bool, bool)>
void Logical(CRuntimeInterface*, Element* l, Element* r, Element* result) {
    const bool a = l->AsBool() != 0;
    const bool b = r->AsBool() != 0;
    result->SetBoolean(Combine(a, b));
}

constexpr bool Xor(bool a, bool b) {
    return a != b;
}
constexpr bool Eqv(bool a, bool b) {
    return a == b;
}
constexpr bool Imp(bool a, bool b) {
    return !(a && !b);
}

using namespace expr_op;

constexpr OperatorRow kOperators[] = {
    {kPlus, "PLUS",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         const double a = l->AsReal();
         result->SetReal(RealResult("addition", a + r->AsReal()));
     },
     nullptr},
    {kMinus, "MINUS",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         const double a = l->AsReal();
         result->SetReal(RealResult("subtraction", a - r->AsReal()));
     },
     nullptr},
    {kMultiply, "MULTIPLY",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         const double a = l->AsReal();
         result->SetReal(RealResult("multiplication", a * r->AsReal()));
     },
     nullptr},
    {kDivide, "DIVIDE",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         const double divisor = r->AsReal();
         if (divisor == 0) ThrowDivisionByZero();
         result->SetReal(RealResult("division", l->AsReal() / divisor));
     },
     nullptr},
    {kIntegerDivide, "INTEGER DIVIDE", IntegerDivision<false>, nullptr},
    {kMod, "MOD", IntegerDivision<true>, nullptr},
    {kPower, "POWER",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         const double base = l->AsReal();
         if (base == 0) ThrowExpressionError(expr_code::kZeroPower, "Zero raised to a power is not allowed");
         const double power = std::pow(base, r->AsReal());
         if (std::isnan(power))
             ThrowExpressionError(expr_code::kZeroPower,
                                  "A negative number raised to a fractional power is not a real number");
         result->SetReal(RealResult("power", power));
     },
     nullptr},
    {kAnd, "AND",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         result->SetBoolean(l->AsBool() ? r->AsBool() != 0 : false);
     },
     nullptr},
    {kOr, "OR",
     [](CRuntimeInterface*, Element* l, Element* r, Element* result) {
         result->SetBoolean(l->AsBool() ? true : r->AsBool() != 0);
     },
     nullptr},
    {kXor, "XOR", Logical<Xor>, nullptr},
    {kEqv, "EQV", Logical<Eqv>, nullptr},
    {kImp, "IMP", Logical<Imp>, nullptr},
    {kNot, "NOT", nullptr,
     [](CRuntimeInterface*, Element* operand, Element* result) { result->SetBoolean(operand->AsBool() == 0); }},
    {kUnaryPlus, "UNARY PLUS", nullptr,
     [](CRuntimeInterface*, Element* operand, Element* result) { CopyValue(*operand, *result); }},
    {kUnaryMinus, "UNARY MINUS", nullptr,
     [](CRuntimeInterface*, Element* operand, Element* result) {
         result->SetReal(RealResult("negation", -operand->AsReal()));
     }},
    {kConcatenation, "CONCATENATION",
     [](CRuntimeInterface* runtime, Element* l, Element* r, Element* result) {
         ConcatenateTexts(*l, *r, *result, false, runtime != nullptr && runtime->EscapeSingleQuotes() != 0);
     },
     nullptr},
    {kIs, "IS", Compare<0>, nullptr},
    {kIsNot, "IS NOT", Compare<1>, nullptr},
    {kContains, "CONTAINS", Compare<2>, nullptr},
    {kDoesNotContain, "DOES NOT CONTAIN", Compare<3>, nullptr},
    {kGreaterThan, "GREATER THAN", Compare<4>, nullptr},
    {kGreaterOrEqual, "GREATER THAN OR EQUAL", Compare<5>, nullptr},
    {kLessThan, "LESS THAN", Compare<6>, nullptr},
    {kLessOrEqual, "LESS THAN OR EQUAL", Compare<7>, nullptr},
};

static_assert(std::size(kOperators) == kCount);

}  // namespace

void COperator::DoIt(CRuntimeInterface*, ExprYaccStackElement*, ExprYaccStackElement*, ExprYaccStackElement*) {
    ThrowLoggedExpressionError("COperator::DoIt(binary)", "Derived class function not implemented for Op " + m_name,
                               expr_code::kNoBinaryForm, "No binary DoIt() function defined for operator");
}

void COperator::DoIt(CRuntimeInterface*, ExprYaccStackElement*, ExprYaccStackElement*) {
    ThrowLoggedExpressionError("COperator::DoIt(unary)", "Derived class function not implemented for Op " + m_name,
                               expr_code::kNoUnaryForm, "No unary DoIt() function defined for operator");
}

COperatorManager::COperatorManager() {
    for (const OperatorRow& row : kOperators) m_ops[row.number] = std::make_unique<CTableOperator>(row);
}

COperatorManager::~COperatorManager() = default;

void COperatorManager::CheckOp(unsigned number) const {
    if (number >= expr_op::kCount) {
        const std::string text = FormatExpressionText("Invalid operator number %u", number);
        ThrowLoggedExpressionError("COperatorManager::CheckOp", text, expr_code::kInvalidOperator,
                                   CWebMessage::Value(text));
    }
    if (!m_ops[number])
        ThrowLoggedExpressionError("COperatorManager::CheckOp", FormatExpressionText("NULL operator object %u", number),
                                   expr_code::kNullOperator, "Operator object pointer is NULL");
}

void COperatorManager::EvaluateBinary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* left,
                                      ExprYaccStackElement* right, ExprYaccStackElement* result) const {
    CheckOp(number);
    // A result computed from a value is from a value; concatenation, which only moves
    // characters, gives each its own origin instead.
    const bool fromValue = left->FromValue() || right->FromValue();
    result->SetUniformOrigin(fromValue);
    m_ops[number]->DoIt(runtime, left, right, result);
    // An operand read as a date that names no year took the clock's: known once read.
    if (!fromValue && (left->FromValue() || right->FromValue())) result->MarkFromValue();
}

void COperatorManager::EvaluateUnary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* operand,
                                     ExprYaccStackElement* result) const {
    CheckOp(number);
    const bool fromValue = operand->FromValue();
    result->SetUniformOrigin(fromValue);
    m_ops[number]->DoIt(runtime, operand, result);
    if (!fromValue && operand->FromValue()) result->MarkFromValue();
}
