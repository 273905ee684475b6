#include "wizards/field_defaults.h"

#include <gtest/gtest.h>

namespace tessaro::wizards {
namespace {

// The control a column starts with, by what the catalogue says of it.
TEST(FieldDefaults, TextBoxesTakeTheColumnsLengthAndLongTextATextAreaOnEntryForms) {
    struct Case {
        const char* name;
        TDBTableField field;
        FieldUse use;
        const char* control;
        const char* property1;
        const char* property2;
        long columnSize;
    };
    const Case cases[] = {
        {"short text", {"t", "c", "VARCHAR(200)", "", "", 12, 200}, FieldUse::Entry, "TextBox", "50", "200", 200},
        {"narrow text", {"t", "c", "CHAR(4)", "", "", 1, 4}, FieldUse::Entry, "TextBox", "4", "4", 4},
        {"long text by size", {"t", "c", "VARCHAR(2000)", "", "", 12, 2000}, FieldUse::Entry, "TextArea", "50", "5",
         2000},
        {"long data type", {"t", "c", "VARCHAR(2000)", "", "", -1, 2000}, FieldUse::Entry, "TextArea", "50", "5", 2000},
        {"text of no size", {"t", "c", "TEXT", "", "", -1, 0}, FieldUse::Entry, "TextArea", "50", "5", 0},
        {"wide text", {"t", "c", "NVARCHAR(30)", "", "", -9, 30}, FieldUse::Entry, "TextBox", "30", "30", 30},
        {"type name only", {"t", "c", "memo", "", "", 0, 0}, FieldUse::Entry, "TextArea", "50", "5", 0},
        // A search takes a word, whatever the column holds.
        {"search in long text", {"t", "c", "VARCHAR(2000)", "", "", -1, 2000}, FieldUse::Search, "TextBox", "50",
         "2000", 2000},
        {"search in text of no size", {"t", "c", "TEXT", "", "", -1, 0}, FieldUse::Search, "TextBox", "50", "40", 0},
        // Numbers and dates keep the plain text box.
        {"number", {"t", "c", "INTEGER", "", "", 4, 9}, FieldUse::Entry, "TextBox", "50", "40", 0},
        {"date", {"t", "c", "DATE", "", "", 9, 0}, FieldUse::Entry, "TextBox", "50", "40", 0},
    };
    for (const Case& c : cases) {
        TDBTableFieldsList fields;
        fields.Add("t.c", c.field);
        TFieldPropertiesList properties;
        AddDefaultProperties(fields, properties, c.use);
        ASSERT_EQ(properties.Count(), 1u) << c.name;
        const TFormFieldProperties& p = properties.Properties(0);
        EXPECT_EQ(p.ControlType, c.control) << c.name;
        EXPECT_EQ(p.Property1, c.property1) << c.name;
        EXPECT_EQ(p.Property2, c.property2) << c.name;
        EXPECT_EQ(p.ColumnSize, c.columnSize) << c.name;
        EXPECT_EQ(p.Caption, "c") << c.name;
    }
}

TEST(FieldDefaults, PropertiesTheAuthorSetAreKept) {
    TDBTableFieldsList fields;
    fields.Add("t.note", {"t", "note", "TEXT", "", "", -1, 0});
    TFieldPropertiesList properties;
    TFormFieldProperties& set = properties.Properties(FindOrCreateProperties("t.note", properties));
    set.ControlType = "Hidden Field";
    AddDefaultProperties(fields, properties, FieldUse::Entry);
    ASSERT_EQ(properties.Count(), 1u);
    EXPECT_EQ(properties.Properties(0).ControlType, "Hidden Field");
}

}  // namespace
}  // namespace tessaro::wizards
