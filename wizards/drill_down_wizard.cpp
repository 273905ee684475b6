#include "wizards/drill_down_wizard.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/path_util.h"
#include "wizards/data_entry_wizard.h"
#include "wizards/drill_down_rules.h"
#include "wizards/field_defaults.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {

bool Has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

TDrillDownWizManager::TDrillDownWizManager(Dialogs& dialogs, CatalogClient& catalog, std::string templatesDir)
    : TWizardManager(dialogs), catalog_(catalog), templatesDir_(std::move(templatesDir)) {}

void TDrillDownWizManager::CreatePages() {
    wizardTitle_ = "Data Drill-Down Wizard";
    AddPage("TfrmPage11",
            "Welcome to the Data Drill-Down Wizard: it builds a Search page, a Result page and a Detail page.");
    AddPage("TfrmPage12", "Enter the name of your application");
    AddPage("TfrmPage9B", "Select the directory where the application files will be created");
    AddPage("TfrmPage13", "Select ODBC Datasource Page");
    AddPage("TfrmPage14", "Select the tables involved");
    AddPage("TfrmPage15", "Table Relationships");
    AddPage("TfrmPage16", "Select the search fields and their matching conditions");
    AddPage("TfrmPage17", "Specify Field Properties");
    AddPage("TfrmPage22", "Select the columns of the Result page");
    AddPage("TfrmPage19", "Specify the headers and widths of the result columns");
    AddPage("TfrmPage20", "Select the fields of the Detail page");
    AddPage("TfrmPage21", "Select the Unique Identifier");
    AddPage("TfrmPage8", "Application Completed");
}

void TDrillDownWizManager::InitPage(WizardPage& page) {
    switch (page.PageIndex) {
        case kWelcomePage:
            page.SetButtons(true, false, false, true);
            break;
        case kTitlePage:
            page.Texts["txtApplicationName"] = "My Application";
            page.SetButtons(true, true, false, true);
            break;
        case kDirectoryPage:
            page.Texts["lblDirPath"] = InitialOutputDirectory(catalog_);
            page.SetButtons(true, true, false, true);
            break;
        case kSearchPage: {
            std::vector<std::string> texts;
            for (const TMatchingCondition& c : MatchingConditions()) texts.push_back(c.DisplayText);
            page.Lists["comboConditions"] = texts;
            page.Selections["comboConditions"] = {0};
            break;  // all buttons stay enabled
        }
        case kIdentifierPage:
            break;
        case kCompletionPage:
            page.IsFinalPage = true;
            page.SetButtons(true, true, true, false);
            break;
        default:
            page.SetButtons(true, true, false, true);
    }
}

void TDrillDownWizManager::Browse() {
    WizardPage& page = Page(kDirectoryPage);
    std::optional<std::string> chosen = GetDialogs().ChooseFolder(page.Texts["lblDirPath"]);
    if (chosen) page.Texts["lblDirPath"] = *chosen;
}

std::vector<std::string> TDrillDownWizManager::ColumnKeys() const {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < model_.AllFields.Count(); ++i)
        if (Has(model_.Tables, model_.AllFields.Fields(i).TableName)) keys.push_back(model_.AllFields.Key(i));
    return keys;
}

const TDBTableField* TDrillDownWizManager::Column(const std::string& key) const {
    long i = model_.AllFields.IndexOf(key);
    return i < 0 ? nullptr : &model_.AllFields.Fields(static_cast<std::size_t>(i));
}

bool TDrillDownWizManager::Validate(WizardPage& page, std::string& message) {
    message.clear();
    switch (page.PageIndex) {
        case kTitlePage:
            if (page.Texts["txtApplicationName"].empty())
                message = "You need to enter a valid name for your application.";
            break;
        case kDataSourcePage:
            if (page.Selected("lstDatasources").empty())
                message = "You need to select a valid ODBC Data Source in order to proceed.";
            break;
        case kTablesPage: {
            const std::vector<std::string>& tables = page.Lists["lstSelectedFields"];
            if (tables.empty()) message = "You need to select at least a single table in order to proceed.";
            for (std::size_t n = tables.size(); message.empty() && n-- > 0;)
                if (ContainsSpace(tables[n]))
                    message = "The wizard does not support table names containing spaces. Please de-select [" +
                              tables[n] + "] or modify its name before proceeding.";
            break;
        }
        case kSearchPage:
            if (model_.SearchFields.Empty())
                message = "You need to select at least a single field in order to proceed.";
            break;
        case kResultPage:
        case kDetailPage:
            CheckFieldSelection(page.Lists["lstSelectedFields"], message);
            break;
        case kIdentifierPage: {
            std::string id = page.Selected("comboFields");
            if (id.empty())
                message = "You need to select the Unique Identifier in order to proceed.";
            else if (ContainsSpace(id))
                message =
                    "The wizard does not support field names containing spaces. Please select a different field or "
                    "modify the name of the field before proceding.";
            break;
        }
        default:
            break;
    }
    return message.empty();
}

void TDrillDownWizManager::FillTables() {
    std::vector<std::string> answer;
    catalog_.RequestTablesForDataSource(model_.DataSource, answer);
    if (answer.empty()) GetDialogs().Information("There are no tables in the ODBC Data Source you selected.");
    WizardPage& page = Page(kTablesPage);
    std::vector<std::string> chosen, available;
    for (const std::string& table : answer) (Has(model_.Tables, table) ? chosen : available).push_back(table);
    model_.Tables = chosen;
    page.Lists["lstSelectedFields"] = chosen;
    page.Lists["lstFields"] = available;
    page.Selections["lstSelectedFields"] = chosen.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{0};
    page.Selections["lstFields"] = available.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{0};
}

void TDrillDownWizManager::DropFieldsOfOtherTables(TDBTableFieldsList& fields) {
    for (std::size_t n = fields.Count(); n-- > 0;)
        if (!Has(model_.Tables, fields.Fields(n).TableName)) fields.Delete(n);
}

void TDrillDownWizManager::TakeTables() {
    model_.Tables = Page(kTablesPage).Lists["lstSelectedFields"];
    catalog_.RefreshTableFields(model_.Tables, model_.AllFields, model_.DataSource);
    for (std::size_t n = model_.Joins.Count(); n-- > 0;)
        if (!Has(model_.Tables, model_.Joins.Joins(n).Table1) || !Has(model_.Tables, model_.Joins.Joins(n).Table2))
            model_.Joins.Delete(n);
    DropFieldsOfOtherTables(model_.SearchFields);
    DropFieldsOfOtherTables(model_.ResultFields);
    DropFieldsOfOtherTables(model_.DetailFields);
    if (!Has(model_.Tables, model_.UniqueId.TableName)) model_.UniqueId = {};
}

void TDrillDownWizManager::FillJoins() {
    WizardPage& page = Page(kJoinsPage);
    std::vector<std::string> keys = ColumnKeys();
    page.Fill("comboFields1", keys);
    page.Fill("comboFields2", keys);
    if (model_.Joins.Empty()) {
        TDBTableFieldsList columns;
        for (const std::string& key : keys) columns.Add(key, *Column(key));
        GuessJoins(columns, model_.Joins);
    }
    std::vector<std::string> joins;
    for (std::size_t i = 0; i < model_.Joins.Count(); ++i) joins.push_back(model_.Joins.Key(i));
    page.Lists["lstJoins"] = joins;
    page.Selections["lstJoins"].clear();
}

void TDrillDownWizManager::AddJoinPressed() {
    WizardPage& page = Page(kJoinsPage);
    const TDBTableField* a = Column(page.Selected("comboFields1"));
    const TDBTableField* b = Column(page.Selected("comboFields2"));
    std::string message;
    if (!a || !b) return;
    if (!AddJoin(*a, *b, model_.Joins, message)) {
        GetDialogs().Information(message);
        return;
    }
    page.Lists["lstJoins"].push_back(model_.Joins.Key(model_.Joins.Count() - 1));
}

void TDrillDownWizManager::RemoveJoinPressed() {
    WizardPage& page = Page(kJoinsPage);
    std::string selected = page.Selected("lstJoins");
    long i = model_.Joins.IndexOf(selected);
    if (i < 0) return;
    model_.Joins.Delete(static_cast<std::size_t>(i));
    auto& list = page.Lists["lstJoins"];
    list.erase(std::find(list.begin(), list.end(), selected));
    page.Selections["lstJoins"] = list.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{list.size() - 1};
}

void TDrillDownWizManager::FillSearch() {
    WizardPage& page = Page(kSearchPage);
    page.Fill("comboFields", ColumnKeys());
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < model_.SearchFields.Count(); ++i)
        shown.push_back(model_.SearchFields.Key(i) + " (" + model_.SearchFields.Fields(i).Setting + ")");
    page.Lists["lstSearchFields"] = shown;
}

void TDrillDownWizManager::AddSearchFieldPressed() {
    WizardPage& page = Page(kSearchPage);
    const TDBTableField* field = Column(page.Selected("comboFields"));
    std::string display = page.Selected("comboConditions");
    auto condition = std::find_if(MatchingConditions().begin(), MatchingConditions().end(),
                                  [&](const TMatchingCondition& c) { return c.DisplayText == display; });
    if (!field || condition == MatchingConditions().end()) return;
    std::string message;
    if (!AddSearchField(*field, *condition, model_.SearchFields, message)) {
        GetDialogs().Information(message);
        return;
    }
    FillSearch();
}

void TDrillDownWizManager::RemoveSearchFieldPressed() {
    WizardPage& page = Page(kSearchPage);
    auto& sel = page.Selections["lstSearchFields"];
    if (sel.empty() || sel.front() >= model_.SearchFields.Count()) return;
    model_.SearchFields.Delete(sel.front());
    sel.clear();
    FillSearch();
}

void TDrillDownWizManager::FillSelection(int index, const TDBTableFieldsList& chosen) {
    WizardPage& page = Page(index);
    std::vector<std::string> selected, available;
    for (std::size_t i = 0; i < chosen.Count(); ++i) selected.push_back(chosen.Key(i));
    for (const std::string& key : ColumnKeys())
        if (!Has(selected, key)) available.push_back(key);
    page.Lists["lstSelectedFields"] = selected;
    page.Lists["lstFields"] = available;
    page.Selections["lstSelectedFields"].clear();
    page.Selections["lstFields"] = available.empty() ? std::vector<std::size_t>{} : std::vector<std::size_t>{0};
}

void TDrillDownWizManager::FillColumns() {
    WizardPage& page = Page(kColumnsPage);
    std::vector<std::string> rows{"Field\tCaption\tWidth"};
    for (std::size_t i = 0; i < model_.ResultFields.Count(); ++i) {
        TDBTableField& f = model_.ResultFields.Fields(i);
        if (f.Setting.empty()) f.Setting = f.FieldName;
        if (f.ColumnWidth.empty()) f.ColumnWidth = "20";
        page.Texts["Caption:" + model_.ResultFields.Key(i)] = f.Setting;
        page.Texts["Width:" + model_.ResultFields.Key(i)] = f.ColumnWidth;
        rows.push_back(model_.ResultFields.Key(i) + "\t" + f.Setting + "\t" + f.ColumnWidth);
    }
    page.Lists["grdColumnProperties"] = rows;
}

void TDrillDownWizManager::FillIdentifier() {
    WizardPage& page = Page(kIdentifierPage);
    page.Lists["comboFields"] = ColumnKeys();
    page.Selections["comboFields"].clear();
    if (!model_.UniqueId.TableName.empty())
        page.Select("comboFields", QualifiedName(model_.UniqueId.TableName, model_.UniqueId.FieldName));
}

void TDrillDownWizManager::TransferPage(int from, int& to) {
    WizardPage& page = Page(from);
    switch (from) {
        case kTitlePage:
            model_.ApplicationTitle = page.Texts["txtApplicationName"];
            break;
        case kDirectoryPage:
            model_.OutputDirectory = page.Texts["lblDirPath"];
            if (to == kDataSourcePage) FillDataSourceList(Page(kDataSourcePage), catalog_, GetDialogs());
            break;
        case kDataSourcePage:
            if (to == kTablesPage) {
                std::string name = page.Selected("lstDatasources");
                if (name != model_.DataSource.DataSourceName) {
                    model_.Tables.clear();
                    model_.AllFields.Clear();
                    model_.Joins.Clear();
                    model_.SearchFields.Clear();
                    model_.ResultFields.Clear();
                    model_.DetailFields.Clear();
                    model_.UniqueId = {};
                }
                model_.DataSource = {name, page.Texts["txtUsername"], page.Texts["txtPassword"]};
                FillTables();
            }
            break;
        case kTablesPage:
            TakeTables();
            if (to == kJoinsPage && model_.Tables.size() < 2) to = kSearchPage;
            if (to == kJoinsPage) FillJoins();
            if (to == kSearchPage) FillSearch();
            break;
        case kJoinsPage:
            if (to == kSearchPage) FillSearch();
            break;
        case kSearchPage:
            if (to == kJoinsPage && model_.Tables.size() < 2) to = kTablesPage;
            if (to == kSearchPropertiesPage) {
                AddDefaultProperties(model_.SearchFields, model_.FieldProperties, FieldUse::Search);
                FillFieldPropertiesGrid(Page(kSearchPropertiesPage), model_.SearchFields, model_.FieldProperties);
            }
            break;
        case kSearchPropertiesPage:
            if (to == kResultPage) FillSelection(kResultPage, model_.ResultFields);
            break;
        case kResultPage:
            TakeFieldSelection(page.Lists["lstSelectedFields"], model_.AllFields, model_.ResultFields);
            if (to == kColumnsPage) FillColumns();
            break;
        case kColumnsPage:
            for (std::size_t i = 0; i < model_.ResultFields.Count(); ++i) {
                TDBTableField& f = model_.ResultFields.Fields(i);
                f.Setting = page.Texts["Caption:" + model_.ResultFields.Key(i)];
                f.ColumnWidth = page.Texts["Width:" + model_.ResultFields.Key(i)];
            }
            if (to == kDetailPage) FillSelection(kDetailPage, model_.DetailFields);
            break;
        case kDetailPage:
            TakeFieldSelection(page.Lists["lstSelectedFields"], model_.AllFields, model_.DetailFields);
            if (to == kIdentifierPage) FillIdentifier();
            break;
        case kIdentifierPage:
            if (const TDBTableField* id = Column(page.Selected("comboFields")))
                model_.UniqueId = {id->TableName, id->FieldName, id->TypeName, "", "", id->DataType, id->ColumnSize};
            break;
        default:
            break;
    }
}

WizardFinish TDrillDownWizManager::Finishing() {
    return {
        {{model_.ApplicationTitle.empty(), "The Application Name is needed to finish your application."},
         {model_.DataSource.DataSourceName.empty(), "A valid ODBC Data Source is needed to finish your application."},
         {model_.SearchFields.Empty(), "A set of Search Fields is needed to finish your application."},
         {model_.ResultFields.Empty(), "A set of Result Fields is needed to finish your application."},
         {model_.DetailFields.Empty(), "A set of Detail Fields is needed to finish your application."},
         {model_.UniqueId.FieldName.empty(),
          "You need to specify a Unique Identifier for the Detail Screen in order to finish your application."},
         // Fills the pages' tables and joins as it checks them.
         {!CheckDrillDownJoins(model_),
          "Considering the tables involved you need to specify more joins in order to complete this "
          "application"}},
        [this] { return GenerateDrillDown(model_, generator_, templatesDir_); },
        model_.OutputDirectory,
        templatesDir_,
        {{&model_.SearchFile, "#DataEntryHTMLFile#"},
         {&model_.ResultsFile, "#DataEntryTSMLFile1#"},
         {&model_.DetailFile, "#DataEntryTSMLFile2#"}},
        kCompletionPage,
        "wizard2.rtf",
        "Search.TSM"};
}

}  // namespace tessaro::wizards
