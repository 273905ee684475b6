// The field-properties dialog as data: the values on its controls, loaded from a field's
// properties and saved back with the dialog's rules (default sizes, one "Yes" for
// single-choice controls, a Range rule needs both limits).
#pragma once

#include <array>
#include <string>

#include "wizards/dialogs.h"
#include "wizards/wizard_data.h"

namespace tessaro::wizards {

struct FieldPropertiesForm {
    std::string Caption;
    int RuleIndex = 0;  // "(none)", "Integer", "Float", "Date", "Range"
    std::string ValidationMessage;
    std::string RequiredMessage;
    bool Required = false;
    std::string Min, Max;
    std::string ControlType = "TextBox";
    std::string Content, Property1, Property2, VisibleItems;
    std::array<FieldOptions, kFieldOptionCount> Options;  // the options grid, rows 1..100
};

// What the dialog offers for a control type: which value controls show and their captions.
struct FieldTypeControls {
    bool content = false;       // txtContent
    bool properties = false;    // txtProperty1, txtProperty2 with their "(characters)"
    bool visibleItems = false;  // txtNumVisibleItems
    bool options = false;       // the options grid
    std::string contentLabel, property1Label, property2Label;
};
FieldTypeControls ControlsForType(const std::string& controlType);

// The control types in the order of the dialog's radios, with the radios' names and captions.
struct FieldControlType {
    const char* type;
    const char* radio;
    const char* caption;
};
inline constexpr FieldControlType kFieldControlTypes[] = {
    {"TextBox", "radioTextBox", "TextBox"},
    {"Drop-Down", "radioDropDown", "Drop-Down Listbox"},
    {"Single-Select", "radioSingleSelect", "Single SelectBox"},
    {"Multi-Select", "radioMultipleSelect", "Multiple SelectBox"},
    {"TextArea", "radioTextArea", "TextArea (Memo)"},
    {"Radio Buttons", "radioRadioButtons", "Radio Buttons"},
    {"Checkboxes", "radioCheckBoxes", "CheckBoxes"},
    {"Hidden Field", "radioHidden", "Hidden Field"},
};

FieldPropertiesForm LoadFieldProperties(const TFormFieldProperties& p);
void SaveFieldProperties(const FieldPropertiesForm& form, TFormFieldProperties& p, Dialogs& dialogs);

// What the number edits keep of typed text: the digits.
std::string DigitsOnly(const std::string& text);
// A key typed in the "Selected?" column: Y, E or S (either case) give "Yes", other characters
// "No"; nothing (0) or backspace (8) leaves the cell.
std::string SelectedCellAfterKey(const std::string& cell, char key);
// The message offered when a rule or the required box is switched on with an empty message.
std::string DefaultRuleMessage(int ruleIndex, const std::string& caption);
std::string DefaultRequiredMessage(const std::string& caption);

}  // namespace tessaro::wizards
