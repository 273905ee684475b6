// Runs a wizard without a window from a script, one command a line, so whole wizard flows
// run in tests and on machines without a display:
//   start -WIZARD1                 start a wizard as the command line would (-WIZARD2: drill-down)
//   set <control> <text>           an edit or memo of the page on show ("\n" for line breaks)
//   select <list> <entry>          select one entry;  select+ <list> <entry> adds to the selection
//   check <radio>                  check one radio of the page (the others go off)
//   press <button>                 btnNext, btnPrevious, btnFinish, btnCancel, btnAdd, btnAddAll,
//                                  btnRemove, btnRemoveAll, btnBrowse (Add and Remove act on
//                                  the joins and search pages there)
//   answer <text>                  queue an answer: yes, no, cancel or a path
//   properties <field>             open the field-properties dialog on a chosen field
//   prop <name> <value>            Caption, Rule (0-4), Required (Yes/No), RequiredMessage,
//                                  ValidationMessage, Min, Max, ControlType, Content, Property1,
//                                  Property2, VisibleItems
//   option <n> <choice>|<value>|<Yes/No>
//   done                           save and close the dialog
//   expect-page <n>, expect-message <text>, expect-ended
//   screenshot <file>              draw the page on show, or the properties dialog while it is
//                                  open, into a PNG (needs the window view)
// Every message shown is recorded; a failed expectation or an unknown command stops the run,
// and a control the page does not have is answered with the names it has (page_controls.h).
// docs/wizards.md lists the controls of every page, with a complete script per wizard.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wizards/catalog_client.h"
#include "wizards/dialogs.h"
#include "wizards/field_properties_form.h"
#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

class HeadlessDriver {
public:
    HeadlessDriver(CatalogClient& catalog, std::string templatesDir);
    ~HeadlessDriver();

    // Runs one command; false with Error() set when it failed.
    bool Run(const std::string& line);
    // Runs every line (blank lines and lines starting with ';' are skipped) until one fails.
    bool RunScript(const std::string& text);

    const std::string& Error() const { return error_; }
    const std::vector<std::string>& Messages() const { return dialogs_.Shown(); }
    TWizardManager* Wizard() { return wizard_.get(); }
    // The chooser is on show (no wizard runs).
    bool ChooserVisible() const { return chooserVisible_; }

    // What a screenshot draws: the page on show, or the field-properties dialog with the
    // values it holds while it is open (dialog is null otherwise).
    struct Snapshot {
        TWizardManager& wizard;
        const FieldPropertiesForm* dialog;
        const std::string& field;
        const std::string& file;
    };
    // Draws a snapshot into its picture file; set by a program that has windows.
    using PageSnapshot = std::function<bool(const Snapshot& snapshot)>;
    void SetSnapshot(PageSnapshot snapshot) { snapshot_ = std::move(snapshot); }

    // Starts wizard n (0 data entry, 1 drill-down); any other number says it is not available.
    bool StartWizard(int n);

private:
    bool Fail(std::string text);
    bool Press(const std::string& button);
    bool SetProperty(const std::string& name, const std::string& value);

    CatalogClient& catalog_;
    std::string templatesDir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<TWizardManager> wizard_;
    std::optional<FieldPropertiesForm> form_;
    std::string formField_;
    PageSnapshot snapshot_;
    bool chooserVisible_ = false;
    std::string error_;
};

}  // namespace tessaro::wizards
