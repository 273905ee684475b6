#include "wizards/drill_down_rules.h"

#include <algorithm>

#include "support/text_helpers.h"
#include "wizards/type_names.h"

namespace tessaro::wizards {

namespace {

bool OneOf(const std::string& value, std::initializer_list<const char*> list) {
    return std::any_of(list.begin(), list.end(), [&](const char* item) { return value == item; });
}

}  // namespace

const std::vector<TMatchingCondition>& MatchingConditions() {
    static const std::vector<TMatchingCondition> conditions = {
        {"begins with", "LIKE xxx*"},     {"ends with", "LIKE *xxx"},
        {"contains", "LIKE *xxx*"},       {"equal to", "="},
        {"is greater than", ">"},         {"is less than", "<"},
        {"is greater or equal to", ">="}, {"is less or equal to", "<="}};
    return conditions;
}

bool ConditionSuitsType(const std::string& condition, const std::string& typeName) {
    std::string type = BaseTypeName(typeName);
    if (OneOf(condition, {">", "<", ">=", "<="}) && IsTextType(type)) return false;
    if (OneOf(condition, {"LIKE xxx*", "LIKE *xxx", "LIKE *xxx*"}) &&
        (OneOf(type, {"COUNTER",  "LONG",       "DATETIME",  "BIT",     "DOUBLE",   "CURRENCY", "LONGBINARY",
                      "DATE",     "LOGICAL",    "NUMERIC",   "GENERAL", "NUMBER",   "SHORT",    "IMAGE",
                      "BINARY",   "DECIMAL",    "FLOAT",     "INT",     "MONEY",    "REAL",     "SMALLDATETIME",
                      "SMALLINT", "SMALLMONEY", "TIMESTAMP", "TINYINT", "VARBINARY"}) ||
         type == "INTEGER"))
        return false;
    return true;
}

void GuessJoins(const TDBTableFieldsList& columns, TDBJoinsList& joins) {
    // MIDDLLEINITIAL is kept as the list has always had it; the correct spelling is added.
    static const std::initializer_list<const char*> kNotKeys = {
        "PHONE", "ADDRESS", "ADDRESS1", "ADDRESS2",  "FAX",      "TITLE",          "ZIP",          "POSTALCODE", "CITY",
        "STATE", "COUNTRY", "EMAIL",    "FIRSTNAME", "LASTNAME", "MIDDLLEINITIAL", "MIDDLEINITIAL"};
    for (std::size_t i = 0; i < columns.Count(); ++i) {
        const TDBTableField& a = columns.Fields(i);
        if (OneOf(UpperCopy(a.FieldName), kNotKeys)) continue;
        for (std::size_t j = 0; j < columns.Count(); ++j) {
            const TDBTableField& b = columns.Fields(j);
            if (columns.Key(j) == columns.Key(i) || b.FieldName != a.FieldName || b.TableName == a.TableName) continue;
            if (joins.IndexOf(JoinText(columns.Key(j), columns.Key(i))) >= 0) continue;
            if (joins.IndexOf(JoinText(columns.Key(i), columns.Key(j))) >= 0) continue;
            joins.Add(JoinText(columns.Key(i), columns.Key(j)), {a.TableName, b.TableName});
        }
    }
}

bool AddJoin(const TDBTableField& a, const TDBTableField& b, TDBJoinsList& joins, std::string& message) {
    const std::string keyA = QualifiedName(a.TableName, a.FieldName), keyB = QualifiedName(b.TableName, b.FieldName);
    for (const std::string& name : {keyA, keyB}) {
        if (ContainsSpace(name)) {
            message =
                "The wizard does not support field names containing spaces. Please modify the name of the field [" +
                name + "] before creating a join.";
            return false;
        }
    }
    std::string text = JoinText(keyA, keyB);
    if (joins.IndexOf(text) >= 0 || joins.IndexOf(JoinText(keyB, keyA)) >= 0) {
        message = "The join (" + text + ") was already added.";
        return false;
    }
    joins.Add(text, {a.TableName, b.TableName});
    return true;
}

bool AddSearchField(const TDBTableField& field, const TMatchingCondition& condition, TDBTableFieldsList& searchFields,
                    std::string& message) {
    const std::string key = QualifiedName(field.TableName, field.FieldName);
    if (ContainsSpace(key)) {
        message = "The wizard does not support field names containing spaces. Please modify the name of the field [" +
                  key + "] before using it in your application.";
        return false;
    }
    if (searchFields.IndexOf(key) >= 0) {
        message = "The field " + key + " was already added.";
        return false;
    }
    if (!ConditionSuitsType(condition.Condition, field.TypeName)) {
        message = "The field (" + key + ") is of type [" + UpperCopy(field.TypeName) +
                  "] which cannot be used in conjuction with (" + condition.DisplayText + ") matching condition.'.";
        return false;
    }
    TDBTableField added = field;
    added.Setting = condition.Condition;
    added.ColumnWidth.clear();
    searchFields.Add(key, added);
    return true;
}

}  // namespace tessaro::wizards
