// What the wizards keep about the author's choices: the data source, tables, columns,
// joins and the form settings of every field.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "wizards/keyed_list.h"

namespace tessaro::wizards {

struct TODBCDataSourceInfo {
    std::string DataSourceName;
    std::string UserName;
    std::string Password;
};

struct TServerProfile {
    std::string ServerName;
    std::string DocumentRoot;
    std::string TemplateDirectory;
    std::string GatewayPath;
};

struct FieldOptions {
    std::string Choice;
    std::string Value;
    std::string Selected = "No";  // "Yes" or "No"
};

inline constexpr std::size_t kFieldOptionCount = 100;

struct TFormFieldProperties {
    std::string QualifiedName;
    std::string Caption;
    std::string ControlType = "TextBox";
    std::string Content;
    std::string Property1 = "50";
    std::string Property2 = "40";
    std::array<FieldOptions, kFieldOptionCount> Options;  // Options[0] is option number 1
    int VisibleItems = 10;
    bool Required = false;
    std::string RequiredMessage;
    std::string ValidationRule = "(none)";
    std::string RangeMax;
    std::string RangeMin;
    std::string ValidationMessage;
    // The column's length in characters when it holds text of a known length: the limit of a
    // text area (a text box has its own, Property2). 0: no limit.
    long ColumnSize = 0;
};

struct TDBTableField {
    std::string TableName;
    std::string FieldName;
    std::string TypeName;
    std::string Setting;      // search condition, or result column header
    std::string ColumnWidth;  // result column width
    // As the catalogue describes the column: the ODBC type code and, for text, its length
    // in characters (0 when unknown).
    int DataType = 0;
    long ColumnSize = 0;
};

struct TDBJoin {
    std::string Table1;
    std::string Table2;
};

class TFieldPropertiesList : public KeyedList<TFormFieldProperties> {
public:
    TFormFieldProperties& Properties(std::size_t i) { return Item(i); }
};

// Keyed by table + "." + column.
class TDBTableFieldsList : public KeyedList<TDBTableField> {
public:
    TDBTableField& Fields(std::size_t i) { return Item(i); }
    const TDBTableField& Fields(std::size_t i) const { return Item(i); }
    // The name generated templates use for the field: table + "__" + column.
    std::string FormLabel(std::size_t i) const { return Item(i).TableName + "__" + Item(i).FieldName; }
};

// Keyed by "<table.column> = <table.column>".
class TDBJoinsList : public KeyedList<TDBJoin> {
public:
    TDBJoin& Joins(std::size_t i) { return Item(i); }
    const TDBJoin& Joins(std::size_t i) const { return Item(i); }
};

std::string QualifiedName(const std::string& table, const std::string& column);
std::string JoinText(const std::string& qualified1, const std::string& qualified2);

// The entry keyed name; a new one with every default when there is none.
std::size_t FindOrCreateProperties(const std::string& name, TFieldPropertiesList& list);

bool ContainsSpace(const std::string& name);

// Whether the chosen joins connect every table the fields come from (true for fewer than
// two tables). `work` ends holding the joins that were needed, `tables` the tables in
// first-seen order.
bool JoinsCoverTables(const TDBTableFieldsList& fields, const TDBJoinsList& joins, TDBJoinsList& work,
                      std::vector<std::string>& tables);

}  // namespace tessaro::wizards
