// What the template run needs of the expression language: #...# substitution in
// attribute values, TSIF conditions and TSSET values. The stand-in here knows
// variables and literals only; the full evaluator replaces it through
// CQueryPage::SetEvaluator.
#pragma once

#include <string>

class CVariableResolver {
public:
    virtual ~CVariableResolver() = default;
    // A name with an optional scope prefix (URL.X, FORM.X, COOKIE.X, CGI.X,
    // VARIABLES.X, FILE.X); false when nothing holds it.
    virtual bool ResolveParameter(const std::string& name, std::string& value) = 0;
};

class CTemplateEvaluator {
public:
    virtual ~CTemplateEvaluator() = default;
    // Every #expression# replaced by its value; "##" is one "#".
    virtual std::string SubstituteText(const std::string& text) = 0;
    // The same for SQL text: the single quotes that came from values are doubled, the
    // template's own stay.
    virtual std::string SubstituteSqlText(const std::string& text) = 0;
    virtual bool EvaluateCondition(const std::string& expression) = 0;
    virtual std::string EvaluateValue(const std::string& expression) = 0;
};

class CStandInEvaluator : public CTemplateEvaluator {
public:
    explicit CStandInEvaluator(CVariableResolver& resolver) : m_resolver(resolver) {}
    std::string SubstituteText(const std::string& text) override;
    std::string SubstituteSqlText(const std::string& text) override;
    // TRUE/FALSE/YES/NO/1/0 literals, or a variable holding one.
    bool EvaluateCondition(const std::string& expression) override;
    // A quoted string (with substitution), a number, or a variable.
    std::string EvaluateValue(const std::string& expression) override;

private:
    std::string Resolve(const std::string& name);
    std::string Substitute(const std::string& text, bool sqlText);
    CVariableResolver& m_resolver;
};
