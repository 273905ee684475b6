// The 24 operators of the expression language and the manager that owns them, indexed by
// operator number. Every conversion of an operand goes through the value's lazy
// conversions; results are written into the result value handed in.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/expressions/expression_value.h"
#include "engine/expressions/runtime_interface.h"

namespace expr_op {
inline constexpr unsigned kPlus = 0, kMinus = 1, kMultiply = 2, kDivide = 3, kIntegerDivide = 4, kMod = 5, kPower = 6,
                          kAnd = 7, kOr = 8, kXor = 9, kEqv = 10, kImp = 11, kNot = 12, kUnaryPlus = 13,
                          kUnaryMinus = 14, kConcatenation = 15, kIs = 16, kIsNot = 17, kContains = 18,
                          kDoesNotContain = 19, kGreaterThan = 20, kGreaterOrEqual = 21, kLessThan = 22,
                          kLessOrEqual = 23;
inline constexpr unsigned kCount = 24;
}  // namespace expr_op

class COperator {
public:
    COperator() : m_name("Unknown operator") {}
    explicit COperator(const char* name) : m_name(name ? name : "") {}
    virtual ~COperator() = default;

    // The root forms throw 0x8004 and 0x8003 after a log line; each operator overrides one.
    virtual void DoIt(CRuntimeInterface* runtime, ExprYaccStackElement* left, ExprYaccStackElement* right,
                      ExprYaccStackElement* result);
    virtual void DoIt(CRuntimeInterface* runtime, ExprYaccStackElement* operand, ExprYaccStackElement* result);

    const std::string& GetName() const { return m_name; }

private:
    std::string m_name;
};

// How the eight comparisons decide: numerically when both sides convert to real, else as
// texts with the case of A-Z ignored; CONTAINS on upper-cased texts.
class CPrimaryBooleanOpEvaluator {
public:
    // Operation numbers 0 IS .. 7 LESS THAN OR EQUAL; others throw 0x8009.
    static std::int16_t EvaluateConditionalExpression(CRuntimeInterface* runtime, unsigned operation,
                                                      ExprYaccStackElement* left, ExprYaccStackElement* right);
};

class COperatorManager {
public:
    COperatorManager();
    ~COperatorManager();
    COperatorManager(const COperatorManager&) = delete;
    COperatorManager& operator=(const COperatorManager&) = delete;

    // 0x8005 for a number of 24 or more, 0x8006 for an empty slot; both logged.
    void CheckOp(unsigned number) const;
    void EvaluateBinary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* left,
                        ExprYaccStackElement* right, ExprYaccStackElement* result) const;
    void EvaluateUnary(CRuntimeInterface* runtime, unsigned number, ExprYaccStackElement* operand,
                       ExprYaccStackElement* result) const;
    COperator* GetOperator(unsigned number) const { return number < expr_op::kCount ? m_ops[number].get() : nullptr; }

    // Tests empty a slot to reach the empty-slot check.
    void ResetSlotForTest(unsigned number) {
        if (number < expr_op::kCount) m_ops[number].reset();
    }

private:
    std::array<std::unique_ptr<COperator>, expr_op::kCount> m_ops;
};
