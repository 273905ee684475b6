#include "wizards/page_buttons.h"

#include "wizards/data_entry_wizard.h"
#include "wizards/drill_down_wizard.h"

namespace tessaro::wizards {

bool IsMoveButton(const std::string& button) {
    return button == "btnAdd" || button == "btnAddAll" || button == "btnRemove" || button == "btnRemoveAll";
}

PressResult PressPageButton(TWizardManager& wizard, const std::string& button) {
    int i = wizard.CurrentPage();
    if (wizard.Ended() || i < 0) return PressResult::NoSuchButton;
    WizardPage& page = wizard.Page(i);
    auto act = [&](WizardButton b, auto action) {
        if (!page.Buttons[b]) return PressResult::Disabled;
        action();
        return PressResult::Pressed;
    };
    if (button == "btnNext") return act(kNextButton, [&] { wizard.Next(i); });
    if (button == "btnPrevious") return act(kBackButton, [&] { wizard.Back(i); });
    if (button == "btnCancel") return act(kCancelButton, [&] { wizard.Cancel(i, true); });
    if (button == "btnFinish") return act(kFinishButton, [&] { wizard.FinishButton(i); });
    auto* drill = dynamic_cast<TDrillDownWizManager*>(&wizard);
    auto* entry = dynamic_cast<TDataEntryWizManager*>(&wizard);
    if (button == "btnBrowse") {
        drill ? drill->Browse() : entry->Browse();
        return PressResult::Pressed;
    }
    if (drill && page.Form == "TfrmPage15" && (button == "btnAdd" || button == "btnRemove")) {
        button == "btnAdd" ? drill->AddJoinPressed() : drill->RemoveJoinPressed();
        return PressResult::Pressed;
    }
    if (drill && page.Form == "TfrmPage16" && (button == "btnAdd" || button == "btnRemove")) {
        button == "btnAdd" ? drill->AddSearchFieldPressed() : drill->RemoveSearchFieldPressed();
        return PressResult::Pressed;
    }
    if (IsMoveButton(button) && page.Lists.count("lstFields")) {
        const bool add = button == "btnAdd" || button == "btnAddAll";
        MoveListEntries(page, add ? "lstFields" : "lstSelectedFields", add ? "lstSelectedFields" : "lstFields",
                        button == "btnAddAll" || button == "btnRemoveAll");
        return PressResult::Pressed;
    }
    return PressResult::NoSuchButton;
}

}  // namespace tessaro::wizards
