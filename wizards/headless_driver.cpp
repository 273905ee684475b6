#include "wizards/headless_driver.h"

#include <sstream>

#include "wizards/data_entry_wizard.h"
#include "wizards/drill_down_wizard.h"
#include "wizards/page_buttons.h"
#include "wizards/page_controls.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {

std::pair<std::string, std::string> Split(const std::string& text) {
    std::size_t space = text.find(' ');
    if (space == std::string::npos) return {text, ""};
    return {text.substr(0, space), text.substr(space + 1)};
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

HeadlessDriver::HeadlessDriver(CatalogClient& catalog, std::string templatesDir)
    : catalog_(catalog), templatesDir_(std::move(templatesDir)) {}

HeadlessDriver::~HeadlessDriver() = default;

bool HeadlessDriver::Fail(std::string text) {
    error_ = std::move(text);
    return false;
}

bool HeadlessDriver::StartWizard(int n) {
    wizard_ = CreateWizard(n, dialogs_, catalog_, templatesDir_);
    if (!wizard_) {
        dialogs_.Error(kNotAvailable);
        chooserVisible_ = true;
        return false;
    }
    wizard_->Start();
    wizard_->Next(-1);
    chooserVisible_ = false;
    return true;
}

bool HeadlessDriver::RunScript(const std::string& text) {
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (!Run(line)) return Fail("line " + std::to_string(number) + ": " + error_);
    }
    return true;
}

bool HeadlessDriver::Run(const std::string& line) {
    auto [command, rest] = Split(line);
    if (command == "start") {
        // Only the exact spellings start a wizard; anything else shows the chooser.
        if (rest == "-WIZARD1")
            StartWizard(0);
        else if (rest == "-WIZARD2")
            StartWizard(1);
        else if (rest == "-WIZARD3")
            StartWizard(2);
        else
            chooserVisible_ = true;
        return true;
    }
    if (command == "answer") {
        dialogs_.QueueAnswer(rest);
        return true;
    }
    if (command == "expect-message") {
        if (dialogs_.LastShown() != rest)
            return Fail("expected message \"" + rest + "\", last was \"" + dialogs_.LastShown() + "\"");
        return true;
    }
    if (!wizard_) return Fail("no wizard runs");
    if (command == "expect-ended") return wizard_->Ended() ? true : Fail("the wizard still runs");
    if (command == "expect-page") {
        if (std::to_string(wizard_->CurrentPage()) != rest)
            return Fail("expected page " + rest + ", on page " + std::to_string(wizard_->CurrentPage()));
        return true;
    }
    if (command == "press") return Press(rest);
    if (command == "properties") {
        FormFieldsRef form = FormFieldsOf(*wizard_);
        if (form.fields->IndexOf(rest) < 0) return Fail("no chosen field " + rest);
        TFieldPropertiesList& list = *form.properties;
        form_ = LoadFieldProperties(list.Properties(FindOrCreateProperties(rest, list)));
        formField_ = rest;
        return true;
    }
    if (command == "prop") {
        auto [name, value] = Split(rest);
        return SetProperty(name, value);
    }
    if (command == "option") {
        if (!form_) return Fail("the properties dialog is not open");
        auto [number, text] = Split(rest);
        std::size_t bar1 = text.find('|'), bar2 = text.find('|', bar1 == std::string::npos ? bar1 : bar1 + 1);
        int n = std::atoi(number.c_str());
        if (n < 1 || n > static_cast<int>(kFieldOptionCount) || bar2 == std::string::npos)
            return Fail("bad option " + rest);
        form_->Options[static_cast<std::size_t>(n - 1)] = {text.substr(0, bar1), text.substr(bar1 + 1, bar2 - bar1 - 1),
                                                           text.substr(bar2 + 1)};
        return true;
    }
    if (command == "done") {
        if (!form_) return Fail("the properties dialog is not open");
        FormFieldsRef form = FormFieldsOf(*wizard_);
        SaveFieldProperties(*form_, form.properties->Properties(FindOrCreateProperties(formField_, *form.properties)),
                            dialogs_);
        form_.reset();
        // The grid is filled again when the dialog closes, as it is in a window.
        int page = wizard_->CurrentPage();
        if (!wizard_->Ended() && page >= 0 && wizard_->Page(page).Lists.count("grdFieldProperties"))
            FillFieldPropertiesGrid(wizard_->Page(page), *form.fields, *form.properties);
        return true;
    }
    if (command == "screenshot") {
        if (!snapshot_) return Fail("tswizards draws pages only when built with windows");
        if (wizard_->Ended() || wizard_->CurrentPage() < 0) return Fail("the wizard has ended");
        Snapshot snapshot{*wizard_, form_ ? &*form_ : nullptr, formField_, rest};
        return snapshot_(snapshot) ? true : Fail("cannot draw into " + rest);
    }
    if (wizard_->Ended()) return Fail("the wizard has ended");
    WizardPage& page = wizard_->Page(wizard_->CurrentPage());
    const PageControls& controls = ControlsOf(page.Form);
    if (command == "set") {
        auto [control, text] = Split(rest);
        if (!IsTextControl(controls, control)) {
            std::vector<std::string> names = controls.texts;
            names.insert(names.end(), controls.textPrefixes.begin(), controls.textPrefixes.end());
            return Fail("page " + std::to_string(wizard_->CurrentPage()) + " has no edit " + control +
                        "; its edits: " + NameList(names));
        }
        page.Texts[control] = Unescape(text);
        return true;
    }
    if (command == "select" || command == "select+") {
        auto [list, entry] = Split(rest);
        bool known = page.Lists.count(list) != 0;
        for (const std::string& name : controls.lists) known = known || name == list;
        if (!known)
            return Fail("page " + std::to_string(wizard_->CurrentPage()) + " has no list " + list +
                        "; its lists: " + NameList(controls.lists));
        std::vector<std::size_t> keep = command == "select+" ? page.Selections[list] : std::vector<std::size_t>{};
        if (!page.Select(list, entry)) {
            std::string entries;
            for (const std::string& e : page.Lists[list]) entries += (entries.empty() ? "" : ", ") + e;
            return Fail("no entry \"" + entry + "\" in " + list + "; its entries: " +
                        (entries.empty() ? std::string("none") : entries));
        }
        keep.push_back(page.Selections[list].front());
        page.Selections[list] = keep;
        return true;
    }
    if (command == "check") {
        if (!page.Checks.count(rest)) {
            std::vector<std::string> radios;
            for (const auto& [name, on] : page.Checks) radios.push_back(name);
            return Fail("page " + std::to_string(wizard_->CurrentPage()) + " has no radio " + rest +
                        "; its radios: " + NameList(radios));
        }
        for (auto& [name, on] : page.Checks) on = name == rest;
        return true;
    }
    return Fail("unknown command " + command);
}

bool HeadlessDriver::Press(const std::string& button) {
    if (wizard_->Ended() || wizard_->CurrentPage() < 0) return Fail("the wizard has ended");
    switch (PressPageButton(*wizard_, button)) {
        case PressResult::Pressed:
            return true;
        case PressResult::Disabled:
            return Fail(button + " is disabled");
        case PressResult::NoSuchButton:
            break;
    }
    if (IsMoveButton(button)) return Fail("no field lists on this page");
    std::vector<std::string> buttons = PageButtons();
    const PageControls& controls = ControlsOf(wizard_->Page(wizard_->CurrentPage()).Form);
    buttons.insert(buttons.end(), controls.buttons.begin(), controls.buttons.end());
    return Fail("unknown button " + button + "; the buttons of page " + std::to_string(wizard_->CurrentPage()) +
                ": " + NameList(buttons));
}

bool HeadlessDriver::SetProperty(const std::string& name, const std::string& value) {
    if (!form_) return Fail("the properties dialog is not open");
    FieldPropertiesForm& f = *form_;
    if (name == "Caption")
        f.Caption = value;
    else if (name == "Rule") {
        f.RuleIndex = std::atoi(value.c_str());
        if (f.ValidationMessage.empty()) f.ValidationMessage = DefaultRuleMessage(f.RuleIndex, f.Caption);
    } else if (name == "Required") {
        f.Required = value == "Yes";
        if (f.Required && f.RequiredMessage.empty()) f.RequiredMessage = DefaultRequiredMessage(f.Caption);
    } else if (name == "RequiredMessage")
        f.RequiredMessage = value;
    else if (name == "ValidationMessage")
        f.ValidationMessage = value;
    else if (name == "Min")
        f.Min = DigitsOnly(value);
    else if (name == "Max")
        f.Max = DigitsOnly(value);
    else if (name == "ControlType")
        f.ControlType = value;
    else if (name == "Content")
        f.Content = value;
    else if (name == "Property1")
        f.Property1 = DigitsOnly(value);
    else if (name == "Property2")
        f.Property2 = DigitsOnly(value);
    else if (name == "VisibleItems")
        f.VisibleItems = DigitsOnly(value);
    else
        return Fail("unknown property " + name);
    return true;
}

}  // namespace tessaro::wizards
