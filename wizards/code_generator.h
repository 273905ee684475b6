// Turns the wizards' choices into template text: a buffer that a template text is loaded
// into, placeholder replacement, and the fixed fragments (form controls, validation fields,
// mail block, search conditions, result columns, detail lines). Generated lines end in LF.
#pragma once

#include <string>
#include <vector>

#include "wizards/wizard_data.h"

namespace tessaro::wizards {

using Lines = std::vector<std::string>;

class TCodeGenerator {
public:
    // Empties the buffer and loads the whole file; false when it cannot be read.
    bool LoadTemplate(const std::string& path);
    void SetText(std::string text) { rec_ = std::move(text); }
    const std::string& Text() const { return rec_; }

    // Replaces the first occurrence of the placeholder, found without regard to case.
    void ReplaceText(const std::string& placeholder, const std::string& text);
    // The same with lines, each followed by a line end.
    void ReplaceLines(const std::string& placeholder, const Lines& lines);

    // Texts known when generating, written where the engine would otherwise read them:
    // HtmlText for page text and attribute values (& < > " and ' as references),
    // OutputText for text inside an output block (# doubled), TagAttribute for the values
    // of the engine's own tags (" and # doubled).
    static std::string HtmlText(const std::string& text);
    static std::string OutputText(const std::string& text);
    static std::string TagAttribute(const std::string& text);
    // A text as a string of the expression language.
    static std::string ExpressionString(const std::string& text);
    // A request or row value written into the page at run time, escaped for HTML.
    static std::string ShownValue(const std::string& expression);

    // The value goes into the page escaped.
    static std::string HiddenField(const std::string& name, const std::string& value);
    static std::string ValidationField(const std::string& name, const std::string& rule, const std::string& max,
                                       const std::string& min, const std::string& message);
    static Lines FormControl(const std::string& name, const TFormFieldProperties& properties);
    // The control showing a row's value (the expression, such as "EntryRow.name") instead of
    // the default content and selections; its lines stand inside an output block.
    static Lines FormControl(const std::string& name, const TFormFieldProperties& properties,
                             const std::string& rowValue);

    // Over the chosen fields; names are form labels (table__column) when formLabels, else
    // the column names.
    static Lines ValidationRules(const TDBTableFieldsList& fields, TFieldPropertiesList& properties, bool formLabels);
    // With rowQuery, a hidden field without a fixed value carries the column of that query's
    // row, and the lines stand inside an output block.
    static Lines HiddenFields(const TDBTableFieldsList& fields, TFieldPropertiesList& properties, bool formLabels,
                              const std::string& rowQuery = "");
    // style: "TabularStyle", "PreformatedStyle" or "SimpleStyle".
    // With rowQuery, the controls show the columns of that query's row (see FormControl).
    static Lines FormFields(const std::string& style, const TDBTableFieldsList& fields, bool formLabels,
                            TFieldPropertiesList& properties, const std::string& rowQuery = "");
    static Lines MailBlock(const std::string& query, const std::string& from, TFieldPropertiesList& properties,
                           const TDBTableFieldsList& fields, const std::string& subject, const std::string& to);

    // One SQL term. Number columns get the value through Val(), every other column gets it
    // in single quotes (which the engine doubles inside), so no form or URL value can change
    // the statement.
    static std::string SearchCondition(const TDBTableField& field, const std::string& condition);
    // The SQL text of a request value (an expression) compared with a column of that type.
    static std::string SqlValue(const std::string& typeName, const std::string& expression);
    static Lines SearchConditions(const TDBTableFieldsList& fields);

    // The name a page reads a column of its query by: the column's own name, or its form
    // label (table__column) where another table's column of the query has the same name,
    // since a row offers one value per name.
    static std::string ColumnName(const TDBTableFieldsList& selected, const TDBTableField& field);
    // The select list of a page's query: table.column, renamed as ColumnName says.
    static std::string SelectList(const TDBTableFieldsList& selected);
    // `selected` is the query's whole select list (the fields when absent).
    static Lines ResultColumns(const TDBTableFieldsList& fields, const std::string& prefix, const std::string& suffix,
                               const TDBTableFieldsList* selected = nullptr);
    // The fields are the query's select list.
    static Lines DetailLines(const TDBTableFieldsList& fields);

private:
    std::string rec_;
};

}  // namespace tessaro::wizards
