// What each wizard has gathered by the time it generates: the data-entry application (one
// table, an entry form and the template that stores it) and the drill-down application
// (search form, result list, detail page).
#pragma once

#include <string>
#include <vector>

#include "wizards/wizard_data.h"

namespace tessaro::wizards {

struct DataEntryModel {
    std::string ApplicationTitle;
    std::string OutputDirectory;
    TODBCDataSourceInfo DataSource;
    std::vector<std::string> Tables;  // the one chosen table
    TDBTableFieldsList AllFields;
    std::vector<std::string> KeyFields;  // the table's primary key columns, in key order
    TDBTableFieldsList ChosenFields;
    TFieldPropertiesList FieldProperties;
    std::string PageStyle;  // "TabularStyle", "PreformatedStyle" or "SimpleStyle"
    std::vector<std::string> Header;
    std::vector<std::string> Footer;
    std::string TargetType;  // "NextPage Generated" or "NextPage Existing"
    std::string NextPageURL;
    std::string MailTo;
    std::string MailFrom;
    std::string EntryFormFile;
    std::string DataEntryFile;
    std::string EntryListFile;
};

struct DrillDownModel {
    std::string ApplicationTitle;
    std::string OutputDirectory;
    TODBCDataSourceInfo DataSource;
    std::vector<std::string> Tables;
    TDBTableFieldsList AllFields;
    TDBJoinsList Joins;
    TDBTableFieldsList SearchFields;  // Setting: the matching condition
    TFieldPropertiesList FieldProperties;
    TDBTableFieldsList ResultFields;  // Setting: header, ColumnWidth: width
    TDBTableFieldsList DetailFields;
    TDBTableField UniqueId;
    std::vector<std::string> ResultTables;
    std::vector<std::string> DetailTables;
    TDBJoinsList ResultJoins;
    TDBJoinsList DetailJoins;
    std::string SearchFile;
    std::string ResultsFile;
    std::string DetailFile;
};

// The header and footer the look page offers when the author left them empty.
std::vector<std::string> DefaultHeader(const std::string& title);
std::vector<std::string> DefaultFooter();

}  // namespace tessaro::wizards
