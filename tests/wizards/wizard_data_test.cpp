#include "wizards/wizard_data.h"

#include <gtest/gtest.h>

#include "wizards/field_properties_form.h"
#include "wizards/type_names.h"

namespace tessaro::wizards {
namespace {

TEST(FieldProperties, AFieldNeverEditedHasEveryDefault) {
    TFieldPropertiesList list;
    std::size_t i = FindOrCreateProperties("staff.name", list);
    const TFormFieldProperties& p = list.Properties(i);
    EXPECT_EQ(p.QualifiedName, "staff.name");
    EXPECT_EQ(p.Caption, "name");
    EXPECT_EQ(p.ControlType, "TextBox");
    EXPECT_EQ(p.Property1, "50");
    EXPECT_EQ(p.Property2, "40");
    EXPECT_EQ(p.VisibleItems, 10);
    EXPECT_EQ(p.ValidationRule, "(none)");
    EXPECT_FALSE(p.Required);
    EXPECT_EQ(p.Options[99].Choice, "");
    list.Properties(i).Caption = "Name";
    EXPECT_EQ(FindOrCreateProperties("staff.name", list), i);  // found, not added again
    EXPECT_EQ(list.Properties(i).Caption, "Name");
    EXPECT_EQ(list.Count(), 1u);
}

TEST(FieldProperties, EachControlTypeOffersItsOwnValueControls) {
    struct Case {
        const char* type;
        bool content, properties, visibleItems, options;
        const char *contentLabel, *property1Label, *property2Label;
    };
    for (const Case& c : {
             Case{"TextBox", true, true, false, false, "Default Content:", "TextBox Size:", "Maximum Length:"},
             Case{"TextArea", true, true, false, false, "Default Content:", "Width:", "Height:"},
             Case{"Hidden Field", true, false, false, false, "Field Value:", "", ""},
             Case{"Drop-Down", false, false, false, true, "", "", ""},
             Case{"Single-Select", false, false, true, true, "", "", ""},
             Case{"Multi-Select", false, false, true, true, "", "", ""},
             Case{"Radio Buttons", false, false, false, true, "", "", ""},
             Case{"Checkboxes", false, false, false, true, "", "", ""},
         }) {
        FieldTypeControls shown = ControlsForType(c.type);
        EXPECT_EQ(shown.content, c.content) << c.type;
        EXPECT_EQ(shown.properties, c.properties) << c.type;
        EXPECT_EQ(shown.visibleItems, c.visibleItems) << c.type;
        EXPECT_EQ(shown.options, c.options) << c.type;
        EXPECT_EQ(shown.contentLabel, c.contentLabel) << c.type;
        EXPECT_EQ(shown.property1Label, c.property1Label) << c.type;
        EXPECT_EQ(shown.property2Label, c.property2Label) << c.type;
    }
}

TEST(FieldLists, FormLabelsAndJoinTexts) {
    TDBTableFieldsList fields;
    fields.Add(QualifiedName("staff", "dept_id"), {"staff", "dept_id", "INTEGER", "", ""});
    EXPECT_EQ(fields.Key(0), "staff.dept_id");
    EXPECT_EQ(fields.FormLabel(0), "staff__dept_id");
    EXPECT_EQ(JoinText("staff.dept_id", "dept.dept_id"), "staff.dept_id = dept.dept_id");
    EXPECT_TRUE(ContainsSpace("my table"));
    EXPECT_FALSE(ContainsSpace("my_table"));
}

struct TypeCase {
    const char* declared;
    const char* base;
    bool text;
    bool number;
};

TEST(TypeNames, DeclaredSizesAreCutBeforeComparing) {
    for (const TypeCase& c :
         {TypeCase{"varchar(20)", "VARCHAR", true, false}, TypeCase{" char (3) ", "CHAR", true, false},
          TypeCase{"TEXT", "TEXT", true, false}, TypeCase{"numeric(10,2)", "NUMERIC", false, true},
          TypeCase{"INTEGER", "INTEGER", false, true}, TypeCase{"DATE", "DATE", false, false},
          TypeCase{"memo", "MEMO", true, false}, TypeCase{"int4", "INT4", false, true},
          TypeCase{"double precision", "DOUBLE PRECISION", false, true},
          TypeCase{"timestamp", "TIMESTAMP", false, false}}) {
        EXPECT_EQ(BaseTypeName(c.declared), c.base) << c.declared;
        EXPECT_EQ(IsTextType(c.declared), c.text) << c.declared;
        EXPECT_EQ(IsNumericType(c.declared), c.number) << c.declared;
    }
}

// Fields of the named tables (one column each) and joins written "A-B".
struct CoverageCase {
    const char* name;
    std::vector<std::string> tables;
    std::vector<std::pair<std::string, std::string>> joins;
    bool covered;
};

class JoinCoverage : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(JoinCoverage, ConnectedJoinSetsCoverTheirTables) {
    const CoverageCase& c = GetParam();
    TDBTableFieldsList fields;
    for (const std::string& t : c.tables) fields.Add(QualifiedName(t, "id"), {t, "id", "INTEGER", "", ""});
    TDBJoinsList joins;
    for (const auto& [a, b] : c.joins) joins.Add(JoinText(a + ".id", b + ".id"), {a, b});
    TDBJoinsList work;
    std::vector<std::string> tables;
    EXPECT_EQ(JoinsCoverTables(fields, joins, work, tables), c.covered);
    EXPECT_EQ(tables.front(), c.tables.front());
    EXPECT_EQ(joins.Count(), c.joins.size());  // the chosen joins are never touched
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinCoverage,
    ::testing::Values(CoverageCase{"OneTable", {"T1", "T1"}, {}, true},
                      CoverageCase{"Chain", {"T1", "T2", "T3"}, {{"T1", "T2"}, {"T2", "T3"}}, true},
                      CoverageCase{"ThirdTableLeftOut", {"T1", "T2", "T3"}, {{"T1", "T2"}}, false},
                      // Two groups merged after their first member was relabelled: still one group.
                      CoverageCase{"MergedGroups", {"C", "D", "B", "E"}, {{"C", "B"}, {"B", "E"}, {"C", "D"}}, true},
                      CoverageCase{"TwoTablesNoJoin", {"T1", "T2"}, {}, false},
                      CoverageCase{"TwoSeparatePairs", {"A", "B", "C", "D"}, {{"A", "B"}, {"C", "D"}}, false},
                      CoverageCase{"StarWithExtraJoin", {"A", "B", "C"}, {{"A", "B"}, {"A", "C"}, {"B", "C"}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro::wizards
