#include "engine/server/field_rules.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/server/form_field_list.h"
#include "support/number_mask.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "platform/ascii_text.h"

using tessaro::foundation::ParsedDateTime;

namespace {

// Optional sign, digits with at most one point, optional exponent: the number
// forms a user types. Returns the characters used (0 when none form a number).
std::size_t ReadLeadingNumber(const std::string& text, double& value) {
    std::size_t i = 0, n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) ++j, ++expDigits;
        if (expDigits > 0) i = j;
    }
    std::string number = text.substr(0, i);
    errno = 0;
    value = std::strtod(number.c_str(), nullptr);
    if (errno == ERANGE || !std::isfinite(value)) return 0;
    return i;
}

// Without the currency and grouping characters a user may type.
std::string StripNumberDecoration(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '$' && c != ',' && c != '~' && c != '+') out += c;
    return out;
}

// Exactly one number and nothing after it (blanks around it allowed).
bool ReadWholeNumber(const std::string& text, double& value, std::string* digits = nullptr) {
    std::string trimmed = TrimmedCopy(text);
    std::size_t used = ReadLeadingNumber(trimmed, value);
    if (used == 0 || used != trimmed.size()) return false;
    if (digits) *digits = trimmed;
    return true;
}

CWebMessage NumberMessage(const std::string& name, const std::string& value) {
    return CWebMessage("Data entered in the <B>") + FieldDisplayName(name) +
           "</B> field must be a number (you entered '" + value + "').";
}

// The companion's own message, shown as text.
void UseDefaultUnlessGiven(std::string& message, const CWebMessage& fallback) {
    message = message.empty() ? fallback.Html() : CWebMessage::Value(message).Html();
}

// True when value converts to a long without leaving its range.
bool FitsLong(double value) {
    return value >= -9223372036854775808.0 && value < 9223372036854775808.0;
}

// The number in the picture, or as a whole number when the picture cannot hold it;
// false when neither can (the value lies beyond every whole number).
bool Picture(double value, const char* mask, std::string& text) {
    if (FormatNumberMask(value, mask, 50, text)) {
        // '#' places after the point are optional: no trailing zeros, no bare point.
        TrimString(text);
        if (text.find('.') != std::string::npos) {
            while (!text.empty() && text.back() == '0') text.pop_back();
            if (!text.empty() && text.back() == '.') text.pop_back();
        }
        return true;
    }
    if (!FitsLong(value)) return false;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(value));
    text = buffer;
    return true;
}

// A bound as the messages show it; one beyond every whole number in exponent form.
std::string BoundText(double value) {
    std::string text;
    if (Picture(value, "#0.####", text)) return text;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

// "{d 'YYYY-MM-DD'}" and "{t 'HH:MM:SS'}".
std::string OdbcDateLiteral(const ParsedDateTime& date) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{d '%04d-%02d-%02d'}", date.year, date.month, date.day);
    return buffer;
}

std::string OdbcTimeLiteral(const ParsedDateTime& date) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{t '%02d:%02d:%02d'}", date.hour, date.minute, date.second);
    return buffer;
}

}  // namespace

std::string FieldDisplayName(const std::string& name) {
    std::string display = LowerCopy(name);
    if (!display.empty()) display[0] = tessaro::platform::AsciiUpper(display[0]);
    return display;
}

void CFieldRule::Apply(CFormFieldList& form, std::vector<std::string>& problems) {
    std::vector<std::string> targets;
    for (int i = 0; i < form.GetCount(); ++i) {
        // By name only: copying every value for every rule doubled what a large post holds.
        std::string name = UpperCopy(TrimmedCopy(form.NameAt(i)));
        if (name.size() >= m_suffix.size() &&
            name.compare(name.size() - m_suffix.size(), m_suffix.size(), m_suffix) == 0)
            targets.push_back(name.substr(0, name.size() - m_suffix.size()));
    }
    for (const std::string& target : targets) {
        std::string value = form.GetValue(target);
        std::string message = TrimmedCopy(form.GetValue(target + m_suffix));
        if (!Check(target, value, message))
            problems.push_back(message);
        else if (form.FindIndex(target) >= 0)
            form.SetValue(target, value);
    }
}

bool CRequiredRule::Check(const std::string& name, std::string& value, std::string& message) {
    if (!value.empty()) return true;
    UseDefaultUnlessGiven(message,
                          CWebMessage("A value must be entered for the <B>") + FieldDisplayName(name) + "</B> field.");
    return false;
}

bool CIntegerRule::Check(const std::string& name, std::string& value, std::string& message) {
    if (value.empty()) return true;
    double number = 0;
    // Outside a 32-bit long is "not a number" rather than a wrapped value.
    if (!ReadWholeNumber(StripNumberDecoration(value), number) || std::trunc(number) > 2147483647.0 ||
        std::trunc(number) < -2147483648.0) {
        UseDefaultUnlessGiven(message, NumberMessage(name, value));
        return false;
    }
    value = std::to_string(static_cast<long>(std::trunc(number)));
    return true;
}

bool CFloatRule::Check(const std::string& name, std::string& value, std::string& message) {
    if (value.empty()) return true;
    double number = 0;
    std::string digits;
    if (!ReadWholeNumber(StripNumberDecoration(value), number, &digits)) {
        UseDefaultUnlessGiven(message, NumberMessage(name, value));
        return false;
    }
    // The digits as typed. A fixed six places would round silently (0.1234567, or a BIGINT
    // past a double's precision), and "1.000000" is refused by an integer column on a strict
    // database, where the insert tags check every numeric column with this rule.
    value = digits;
    return true;
}

bool CRangeRule::Check(const std::string& name, std::string& value, std::string& message) {
    TrimString(value);
    if (value.empty()) return true;
    std::string numberText = StripNumberDecoration(value);
    std::string rule = UpperCopy(RemoveWhitespace(message));
    if (rule.empty())
        throw new CWebException(
            "No MIN or MAX rule specified for range checked field.",
            CWebMessage("You have\tspecified that the ") + name +
                " field should be range checked however you have not entered a MIN or MAX rule for the field.<P>"
                "You specify a MIN or MAX rule by including the rules in the VALUE attribute of the field with the "
                "_required suffix (e.g. VALUE=\"MIN=5 MAX=25\").");
    bool hasMin = false, hasMax = false;
    double minimum = 0, maximum = 0;
    auto readBound = [&](const char* key, const char* which, bool& has, double& bound) {
        std::size_t at = rule.find(key);
        if (at == std::string::npos) return;
        if (ReadLeadingNumber(rule.substr(at + 4), bound) == 0)
            throw new CWebException(
                CWebMessage("Invalid range rules (no value specified for ") + std::string(which) + ").",
                CWebMessage("The range rules you have specified for the ") + name +
                    " field have an invalid format.<P>The rule string ('" + message + "') contains a " +
                    std::string(which) + "= statement which is not followed by a value.");
        has = true;
    };
    readBound("MIN=", "MIN", hasMin, minimum);
    readBound("MAX=", "MAX", hasMax, maximum);
    if (!hasMin && !hasMax)
        throw new CWebException("Invalid range rules (neither MIN nor MAX specified).",
                                CWebMessage("The range rules you have specified for the ") + name +
                                    " field have an invalid format.<P>The rule string ('" + message +
                                    "') contains neither a MIN = <I>MinimumValue</I> statement nor a MAX = "
                                    "<I>MaximumValue</I> statement.");
    double number = 0;
    if (!ReadWholeNumber(numberText, number)) {
        message = NumberMessage(name, value).Html();
        return false;
    }
    std::string minText = BoundText(minimum);
    std::string maxText = BoundText(maximum);
    const CWebMessage start =
        CWebMessage("The value entered for the <B>") + FieldDisplayName(name) + "</B> field must be ";
    const CWebMessage entry = CWebMessage(" (your entry was ") + value + ").";
    if (hasMin && hasMax) {
        if (number < minimum || number > maximum) {
            message = (start + "between " + minText + " and " + maxText + entry).Html();
            return false;
        }
    } else if (hasMin) {
        if (number < minimum) {
            message = (start + "greater than " + minText + entry).Html();
            return false;
        }
    } else if (number > maximum) {
        message = (start + "less than " + maxText + entry).Html();
        return false;
    }
    // A value too wide for the picture and for a whole number is no number the form can hold.
    std::string valueText;
    if (!Picture(number, "#0.#######", valueText)) {
        message = NumberMessage(name, value).Html();
        return false;
    }
    value = valueText;
    return true;
}

bool CDateTimeRule::Check(const std::string& name, std::string& value, std::string& message) {
    if (value.empty()) return true;
    std::string squeezed = UpperCopy(RemoveWhitespace(value));
    auto endsWith = [&](const char* tail) {
        std::string t(tail);
        return squeezed.size() >= t.size() && squeezed.compare(squeezed.size() - t.size(), t.size(), t) == 0;
    };
    if (squeezed == "CURRENTTIME()" || squeezed == "CURRENTDATE()" || squeezed == "CURRENTDATETIME()") return true;
    if ((squeezed.rfind("{D'", 0) == 0 || squeezed.rfind("{T'", 0) == 0 || squeezed.rfind("{TS'", 0) == 0) &&
        endsWith("'}"))
        return true;
    ParsedDateTime date;
    if (!tessaro::foundation::ParseDateText(value, GetDateOrder(), GetParseParts(), date) &&
        !tessaro::foundation::ParseDateText(Prepare(value), GetDateOrder(), GetParseParts(), date)) {
        message = (CWebMessage("The value entered for the <B>") + FieldDisplayName(name) + "</B> field ('" + value +
                   "') is not correctly formatted.")
                      .Html();
        return false;
    }
    value = Format(date);
    return true;
}

std::string CDateTimeRule::Prepare(const std::string& text) const {
    std::string out(text);
    ReplaceString(out, "rd", "");
    ReplaceString(out, "th", "");
    return out;
}

std::string CDateTimeRule::Format(const ParsedDateTime& date) const {
    return OdbcDateLiteral(date);
}

std::string CTimeRule::Prepare(const std::string& text) const {
    std::string out(text);
    ReplaceString(out, "A.M.", "AM");
    ReplaceString(out, "a.m.", "AM");
    ReplaceString(out, "P.M.", "PM");
    ReplaceString(out, "p.m.", "PM");
    return out;
}

std::string CTimeRule::Format(const ParsedDateTime& date) const {
    return OdbcTimeLiteral(date);
}

std::unique_ptr<CFieldRuleSet> CFieldRuleSet::CreateStandard() {
    auto set = std::make_unique<CFieldRuleSet>();
    set->AddRule(std::make_unique<CRequiredRule>());
    set->AddRule(std::make_unique<CIntegerRule>());
    set->AddRule(std::make_unique<CFloatRule>());
    set->AddRule(std::make_unique<CRangeRule>());
    set->AddRule(std::make_unique<CDateTimeRule>());
    set->AddRule(std::make_unique<CTimeRule>());
    set->AddRule(std::make_unique<CEuroDateRule>());
    return set;
}

void CFieldRuleSet::AddRule(std::unique_ptr<CFieldRule> rule) {
    m_rules.push_back(std::move(rule));
}

CFieldRule* CFieldRuleSet::FindRule(const std::string& name) const {
    for (const auto& rule : m_rules) {
        const std::string& s = rule->GetSuffix();
        if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0) return rule.get();
    }
    return nullptr;
}

bool CFieldRuleSet::WriteErrorPage(CFormFieldList& form, const std::string& textAfterIntro, std::string& listText,
                                   const std::string& textAfterBack, std::string& page) {
    std::vector<std::string> problems;
    for (const auto& rule : m_rules) rule->Apply(form, problems);
    if (problems.empty()) return true;
    listText = "<UL>";
    for (const std::string& problem : problems) listText += "<LI>" + problem + "<P>";
    listText += "</UL>";
    page =
        "<HTML><HEAD><TITLE>Form Entries Incomplete or Invalid</TITLE></HEAD><BODY><HR>"
        "<H3>Form Entries Incomplete or Invalid</H3>One or more problems exist with the data you have entered." +
        textAfterIntro + listText +
        "Use the <I>Back</I> button on your web browser to return to the previous page and correct the listed "
        "problems." +
        textAfterBack + "<P><HR></BODY></HTML>";
    return false;
}
