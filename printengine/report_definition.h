// The report definition file the print engine opens: an INI-style text with the sections
// [Report] (Title, Columns, Headings, Selection, Sort, Image, Picture), [Table] (DatabaseLibrary, Name,
// Description, DatabaseType, Fields, Server, Database, User, Password and one of Table, SQL or
// File) and [Formulas] (name=text). The README describes it with an example.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tessaro::print {

struct TableDefinition {
    std::string databaseLibrary;  // the library name the report server compares
    std::string name;             // the table name field references may carry
    std::string description;
    int databaseType = 0;
    std::vector<std::string> fields;
    std::string server, database, user, password;  // default log-on
    std::string table;                             // a table of the data source: every field selected
    std::string sql;                               // or a statement whose columns are the fields in order
    std::string file;                              // or a text file of comma-separated rows (non-ODBC tables)
};

struct NamedFormula {
    std::string name;  // as the definition spells it, without the at sign
    std::string text;
};

struct ReportDefinition {
    std::string path;
    std::string title;
    std::vector<std::string> columns;  // formula texts, one per printed column
    std::vector<std::string> headings;
    std::string selection;
    std::string sort;  // "{field} DESC, {other}" and the like
    std::string image;    // the address of a picture the page shows as it stands
    std::string picture;  // a picture file, relative to the report, copied beside the export
    TableDefinition table;
    std::vector<NamedFormula> formulas;
};

// Reads a definition; false with *error set when the file cannot be read or is malformed.
bool LoadReportDefinition(const std::string& path, ReportDefinition* definition, std::string* error);
bool ParseReportDefinition(const std::string& text, ReportDefinition* definition, std::string* error);

// Splits at commas that are outside braces, quotes and parentheses; items trimmed.
std::vector<std::string> SplitTopLevel(const std::string& text);
std::string Trim(const std::string& text);

}  // namespace tessaro::print
