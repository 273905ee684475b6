#include "wizards/code_generator.h"

#include <fstream>
#include <sstream>

#include "support/html_escape.h"
#include "support/text_helpers.h"
#include "wizards/type_names.h"

namespace tessaro::wizards {

namespace {

std::string FieldName(const TDBTableFieldsList& fields, std::size_t i, bool formLabels) {
    return formLabels ? fields.FormLabel(i) : fields.Fields(i).FieldName;
}

std::string Blanks(std::size_t width, std::size_t used) {
    return std::string(used < width ? width - used : 0, ' ');
}

bool IsListed(const std::string& type) {
    return type == "Radio Buttons" || type == "Checkboxes";
}

bool IsSelect(const std::string& type) {
    return type == "Drop-Down" || type == "Single-Select" || type == "Multi-Select";
}

std::string Doubled(const std::string& text, char c) {
    std::string out;
    for (char x : text) {
        out += x;
        if (x == c) out += c;
    }
    return out;
}

// Generated text of a control: escaped for HTML, and with # doubled when the control
// stands inside an output block.
struct ControlText {
    bool inOutput;
    std::string operator()(const std::string& text) const {
        std::string html = TCodeGenerator::HtmlText(text);
        return inOutput ? TCodeGenerator::OutputText(html) : html;
    }
};

// " CHECKED" or " SELECTED": fixed by the option's flag, or, for a row's value, chosen at
// run time when the value is the option's (one of its values for the multiple kinds).
std::string Marked(const FieldOptions& option, const std::string& mark, const std::string& rowValue, bool several) {
    if (rowValue.empty()) return option.Selected == "Yes" ? mark : "";
    std::string test = several ? "ListFind(" + rowValue + ", " + TCodeGenerator::ExpressionString(option.Value) + ")"
                               : rowValue + " IS " + TCodeGenerator::ExpressionString(option.Value);
    return "#IIf(" + test + ", DE(\"" + mark + "\"), DE(\"\"))#";
}

// Rows of the text area that holds a text box's value with line breaks.
constexpr const char* kRowsForLines = "5";

// maxLength "" sets no limit. A browser drops one line break right after the start tag, so a
// value that may begin with one (a row's) gets one more there.
std::string TextArea(const std::string& name, const std::string& cols, const std::string& rows,
                     const std::string& maxLength, const std::string& content, bool mayBeginWithLineBreak) {
    return "<TEXTAREA NAME=\"" + name + "\" COLS=\"" + cols + "\" ROWS=\"" + rows + "\"" +
           (maxLength.empty() ? "" : " MAXLENGTH=\"" + maxLength + "\"") + ">" +
           (mayBeginWithLineBreak || (!content.empty() && (content[0] == '\n' || content[0] == '\r')) ? "\n" : "") + content + "</TEXTAREA>";
}

}  // namespace

bool TCodeGenerator::LoadTemplate(const std::string& path) {
    rec_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    rec_ = text.str();
    // Generated files end their lines in LF alone, whatever the template file used.
    std::erase(rec_, '\r');
    return true;
}

void TCodeGenerator::ReplaceText(const std::string& placeholder, const std::string& text) {
    if (placeholder.empty()) return;
    std::size_t at = LowerCopy(rec_).find(LowerCopy(placeholder));
    if (at != std::string::npos) rec_.replace(at, placeholder.size(), text);
}

void TCodeGenerator::ReplaceLines(const std::string& placeholder, const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        // A memo's text may come with CR LF line ends.
        text += line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1);
        text += '\n';
    }
    ReplaceText(placeholder, text);
}

std::string TCodeGenerator::HtmlText(const std::string& text) {
    return HtmlEscape(text);
}

std::string TCodeGenerator::OutputText(const std::string& text) {
    return Doubled(text, '#');
}

std::string TCodeGenerator::TagAttribute(const std::string& text) {
    return Doubled(Doubled(text, '#'), '"');
}

std::string TCodeGenerator::ExpressionString(const std::string& text) {
    return "\"" + TagAttribute(text) + "\"";
}

std::string TCodeGenerator::ShownValue(const std::string& expression) {
    return "#HTMLEditFormat(" + expression + ")#";
}

std::string TCodeGenerator::HiddenField(const std::string& name, const std::string& value) {
    return "<INPUT TYPE=\"hidden\" NAME=\"" + name + "\" VALUE=\"" + HtmlText(value) + "\">";
}

std::string TCodeGenerator::ValidationField(const std::string& name, const std::string& rule, const std::string& max,
                                            const std::string& min, const std::string& message) {
    std::string suffix;
    if (rule == "Integer")
        suffix = "_integer";
    else if (rule == "Float")
        suffix = "_float";
    else if (rule == "Date")
        suffix = "_date";
    else if (rule == "Required")
        suffix = "_required";
    else if (rule == "Range")
        return HiddenField(name + "_range", "MIN=" + min + " MAX=" + max);
    else
        return "";
    return HiddenField(name + suffix, message);
}

Lines TCodeGenerator::FormControl(const std::string& name, const TFormFieldProperties& p) {
    return FormControl(name, p, "");
}

Lines TCodeGenerator::FormControl(const std::string& name, const TFormFieldProperties& p, const std::string& rowValue) {
    const ControlText text{!rowValue.empty()};
    const std::string shown = rowValue.empty() ? text(p.Content) : ShownValue(rowValue);
    Lines lines;
    const std::string& type = p.ControlType;
    if (type == "Hidden Field") {
        lines.push_back(shown.empty() ? "<INPUT TYPE=\"hidden\" NAME=\"" + name + "\">"
                                      : "<INPUT TYPE=\"hidden\" NAME=\"" + name + "\" VALUE=\"" + shown + "\">");
    } else if (type == "TextBox") {
        std::string value = shown.empty() ? "" : " VALUE=\"" + shown + "\"";
        std::string box = "<INPUT TYPE=\"text\" NAME=\"" + name + "\"" + value + " SIZE=\"" + p.Property1 +
                          "\" MAXLENGTH=\"" + p.Property2 + "\">";
        // A browser drops the line breaks of a text box's value: a stored value that holds
        // one is edited in a text area, so that saving the form keeps its lines.
        if (!rowValue.empty())
            box = "<TSIF FindOneOf(Chr(10) & Chr(13), " + rowValue + ") GT 0>" +
                  TextArea(name, p.Property1, kRowsForLines, p.Property2, shown, true) + "<TSELSE>" + box + "</TSIF>";
        lines.push_back(box);
    } else if (type == "TextArea") {
        lines.push_back(TextArea(name, p.Property1, p.Property2, p.ColumnSize > 0 ? std::to_string(p.ColumnSize) : "",
                                 shown, !rowValue.empty()));
    } else if (IsListed(type)) {
        std::string input = type == "Radio Buttons" ? "radio" : "checkbox";
        // Every filled option up to the last of the hundred.
        for (const FieldOptions& option : p.Options) {
            if (option.Choice.empty()) break;
            lines.push_back("<INPUT TYPE=\"" + input + "\" NAME=\"" + name + "\" VALUE=\"" + text(option.Value) + "\"" +
                            Marked(option, " CHECKED", rowValue, type == "Checkboxes") + ">" + text(option.Choice));
        }
    } else if (IsSelect(type)) {
        std::string head = "<SELECT NAME=\"" + name + "\"";
        if (type != "Drop-Down") head += " SIZE=\"" + std::to_string(p.VisibleItems) + "\"";
        if (type == "Multi-Select") head += " MULTIPLE";
        lines.push_back(head + ">");
        for (const FieldOptions& option : p.Options) {
            if (option.Choice.empty()) break;
            lines.push_back("     <OPTION VALUE=\"" + text(option.Value) + "\"" +
                            Marked(option, " SELECTED", rowValue, type == "Multi-Select") + ">" + text(option.Choice));
        }
        lines.push_back("     </SELECT>");
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
}

Lines TCodeGenerator::ValidationRules(const TDBTableFieldsList& fields, TFieldPropertiesList& properties,
                                      bool formLabels) {
    Lines lines;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        std::string name = FieldName(fields, i, formLabels);
        if (p.ValidationRule != "(none)")
            lines.push_back(ValidationField(name, p.ValidationRule, p.RangeMax, p.RangeMin, p.ValidationMessage));
        if (p.Required) lines.push_back(ValidationField(name, "Required", p.RangeMax, p.RangeMin, p.RequiredMessage));
    }
    return lines;
}

Lines TCodeGenerator::HiddenFields(const TDBTableFieldsList& fields, TFieldPropertiesList& properties, bool formLabels,
                                   const std::string& rowQuery) {
    Lines lines;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        if (p.ControlType != "Hidden Field") continue;
        std::string name = FieldName(fields, i, formLabels);
        if (rowQuery.empty())
            lines.push_back(HiddenField(name, p.Content));
        else if (p.Content.empty())
            lines.push_back(FormControl(name, p, rowQuery + "." + fields.Fields(i).FieldName).front());
        else
            lines.push_back(OutputText(HiddenField(name, p.Content)));
    }
    return lines;
}

Lines TCodeGenerator::FormFields(const std::string& style, const TDBTableFieldsList& fields, bool formLabels,
                                 TFieldPropertiesList& properties, const std::string& rowQuery) {
    const ControlText text{!rowQuery.empty()};
    const bool tabular = style == "TabularStyle";
    const bool preformatted = style == "PreformatedStyle";
    const bool simple = style == "SimpleStyle";
    Lines out;
    if (tabular) out.push_back("<TABLE>");
    if (preformatted) out.push_back("<PRE>");
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        if (p.ControlType == "Hidden Field") continue;
        std::string prefix;
        if (tabular) prefix = "<TR><TD ALIGN=\"right\">";
        if (preformatted) prefix = Blanks(25, p.Caption.size());
        prefix += text(p.Caption) + (tabular ? "</TD><TD>" : " ");
        std::string rowValue = rowQuery.empty() ? "" : rowQuery + "." + fields.Fields(i).FieldName;
        Lines lines = FormControl(FieldName(fields, i, formLabels), p, rowValue);
        lines.front() = prefix + lines.front();
        if (preformatted && IsListed(p.ControlType))
            for (std::size_t n = 1; n < lines.size(); ++n) lines[n] = std::string(26, ' ') + lines[n];
        if (tabular) {
            if (IsListed(p.ControlType))
                for (std::string& line : lines) line += "<BR>";
            lines.back() += "</TD></TR>";
        }
        if (simple) {
            if (IsListed(p.ControlType) || p.ControlType == "TextBox" || p.ControlType == "TextArea")
                for (std::string& line : lines) line += "<BR>";
            else if (IsSelect(p.ControlType))
                lines.back() += "<BR>";
        }
        out.insert(out.end(), lines.begin(), lines.end());
    }
    if (tabular) out.push_back("</TABLE>");
    if (preformatted) out.push_back("</PRE>");
    return out;
}

Lines TCodeGenerator::MailBlock(const std::string& query, const std::string& from, TFieldPropertiesList& properties,
                                const TDBTableFieldsList& fields, const std::string& subject, const std::string& to) {
    // A mail is plain text: its texts are kept from the engine, not escaped for HTML.
    std::string sender = TagAttribute(from.empty() ? "Unknown" : from);
    Lines lines;
    if (!query.empty()) {
        lines.push_back("<TSMAIL QUERY=\"" + TagAttribute(query) + "\"");
        lines.push_back("        FROM=\"" + sender + "\"");
    } else {
        lines.push_back("<TSMAIL FROM=\"" + sender + "\"");
    }
    lines.push_back("        TO=\"" + TagAttribute(to) + "\"");
    lines.push_back("        SUBJECT=\"" + TagAttribute(subject) + "\">");
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        lines.push_back(OutputText(p.Caption) + ": #" + fields.Fields(i).FieldName + "#");
    }
    lines.push_back("</TSMAIL>");
    return lines;
}

std::string TCodeGenerator::SearchCondition(const TDBTableField& field, const std::string& condition) {
    const bool like = condition == "LIKE xxx*" || condition == "LIKE *xxx" || condition == "LIKE *xxx*";
    std::string left = field.TableName + "." + field.FieldName + (like ? " LIKE " : " " + condition + " ");
    std::string variable = field.TableName + "__" + field.FieldName;
    // A pattern is text whatever the column.
    if (!like) return left + SqlValue(field.TypeName, variable) + " ";
    std::string value = "#" + variable + "#";
    if (condition == "LIKE xxx*" || condition == "LIKE *xxx*") value += "%";
    if (condition == "LIKE *xxx" || condition == "LIKE *xxx*") value = "%" + value;
    return left + "'" + value + "' ";
}

std::string TCodeGenerator::SqlValue(const std::string& typeName, const std::string& expression) {
    return IsNumericType(typeName) ? "#Val(" + expression + ")#" : "'#" + expression + "#'";
}

Lines TCodeGenerator::SearchConditions(const TDBTableFieldsList& fields) {
    Lines lines;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        lines.push_back("    <TSIF #" + fields.FormLabel(i) + "# IS NOT \"\">");
        lines.push_back("       AND " + SearchCondition(fields.Fields(i), fields.Fields(i).Setting));
        lines.push_back("    </TSIF>");
        lines.emplace_back();
    }
    return lines;
}

std::string TCodeGenerator::ColumnName(const TDBTableFieldsList& selected, const TDBTableField& field) {
    const std::string name = LowerCopy(field.FieldName);
    for (std::size_t i = 0; i < selected.Count(); ++i) {
        const TDBTableField& other = selected.Fields(i);
        if (LowerCopy(other.FieldName) == name && LowerCopy(other.TableName) != LowerCopy(field.TableName))
            return field.TableName + "__" + field.FieldName;
    }
    return field.FieldName;
}

std::string TCodeGenerator::SelectList(const TDBTableFieldsList& selected) {
    std::string list;
    for (std::size_t i = 0; i < selected.Count(); ++i) {
        const TDBTableField& f = selected.Fields(i);
        const std::string name = ColumnName(selected, f);
        list += (i ? "," : "") + QualifiedName(f.TableName, f.FieldName) + (name == f.FieldName ? "" : " AS " + name);
    }
    return list;
}

Lines TCodeGenerator::ResultColumns(const TDBTableFieldsList& fields, const std::string& prefix,
                                    const std::string& suffix, const TDBTableFieldsList* selected) {
    Lines lines;
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        const TDBTableField& f = fields.Fields(i);
        lines.push_back("<TSCOL HEADER=\"" + OutputText(HtmlText(f.Setting)) + "\" WIDTH=\"" +
                        TagAttribute(f.ColumnWidth) + "\" TEXT=\"" + prefix +
                        ShownValue(ColumnName(selected ? *selected : fields, f)) + suffix + "\">");
    }
    return lines;
}

Lines TCodeGenerator::DetailLines(const TDBTableFieldsList& fields) {
    Lines lines;
    for (std::size_t i = 0; i < fields.Count(); ++i)
        lines.push_back(Blanks(25, fields.Key(i).size()) + OutputText(HtmlText(fields.Key(i))) + ": " +
                        ShownValue(ColumnName(fields, fields.Fields(i))));
    return lines;
}

}  // namespace tessaro::wizards
