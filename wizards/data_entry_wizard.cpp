#include "wizards/data_entry_wizard.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "platform/file_system.h"
#include "platform/path_util.h"
#include "wizards/field_defaults.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

void MoveListEntries(WizardPage& page, const std::string& from, const std::string& to, bool all) {
    std::vector<std::string>& source = page.Lists[from];
    std::vector<std::size_t> chosen = page.Selections[from];
    if (all) {
        chosen.clear();
        for (std::size_t i = 0; i < source.size(); ++i) chosen.push_back(i);
    }
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
    if (chosen.empty()) return;
    std::vector<std::string>& target = page.Lists[to];
    for (std::size_t i : chosen)
        if (i < source.size()) target.push_back(source[i]);
    for (std::size_t n = chosen.size(); n-- > 0;)
        if (chosen[n] < source.size()) source.erase(source.begin() + static_cast<long>(chosen[n]));
    page.Selections[from].clear();
    if (!source.empty()) page.Selections[from] = {std::min(chosen.front(), source.size() - 1)};
}

void TakeFieldSelection(const std::vector<std::string>& keys, const TDBTableFieldsList& all,
                        TDBTableFieldsList& chosen) {
    TDBTableFieldsList taken;
    for (const std::string& key : keys) {
        long old = chosen.IndexOf(key);
        long fresh = all.IndexOf(key);
        if (old >= 0) {
            taken.Add(key, chosen.Fields(static_cast<std::size_t>(old)));
        } else if (fresh >= 0) {
            TDBTableField f = all.Fields(static_cast<std::size_t>(fresh));
            f.Setting.clear();
            f.ColumnWidth.clear();
            taken.Add(key, std::move(f));
        }
    }
    chosen = std::move(taken);
}

bool CheckFieldSelection(const std::vector<std::string>& keys, std::string& message) {
    if (keys.empty()) {
        message = "You need to select at least a single field in order to proceed.";
        return false;
    }
    for (std::size_t n = keys.size(); n-- > 0;) {
        if (ContainsSpace(keys[n])) {
            message = "The wizard does not support field names containing spaces. Please de-select [" + keys[n] +
                      "] or modify its name before proceeding.";
            return false;
        }
    }
    return true;
}

std::string RuleText(const TFormFieldProperties& p) {
    return p.ValidationRule == "Range" ? "Range [" + p.RangeMin + "-" + p.RangeMax + "]" : p.ValidationRule;
}

void FillFieldPropertiesGrid(WizardPage& page, const TDBTableFieldsList& fields, TFieldPropertiesList& properties) {
    std::vector<std::string> rows{"Field Name\tCaption\tType\tRequired ?\tValidation"};
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        rows.push_back(p.QualifiedName + "\t" + p.Caption + "\t" + p.ControlType + "\t" + (p.Required ? "Yes" : "No") +
                       "\t" + RuleText(p));
    }
    page.Lists["grdFieldProperties"] = rows;
}

TDataEntryWizManager::TDataEntryWizManager(Dialogs& dialogs, CatalogClient& catalog, std::string templatesDir)
    : TWizardManager(dialogs), catalog_(catalog), templatesDir_(std::move(templatesDir)) {}

void TDataEntryWizManager::CreatePages() {
    wizardTitle_ = "Data Entry Wizard";
    AddPage("TfrmPage1", "Welcome to Data Entry Wizard");
    AddPage("TfrmPage9B", "Select the directory where the application files will be created");
    AddPage("TfrmPage2", "Select ODBC Datasource Page");
    AddPage("TfrmPage3", "Select Database Table Page");
    AddPage("TfrmPage10", "Select the fields of the entry form");
    AddPage("TfrmPage5", "Specify Field Properties");
    AddPage("TfrmPage6", "Customize the look of the entry page.");
    AddPage("TfrmPage7", "Specify Next Page");
    AddPage("TfrmPage8", "Application Completed");
}

void TDataEntryWizManager::InitPage(WizardPage& page) {
    switch (page.PageIndex) {
        case kTitlePage:
            page.Texts["txtApplicationName"] = "My Application";
            page.SetButtons(true, false, false, true);
            break;
        case kDirectoryPage:
            page.Texts["lblDirPath"] = InitialOutputDirectory(catalog_);
            page.SetButtons(true, true, false, true);
            break;
        case kLookPage:
            page.Checks = {{"radioTabularStyle", true}, {"radioPreformatedStyle", false}, {"radioSimpleStyle", false}};
            page.SetButtons(true, true, false, true);
            break;
        case kNextPagePage:
            page.Checks = {{"RadioWizardGenerated", true}, {"RadioExistingPage", false}};
            page.Texts["txtNextPage"] = "http://";
            page.SetButtons(true, true, true, true);
            break;
        case kCompletionPage:
            page.IsFinalPage = true;
            page.SetButtons(true, true, true, false);
            break;
        default:
            page.SetButtons(true, true, false, true);
    }
}

void TDataEntryWizManager::Browse() {
    WizardPage& page = Page(kDirectoryPage);
    std::optional<std::string> chosen = GetDialogs().ChooseFolder(page.Texts["lblDirPath"]);
    if (chosen) page.Texts["lblDirPath"] = *chosen;
}

bool TDataEntryWizManager::Validate(WizardPage& page, std::string& message) {
    message.clear();
    switch (page.PageIndex) {
        case kTitlePage:
            if (page.Texts["txtApplicationName"].empty()) {
                message = "You need to enter a valid name for your application.";
                return false;
            }
            return true;
        case kDataSourcePage:
            if (page.Selected("lstDatasources").empty()) {
                message = "You need to select a valid ODBC Data Source in order to proceed.";
                return false;
            }
            return true;
        case kTablePage: {
            std::string table = page.Selected("lstTables");
            if (table.empty()) {
                message = "You need to select an existing database table in order to proceed.";
                return false;
            }
            if (ContainsSpace(table)) {
                message =
                    "The wizard does not support table names containing spaces. Please select a different "
                    "table or modify the name of your table.";
                return false;
            }
            return true;
        }
        case kFieldsPage:
            return CheckFieldSelection(page.Lists["lstSelectedFields"], message);
        default:
            return true;
    }
}

void TDataEntryWizManager::FillTables() {
    std::vector<std::string> tables;
    catalog_.RequestTablesForDataSource(model_.DataSource, tables);
    if (tables.empty())
        GetDialogs().Information(
            "There are no tables in the ODBC Data Source you selected. Make sure you have the "
            "security privileges necessary to access your database tables.");
    Page(kTablePage).Fill("lstTables", tables);
}

void TDataEntryWizManager::FillFields() {
    WizardPage& page = Page(kFieldsPage);
    std::vector<std::string> selected, available;
    for (std::size_t i = 0; i < model_.ChosenFields.Count(); ++i) selected.push_back(model_.ChosenFields.Key(i));
    for (std::size_t i = 0; i < model_.AllFields.Count(); ++i) {
        const std::string& key = model_.AllFields.Key(i);
        bool inTables = std::find(model_.Tables.begin(), model_.Tables.end(), model_.AllFields.Fields(i).TableName) !=
                        model_.Tables.end();
        if (inTables && std::find(selected.begin(), selected.end(), key) == selected.end()) available.push_back(key);
    }
    page.Lists["lstSelectedFields"] = selected;
    page.Lists["lstFields"] = available;
    page.Selections["lstSelectedFields"].clear();
    page.Selections["lstFields"].clear();
    if (!available.empty()) page.Selections["lstFields"] = {0};
}

void TDataEntryWizManager::FillPropertiesGrid() {
    AddDefaultProperties(model_.ChosenFields, model_.FieldProperties, FieldUse::Entry);
    FillFieldPropertiesGrid(Page(kPropertiesPage), model_.ChosenFields, model_.FieldProperties);
}

void TDataEntryWizManager::TransferPage(int from, int& to) {
    WizardPage& page = Page(from);
    switch (from) {
        case kTitlePage:
            model_.ApplicationTitle = page.Texts["txtApplicationName"];
            break;
        case kDirectoryPage:
            model_.OutputDirectory = page.Texts["lblDirPath"];
            if (to == kDataSourcePage) FillDataSourceList(Page(kDataSourcePage), catalog_, GetDialogs());
            break;
        case kDataSourcePage: {
            std::string name = page.Selected("lstDatasources");
            if (name != model_.DataSource.DataSourceName) model_.Tables.clear();
            model_.DataSource = {name, page.Texts["txtUsername"], page.Texts["txtPassword"]};
            if (to == kTablePage) FillTables();
            break;
        }
        case kTablePage: {
            std::string table = page.Selected("lstTables");
            if (!table.empty()) {
                if (std::find(model_.Tables.begin(), model_.Tables.end(), table) == model_.Tables.end())
                    model_.ChosenFields.Clear();
                model_.Tables = {table};
                catalog_.RefreshTableFields(model_.Tables, model_.AllFields, model_.DataSource);
                // The key lets the generated application change the rows it lists.
                model_.KeyFields.clear();
                catalog_.RequestKeyFields(table, model_.DataSource, model_.KeyFields);
            }
            if (to == kFieldsPage) FillFields();
            break;
        }
        case kFieldsPage:
            TakeFieldSelection(page.Lists["lstSelectedFields"], model_.AllFields, model_.ChosenFields);
            if (to == kPropertiesPage) FillPropertiesGrid();
            break;
        case kPropertiesPage:
            if (to == kLookPage) {
                WizardPage& look = Page(kLookPage);
                if (look.Texts["memoHeader"].empty())
                    look.Texts["memoHeader"] = JoinLines(DefaultHeader(model_.ApplicationTitle));
                if (look.Texts["memoFooter"].empty()) look.Texts["memoFooter"] = JoinLines(DefaultFooter());
            }
            break;
        case kLookPage:
            model_.PageStyle = page.Checks["radioPreformatedStyle"] ? "PreformatedStyle"
                               : page.Checks["radioSimpleStyle"]    ? "SimpleStyle"
                               : page.Checks["radioTabularStyle"]   ? "TabularStyle"
                                                                    : "";
            model_.Header = SplitLines(page.Texts["memoHeader"]);
            model_.Footer = SplitLines(page.Texts["memoFooter"]);
            break;
        case kNextPagePage:
            model_.TargetType = page.Checks["RadioExistingPage"] ? "NextPage Existing" : "NextPage Generated";
            model_.NextPageURL = page.Checks["RadioExistingPage"] ? page.Texts["txtNextPage"] : "";
            model_.MailTo = page.Texts["txtToEmailAddress"];
            model_.MailFrom = page.Texts["txtFromEmailAddress"];
            break;
        default:
            break;
    }
}

WizardFinish TDataEntryWizManager::Finishing() {
    return {
        {{model_.ApplicationTitle.empty(), "The Application Name is needed to finish your application."},
         {model_.DataSource.DataSourceName.empty(), "A valid ODBC Data Source is needed to finish your application."},
         {model_.Tables.empty(), "A valid Table is needed to finish your application."},
         {model_.ChosenFields.Empty(), "A set of Fields is needed to finish your application."},
         {model_.PageStyle.empty(), "You need to chose a Page Style in order to finish your application."},
         {model_.TargetType.empty(), "You need to chose a type of Target Page for your application."}},
        [this] { return GenerateDataEntry(model_, generator_, templatesDir_); },
        model_.OutputDirectory,
        templatesDir_,
        {{&model_.EntryFormFile, "#DataEntryHTMLFile#"},
         {&model_.DataEntryFile, "#DataEntryTSMLFile#"},
         {&model_.EntryListFile, "#EntryListFile#"}},
        kCompletionPage,
        "wizard1.rtf",
        "EntryForm.TSM"};
}

}  // namespace tessaro::wizards
