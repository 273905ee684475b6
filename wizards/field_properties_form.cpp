#include "wizards/field_properties_form.h"
#include "platform/ascii_text.h"

#include <cctype>

namespace tessaro::wizards {

namespace {
const char* const kRules[] = {"(none)", "Integer", "Float", "Date", "Range"};
}

FieldTypeControls ControlsForType(const std::string& type) {
    FieldTypeControls c;
    const bool text = type == "TextBox" || type == "TextArea";
    c.content = text || type == "Hidden Field";
    c.properties = text;
    c.visibleItems = type == "Single-Select" || type == "Multi-Select";
    c.options = !c.content;
    if (type == "TextBox") {
        c.contentLabel = "Default Content:";
        c.property1Label = "TextBox Size:";
        c.property2Label = "Maximum Length:";
    } else if (type == "TextArea") {
        c.contentLabel = "Default Content:";
        c.property1Label = "Width:";
        c.property2Label = "Height:";
    } else if (type == "Hidden Field") {
        c.contentLabel = "Field Value:";
    }
    return c;
}

FieldPropertiesForm LoadFieldProperties(const TFormFieldProperties& p) {
    FieldPropertiesForm f;
    f.Caption = p.Caption;
    for (int i = 0; i < 5; ++i)
        if (p.ValidationRule == kRules[i]) f.RuleIndex = i;
    f.ValidationMessage = p.ValidationMessage;
    f.RequiredMessage = p.RequiredMessage;
    f.Required = p.Required;
    f.Min = p.RangeMin;
    f.Max = p.RangeMax;
    f.ControlType = p.ControlType;
    f.Content = p.Content;
    f.Property1 = p.Property1;
    f.Property2 = p.Property2;
    f.VisibleItems = std::to_string(p.VisibleItems);
    f.Options = p.Options;
    return f;
}

void SaveFieldProperties(const FieldPropertiesForm& f, TFormFieldProperties& p, Dialogs& dialogs) {
    p.Caption = f.Caption;
    p.ValidationMessage = f.ValidationMessage;
    p.RequiredMessage = f.RequiredMessage;
    p.Required = f.Required;
    p.RangeMin = DigitsOnly(f.Min);
    p.RangeMax = DigitsOnly(f.Max);
    p.Content = f.Content;
    p.ControlType = f.ControlType;
    p.Property1 = f.Property1.empty() ? "50" : DigitsOnly(f.Property1);
    p.Property2 = f.Property2.empty() && f.ControlType == "TextArea" ? "10" : DigitsOnly(f.Property2);
    std::string visible = DigitsOnly(f.VisibleItems);
    p.VisibleItems = visible.empty() ? 10 : std::stoi(visible.substr(0, 6));
    p.ValidationRule = kRules[f.RuleIndex >= 0 && f.RuleIndex < 5 ? f.RuleIndex : 0];
    if (p.ValidationRule == "Range" && (p.RangeMin.empty() || p.RangeMax.empty())) {
        dialogs.Information(
            "The limits for the Range validation rule are invalid. The validation rule was set to (none).");
        p.ValidationRule = "(none)";
    }
    const bool single =
        f.ControlType == "Drop-Down" || f.ControlType == "Single-Select" || f.ControlType == "Radio Buttons";
    bool yesSeen = false;
    std::size_t n = 0;
    for (; n < kFieldOptionCount && !f.Options[n].Choice.empty(); ++n) {
        bool yes = f.Options[n].Selected == "Yes" && !(single && yesSeen);
        yesSeen = yesSeen || yes;
        p.Options[n] = {f.Options[n].Choice, f.Options[n].Value, yes ? "Yes" : "No"};
    }
    for (; n < kFieldOptionCount; ++n) p.Options[n].Choice.clear();
}

std::string DigitsOnly(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits += c;
    return digits;
}

std::string SelectedCellAfterKey(const std::string& cell, char key) {
    if (key == 0 || key == 8) return cell;
    char upper = tessaro::platform::AsciiUpper(key);
    return upper == 'Y' || upper == 'E' || upper == 'S' ? "Yes" : "No";
}

std::string DefaultRuleMessage(int ruleIndex, const std::string& caption) {
    static const char* const kEnds[] = {"", ") must be an integer.", ") must be a floating point number.",
                                        ") must be a valid date.", ") must be a within a range."};
    if (ruleIndex < 1 || ruleIndex > 4) return "";
    return "The value in the field (" + caption + kEnds[ruleIndex];
}

std::string DefaultRequiredMessage(const std::string& caption) {
    return "You cannot leave the field (" + caption + ") empty.";
}

}  // namespace tessaro::wizards
