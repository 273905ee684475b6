// Server-side checks that a form asks for with hidden companion fields such as
// AGE_INTEGER or START_DATE. Values that pass are rewritten in the form in a
// canonical shape; failures are collected into one problem page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foundation/date_text_parser.h"

class CFormFieldList;

// "AGE" -> "Age": how a field is named in messages.
std::string FieldDisplayName(const std::string& name);

class CFieldRule {
public:
    explicit CFieldRule(std::string suffix) : m_suffix(std::move(suffix)) {}
    virtual ~CFieldRule() = default;

    const std::string& GetSuffix() const { return m_suffix; }
    // value may be rewritten; message holds the companion field's text on entry
    // and the problem (HTML) on failure. Throws CWebException* for a rule the
    // form's author wrote wrongly.
    virtual bool Check(const std::string& name, std::string& value, std::string& message) = 0;
    // Runs over every field that has this rule's companion.
    void Apply(CFormFieldList& form, std::vector<std::string>& problems);

private:
    std::string m_suffix;
};

class CRequiredRule : public CFieldRule {
public:
    CRequiredRule() : CFieldRule("_REQUIRED") {}
    bool Check(const std::string& name, std::string& value, std::string& message) override;
};

class CIntegerRule : public CFieldRule {
public:
    CIntegerRule() : CFieldRule("_INTEGER") {}
    bool Check(const std::string& name, std::string& value, std::string& message) override;
};

class CFloatRule : public CFieldRule {
public:
    CFloatRule() : CFieldRule("_FLOAT") {}
    bool Check(const std::string& name, std::string& value, std::string& message) override;
};

class CRangeRule : public CFieldRule {
public:
    CRangeRule() : CFieldRule("_RANGE") {}
    bool Check(const std::string& name, std::string& value, std::string& message) override;
};

class CDateTimeRule : public CFieldRule {
public:
    CDateTimeRule() : CFieldRule("_DATE") {}
    bool Check(const std::string& name, std::string& value, std::string& message) override;

    // The second try at a text the parser refused.
    virtual std::string Prepare(const std::string& text) const;
    virtual tessaro::foundation::DateTextParts GetParseParts() const {
        return tessaro::foundation::DateTextParts::DateOnly;
    }
    virtual tessaro::foundation::DateOrder GetDateOrder() const { return tessaro::foundation::DateOrder::MonthDayYear; }
    virtual std::string Format(const tessaro::foundation::ParsedDateTime& date) const;

protected:
    explicit CDateTimeRule(std::string suffix) : CFieldRule(std::move(suffix)) {}
};

class CTimeRule : public CDateTimeRule {
public:
    CTimeRule() : CDateTimeRule("_TIME") {}
    std::string Prepare(const std::string& text) const override;
    tessaro::foundation::DateTextParts GetParseParts() const override {
        return tessaro::foundation::DateTextParts::TimeOnly;
    }
    std::string Format(const tessaro::foundation::ParsedDateTime& date) const override;
};

class CEuroDateRule : public CDateTimeRule {
public:
    CEuroDateRule() : CDateTimeRule("_EURODATE") {}
    tessaro::foundation::DateOrder GetDateOrder() const override {
        return tessaro::foundation::DateOrder::DayMonthYear;
    }
};

class CFieldRuleSet {
public:
    CFieldRuleSet() = default;
    virtual ~CFieldRuleSet() = default;
    CFieldRuleSet(const CFieldRuleSet&) = delete;
    CFieldRuleSet& operator=(const CFieldRuleSet&) = delete;

    // The seven rules in their running order.
    static std::unique_ptr<CFieldRuleSet> CreateStandard();

    void AddRule(std::unique_ptr<CFieldRule> rule);
    // The first rule whose suffix ends name (case-sensitive); null when none.
    CFieldRule* FindRule(const std::string& name) const;
    // True when every rule passed (the form then holds the rewritten values);
    // otherwise page is the problem page and listText its list of problems.
    bool WriteErrorPage(CFormFieldList& form, const std::string& textAfterIntro, std::string& listText,
                        const std::string& textAfterBack, std::string& page);

private:
    std::vector<std::unique_ptr<CFieldRule>> m_rules;
};
