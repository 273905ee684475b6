// The form control a column gets until the author chooses another: a text box that takes as
// many characters as the column holds, and on an entry form a text area for long text.
#pragma once

#include "wizards/wizard_data.h"

namespace tessaro::wizards {

enum class FieldUse { Entry, Search };

// Text columns longer than this hold long text.
inline constexpr long kLongTextSize = 255;

// A column of characters (by its ODBC type code, or by its type name when the catalogue gave
// no code), and one that holds long text: a long-data type, or longer than kLongTextSize.
bool HoldsText(const TDBTableField& field);
bool HoldsLongText(const TDBTableField& field);

// Gives every field that has no properties yet those its column suggests; properties the
// author has set are kept.
void AddDefaultProperties(const TDBTableFieldsList& fields, TFieldPropertiesList& properties, FieldUse use);

}  // namespace tessaro::wizards
