// The drill-down wizard: title, folder, data source, the tables involved and their joins,
// search fields with their conditions and form settings, result columns, detail columns
// and the unique identifier; it writes Search.TSM, Results.TSM and Detail.TSM.
#pragma once

#include <string>

#include "wizards/application_generation.h"
#include "wizards/catalog_client.h"
#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

class TDrillDownWizManager : public TWizardManager {
public:
    enum {
        kWelcomePage,
        kTitlePage,
        kDirectoryPage,
        kDataSourcePage,
        kTablesPage,
        kJoinsPage,
        kSearchPage,
        kSearchPropertiesPage,
        kResultPage,
        kColumnsPage,
        kDetailPage,
        kIdentifierPage,
        kCompletionPage
    };

    TDrillDownWizManager(Dialogs& dialogs, CatalogClient& catalog, std::string templatesDir);

    DrillDownModel& Model() { return model_; }
    void Browse();
    // The joins page's and the search page's Add and Remove buttons.
    void AddJoinPressed();
    void RemoveJoinPressed();
    void AddSearchFieldPressed();
    void RemoveSearchFieldPressed();

protected:
    void CreatePages() override;
    void InitPage(WizardPage& page) override;
    bool Validate(WizardPage& page, std::string& message) override;
    void TransferPage(int from, int& to) override;
    WizardFinish Finishing() override;

private:
    std::vector<std::string> ColumnKeys() const;
    const TDBTableField* Column(const std::string& key) const;
    void FillTables();
    void FillJoins();
    void FillSearch();
    void FillSelection(int page, const TDBTableFieldsList& chosen);
    void FillColumns();
    void FillIdentifier();
    void TakeTables();
    void DropFieldsOfOtherTables(TDBTableFieldsList& fields);

    CatalogClient& catalog_;
    std::string templatesDir_;
    DrillDownModel model_;
    TCodeGenerator generator_;
};

}  // namespace tessaro::wizards
