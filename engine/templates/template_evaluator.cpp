#include "engine/templates/template_evaluator.h"

#include "engine/expressions/text_origin.h"

#include "support/html_escape.h"
#include "support/number_parse.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

[[noreturn]] void Unsupported(const std::string& expression) {
    throw new CWebException("Error evaluating expression",
                            CWebMessage("The expression '") + expression +
                                "' cannot be evaluated: this engine evaluates only variables and literal values.");
}

bool IsPlainName(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != ':') return false;
    return true;
}

}  // namespace

std::string CStandInEvaluator::Resolve(const std::string& name) {
    std::string value;
    if (!IsPlainName(name)) Unsupported(name);
    if (!m_resolver.ResolveParameter(name, value))
        throw new CWebException(CWebMessage("Error resolving parameter <B>") + UpperCopy(name) + "</B>",
                                CWebMessage("The parameter ") + UpperCopy(name) +
                                    " could not be found in any of the variable scopes available to this template.");
    return value;
}

std::string CStandInEvaluator::SubstituteText(const std::string& text) {
    return Substitute(text, false);
}

std::string CStandInEvaluator::SubstituteSqlText(const std::string& text) {
    return Substitute(text, true);
}

std::string CStandInEvaluator::Substitute(const std::string& text, bool sqlText) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '#') {
            out += text[i++];
            continue;
        }
        std::size_t close = text.find('#', i + 1);
        if (close == std::string::npos) {
            out += text.substr(i);
            break;
        }
        if (close == i + 1)
            out += '#';
        else if (sqlText)
            // Every substitution here is a variable's value.
            out += QuoteValuesForSql(CTracedText::Value(Resolve(TrimmedCopy(text.substr(i + 1, close - i - 1)))));
        else
            out += Resolve(TrimmedCopy(text.substr(i + 1, close - i - 1)));
        i = close + 1;
    }
    return out;
}

bool CStandInEvaluator::EvaluateCondition(const std::string& expression) {
    std::string value = EvaluateValue(expression);
    int parsed = ParseBoolean(value);
    if (parsed == BOOLEAN_INVALID) Unsupported(expression);
    return parsed == BOOLEAN_TRUE;
}

std::string CStandInEvaluator::EvaluateValue(const std::string& expression) {
    std::string text = TrimmedCopy(expression);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        std::string inner = text.substr(1, text.size() - 2);
        ReplaceString(inner, "\"\"", "\"");
        return SubstituteText(inner);
    }
    double number = 0;
    if (ParseReal(text, number)) return text;
    int literal = ParseBoolean(text);
    if (literal != BOOLEAN_INVALID) return text;
    if (text.size() >= 2 && text.front() == '#' && text.back() == '#') text = text.substr(1, text.size() - 2);
    return Resolve(text);
}
