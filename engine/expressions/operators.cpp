#include "engine/expressions/operators.h"

#include <cmath>
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
  ThrowExpressionError(expr_code::kDivisionByZero,
                       "The result of the integer division does not fit in an integer");
}

// \ and MOD work on 32-bit integers: an operand beyond them would wrap silently.
std::int32_t IntegerOperand(Element* e) {
  const std::int32_t value = e->AsInt();
  double wide = value;
  if (e->outType & (expr_type::kReal | expr_type::kDate)) wide = e->real;
  else if (e->outType & expr_type::kString) static_cast<void>(e->IsNumericString(wide));
  wide = std::trunc(wide);
  if (!(wide >= std::numeric_limits<std::int32_t>::min() && wide <= std::numeric_limits<std::int32_t>::max()))
    ThrowExpressionError(expr_code::kDivisionByZero, "The operand of the integer division does not fit in an integer");
  return value;
}

class CBinaryOperator : public COperator {
 public:
  using COperator::COperator;
  using COperator::DoIt;
};

class CUnaryOperator : public COperator {
 public:
  using COperator::COperator;
  using COperator::DoIt;
};

class COpPlus : public CBinaryOperator {
 public:
  COpPlus() : CBinaryOperator("PLUS") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const double a = l->AsReal();
    result->SetReal(a + r->AsReal());
  }
};

class COpMinus : public CBinaryOperator {
 public:
  COpMinus() : CBinaryOperator("MINUS") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const double a = l->AsReal();
    result->SetReal(a - r->AsReal());
  }
};

class COpMultiply : public CBinaryOperator {
 public:
  COpMultiply() : CBinaryOperator("MULTIPLY") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const double a = l->AsReal();
    result->SetReal(a * r->AsReal());
  }
};

class COpDivide : public CBinaryOperator {
 public:
  COpDivide() : CBinaryOperator("DIVIDE") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const double divisor = r->AsReal();
    if (divisor == 0) ThrowDivisionByZero();
    result->SetReal(l->AsReal() / divisor);
  }
};

class COpIntegerDivide : public CBinaryOperator {
 public:
  COpIntegerDivide() : CBinaryOperator("INTEGER DIVIDE") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const std::int32_t divisor = IntegerOperand(r);
    if (divisor == 0) ThrowDivisionByZero();
    const std::int32_t dividend = IntegerOperand(l);
    if (divisor == -1 && dividend == std::numeric_limits<std::int32_t>::min()) ThrowIntegerOverflow();
    result->SetInteger(dividend / divisor);
  }
};

class COpMod : public CBinaryOperator {
 public:
  COpMod() : CBinaryOperator("MOD") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const std::int32_t divisor = IntegerOperand(r);
    if (divisor == 0) ThrowDivisionByZero();
    const std::int32_t dividend = IntegerOperand(l);
    if (divisor == -1 && dividend == std::numeric_limits<std::int32_t>::min()) ThrowIntegerOverflow();
    result->SetInteger(dividend % divisor);
  }
};

class COpPower : public CBinaryOperator {
 public:
  COpPower() : CBinaryOperator("POWER") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const double base = l->AsReal();
    if (base == 0) ThrowExpressionError(expr_code::kZeroPower, "Zero raised to a power is not allowed");
    result->SetReal(std::pow(base, r->AsReal()));
  }
};

class COpAnd : public CBinaryOperator {
 public:
  COpAnd() : CBinaryOperator("AND") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    if (!l->AsBool()) {
      result->SetBoolean(false);
      return;
    }
    result->SetBoolean(r->AsBool() != 0);
  }
};

class COpOr : public CBinaryOperator {
 public:
  COpOr() : CBinaryOperator("OR") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    if (l->AsBool()) {
      result->SetBoolean(true);
      return;
    }
    result->SetBoolean(r->AsBool() != 0);
  }
};

class COpXor : public CBinaryOperator {
 public:
  COpXor() : CBinaryOperator("XOR") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const bool a = l->AsBool() != 0;
    const bool b = r->AsBool() != 0;
    result->SetBoolean(a != b);
  }
};

class COpEqv : public CBinaryOperator {
 public:
  COpEqv() : CBinaryOperator("EQV") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const bool a = l->AsBool() != 0;
    const bool b = r->AsBool() != 0;
    result->SetBoolean(a == b);
  }
};

class COpImp : public CBinaryOperator {
 public:
  COpImp() : CBinaryOperator("IMP") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    const bool a = l->AsBool() != 0;
    const bool b = r->AsBool() != 0;
    result->SetBoolean(!(a && !b));
  }
};

class COpNot : public CUnaryOperator {
 public:
  COpNot() : CUnaryOperator("NOT") {}
  void DoIt(CRuntimeInterface*, Element* operand, Element* result) override {
    result->SetBoolean(operand->AsBool() == 0);
  }
};

class COpUnaryPlus : public CUnaryOperator {
 public:
  COpUnaryPlus() : CUnaryOperator("UNARY PLUS") {}
  void DoIt(CRuntimeInterface*, Element* operand, Element* result) override { CopyValue(*operand, *result); }
};

class COpUnaryMinus : public CUnaryOperator {
 public:
  COpUnaryMinus() : CUnaryOperator("UNARY MINUS") {}
  void DoIt(CRuntimeInterface*, Element* operand, Element* result) override { result->SetReal(-operand->AsReal()); }
};

class COpConcatenation : public CBinaryOperator {
 public:
  COpConcatenation() : CBinaryOperator("CONCATENATION") {}
  void DoIt(CRuntimeInterface*, Element* l, Element* r, Element* result) override {
    std::string text = l->AsStdString();
    text += r->AsStdString();
    result->SetText(std::move(text));
  }
};

class COpComparison : public CBinaryOperator {
 public:
  COpComparison(const char* name, unsigned operation) : CBinaryOperator(name), m_operation(operation) {}
  void DoIt(CRuntimeInterface* runtime, Element* l, Element* r, Element* result) override {
    result->SetBoolean(CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(runtime, m_operation, l, r) != 0);
  }

 private:
  unsigned m_operation;
};

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
  using namespace expr_op;
  m_ops[kPlus] = std::make_unique<COpPlus>();
  m_ops[kMinus] = std::make_unique<COpMinus>();
  m_ops[kMultiply] = std::make_unique<COpMultiply>();
  m_ops[kDivide] = std::make_unique<COpDivide>();
  m_ops[kIntegerDivide] = std::make_unique<COpIntegerDivide>();
  m_ops[kMod] = std::make_unique<COpMod>();
  m_ops[kPower] = std::make_unique<COpPower>();
  m_ops[kAnd] = std::make_unique<COpAnd>();
  m_ops[kOr] = std::make_unique<COpOr>();
  m_ops[kXor] = std::make_unique<COpXor>();
  m_ops[kEqv] = std::make_unique<COpEqv>();
  m_ops[kImp] = std::make_unique<COpImp>();
  m_ops[kNot] = std::make_unique<COpNot>();
  m_ops[kUnaryPlus] = std::make_unique<COpUnaryPlus>();
  m_ops[kUnaryMinus] = std::make_unique<COpUnaryMinus>();
  m_ops[kConcatenation] = std::make_unique<COpConcatenation>();
  static constexpr const char* kComparisonNames[] = {"IS",           "IS NOT",       "CONTAINS",
                                                     "DOES NOT CONTAIN", "GREATER THAN", "GREATER THAN OR EQUAL",
                                                     "LESS THAN",    "LESS THAN OR EQUAL"};
  for (unsigned i = 0; i < 8; ++i) m_ops[kIs + i] = std::make_unique<COpComparison>(kComparisonNames[i], i);
}

COperatorManager::~COperatorManager() = default;

void COperatorManager::CheckOp(unsigned number) const {
  if (number >= expr_op::kCount) {
    const std::string text = FormatExpressionText("Invalid operator number %u", number);
    ThrowLoggedExpressionError("COperatorManager::CheckOp", text, expr_code::kInvalidOperator, text);
  }
  if (!m_ops[number])
    ThrowLoggedExpressionError("COperatorManager::CheckOp", FormatExpressionText("NULL operator object %u", number),
                               expr_code::kNullOperator, "Operator object pointer is NULL");
}

void COperatorManager::EvaluateBinary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* left,
                                      ExprYaccStackElement* right, ExprYaccStackElement* result) const {
  CheckOp(number);
  m_ops[number]->DoIt(runtime, left, right, result);
}

void COperatorManager::EvaluateUnary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* operand,
                                     ExprYaccStackElement* result) const {
  CheckOp(number);
  m_ops[number]->DoIt(runtime, operand, result);
}
