#include "engine/expressions/function_arguments.h"

#include "engine/expressions/expression_exception.h"

void CheckAtMostArguments(const CTSFunction& function, const CExprArgumentList* arguments, unsigned most) {
    const std::size_t given = ArgumentCount(arguments);
    if (given <= most) return;
    ThrowExpressionError(
        expr_code::kArgumentCount,
        FormatExpressionMessage("The function %s takes at most %u arguments; You have called it with %u "
                                "arguments",
                                function.GetName().c_str(), most, static_cast<unsigned>(given)));
}

bool DecidedByValue(std::initializer_list<const ExprYaccStackElement*> deciding) {
    for (const ExprYaccStackElement* argument : deciding)
        if (argument != nullptr && argument->FromValue()) return true;
    return false;
}

void SetMovedText(ExprYaccStackElement* result, CTracedText text,
                  std::initializer_list<const ExprYaccStackElement*> deciding) {
    if (DecidedByValue(deciding)) text.MarkValue();
    result->SetTracedText(std::move(text));
}
