#include <cstring>
#include <string>

#include "engine/expressions/date_value.h"
#include "engine/expressions/expression_exception.h"
#include "engine/expressions/operators.h"
#include "platform/ascii_text.h"

namespace {

unsigned char FoldAscii(unsigned char c) {
    return static_cast<unsigned char>(tessaro::platform::AsciiLower(static_cast<char>(c)));
}

int CompareNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const int x = FoldAscii(static_cast<unsigned char>(a[i]));
        const int y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y) return x - y;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool ContainsNoCase(const std::string& text, const std::string& part) {
    if (part.empty()) return true;
    if (part.size() > text.size()) return false;
    for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < part.size() &&
               FoldAscii(static_cast<unsigned char>(text[start + i])) == FoldAscii(static_cast<unsigned char>(part[i])))
            ++i;
        if (i == part.size()) return true;
    }
    return false;
}

bool Decide(unsigned operation, int order) {
    switch (operation) {
        case 0:
            return order == 0;
        case 1:
            return order != 0;
        case 4:
            return order > 0;
        case 5:
            return order >= 0;
        case 6:
            return order < 0;
        default:
            return order <= 0;
    }
}

}  // namespace

std::int16_t CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression(CRuntimeInterface*, unsigned operation,
                                                                       ExprYaccStackElement* left,
                                                                       ExprYaccStackElement* right) {
    if (operation > 7)
        ThrowLoggedExpressionError("CPrimaryBooleanOpEvaluator::EvaluateConditionalExpression", "bad boolean op number",
                                   expr_code::kInvalidComparison, "Invalid boolean operator");
    if (operation == 2 || operation == 3) {
        left->CheckTypes();
        const std::string leftText = left->AsStdString();
        const bool found = ContainsNoCase(leftText, right->AsStdString());
        return (operation == 2) == found ? 1 : 0;
    }
    double a = 0, b = 0;
    if (left->TryAsReal(a) && right->TryAsReal(b)) {
        // Dates before 30 December 1899 count their fraction forward: compare instants.
        if ((left->outType | right->outType) & expr_type::kDate) {
            a = DateToLinear(a);
            b = DateToLinear(b);
        }
        const int order = a == b ? 0 : (a > b ? 1 : (a < b ? -1 : 2));
        if (order == 2) return operation == 1 ? 1 : 0;  // NaN: only IS NOT holds
        return Decide(operation, order) ? 1 : 0;
    }
    const std::string rightText = right->AsStdString();
    const std::string& leftText = left->AsStdString();
    return Decide(operation, CompareNoCase(leftText, rightText)) ? 1 : 0;
}
