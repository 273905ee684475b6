#include "wizards/field_defaults.h"

#include <algorithm>

#include "wizards/type_names.h"

namespace tessaro::wizards {

namespace {

// ODBC type codes of character data.
constexpr int kChar = 1, kVarChar = 12, kLongVarChar = -1, kWChar = -8, kWVarChar = -9, kWLongVarChar = -10;

// Visible width of a text box, in characters.
constexpr long kTextBoxWidth = 50;
constexpr const char* kTextAreaRows = "5";

bool IsLongTypeName(const std::string& typeName) {
    std::string base = BaseTypeName(typeName);
    return base == "TEXT" || base == "LONGTEXT" || base == "MEMO";
}

}  // namespace

bool HoldsText(const TDBTableField& field) {
    switch (field.DataType) {
        case kChar:
        case kVarChar:
        case kLongVarChar:
        case kWChar:
        case kWVarChar:
        case kWLongVarChar:
            return true;
        case 0:
            return IsTextType(field.TypeName);
        default:
            return false;
    }
}

bool HoldsLongText(const TDBTableField& field) {
    if (!HoldsText(field)) return false;
    if (field.DataType == kLongVarChar || field.DataType == kWLongVarChar) return true;
    if (field.ColumnSize > kLongTextSize) return true;
    return field.DataType == 0 && IsLongTypeName(field.TypeName);
}

void AddDefaultProperties(const TDBTableFieldsList& fields, TFieldPropertiesList& properties, FieldUse use) {
    for (std::size_t i = 0; i < fields.Count(); ++i) {
        if (properties.IndexOf(fields.Key(i)) >= 0) continue;
        TFormFieldProperties& p = properties.Properties(FindOrCreateProperties(fields.Key(i), properties));
        const TDBTableField& field = fields.Fields(i);
        if (!HoldsText(field)) continue;
        p.ColumnSize = field.ColumnSize;
        if (use == FieldUse::Entry && HoldsLongText(field)) {
            p.ControlType = "TextArea";
            p.Property1 = std::to_string(kTextBoxWidth);
            p.Property2 = kTextAreaRows;
        } else if (field.ColumnSize > 0) {
            p.Property1 = std::to_string(std::min(field.ColumnSize, kTextBoxWidth));
            p.Property2 = std::to_string(field.ColumnSize);
        }
    }
}

}  // namespace tessaro::wizards
