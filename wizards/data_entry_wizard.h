// The data-entry wizard: title, output folder, data source, one table, the fields to fill
// in with their form settings, the page's look and what follows a submission; it writes
// EntryForm.TSM and DataEntry.TSM with their pictures.
#pragma once

#include <string>

#include "wizards/application_generation.h"
#include "wizards/catalog_client.h"
#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

class TDataEntryWizManager : public TWizardManager {
public:
    // Page numbers, in order.
    enum {
        kTitlePage,
        kDirectoryPage,
        kDataSourcePage,
        kTablePage,
        kFieldsPage,
        kPropertiesPage,
        kLookPage,
        kNextPagePage,
        kCompletionPage
    };

    TDataEntryWizManager(Dialogs& dialogs, CatalogClient& catalog, std::string templatesDir);

    DataEntryModel& Model() { return model_; }
    // The folder chooser of the directory page.
    void Browse();

protected:
    void CreatePages() override;
    void InitPage(WizardPage& page) override;
    bool Validate(WizardPage& page, std::string& message) override;
    void TransferPage(int from, int& to) override;
    WizardFinish Finishing() override;

private:
    void FillTables();
    void FillFields();
    void FillPropertiesGrid();

    CatalogClient& catalog_;
    std::string templatesDir_;
    DataEntryModel model_;
    TCodeGenerator generator_;
};

// Moves the selected entries (or all) of one list of a page to the other, as the field
// selection pages do, and selects the entry now at the lowest removed position.
void MoveListEntries(WizardPage& page, const std::string& from, const std::string& to, bool all);

// Takes the selected list of a field page as the chosen fields: entries already chosen keep
// their record, new ones come from `all`.
void TakeFieldSelection(const std::vector<std::string>& keys, const TDBTableFieldsList& all,
                        TDBTableFieldsList& chosen);

// A field-page check: at least one field, no blank in a name (the last such is named).
bool CheckFieldSelection(const std::vector<std::string>& keys, std::string& message);

// "Range [min-max]" as the properties grid shows a rule.
std::string RuleText(const TFormFieldProperties& p);

// The properties grid of a page ("grdFieldProperties"): the header row, then one row per
// field with its properties (made with defaults when missing), cells separated by tabs.
void FillFieldPropertiesGrid(WizardPage& page, const TDBTableFieldsList& fields, TFieldPropertiesList& properties);

}  // namespace tessaro::wizards
