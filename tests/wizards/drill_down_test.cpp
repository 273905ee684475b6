// The drill-down wizard's rules, and whole flows headless against SQLite through tsutils.
#include "wizards/drill_down_rules.h"
#include "wizards/drill_down_wizard.h"
#include "wizards/headless_driver.h"

#include <gmock/gmock.h>

#include "tests/common/file_text.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"

namespace tessaro::wizards {
namespace {

using tessaro::test::ReadFileText;
using ::testing::HasSubstr;

TEST(DrillDownRules, ConditionsSuitTypes) {
    struct Case {
        const char* condition;
        const char* type;
        bool suits;
    };
    for (const Case& c :
         {Case{">", "VARCHAR", false}, Case{"=", "VARCHAR", true}, Case{"LIKE *xxx*", "LONG", false},
          Case{"=", "LONG", true}, Case{"<=", "varchar(20)", false}, Case{"LIKE xxx*", "INTEGER", false},
          Case{"LIKE xxx*", "numeric(10,2)", false}, Case{"LIKE *xxx", "TEXT", true}, Case{">=", "DATE", true}})
        EXPECT_EQ(ConditionSuitsType(c.condition, c.type), c.suits) << c.condition << " " << c.type;
    EXPECT_EQ(MatchingConditions()[2].DisplayText, "contains");
}

TEST(DrillDownRules, JoinsAreGuessedOnEqualNamesOnceEachWay) {
    TDBTableFieldsList columns;
    for (const char* t : {"T1", "T2"})
        for (const char* c : {"ID", "CITY", "MIDDLEINITIAL"})
            columns.Add(QualifiedName(t, c), {t, c, "INTEGER", "", ""});
    TDBJoinsList joins;
    GuessJoins(columns, joins);
    ASSERT_EQ(joins.Count(), 1u);
    EXPECT_EQ(joins.Key(0), "T1.ID = T2.ID");
    EXPECT_EQ(joins.Joins(0).Table1, "T1");
    std::string message;
    EXPECT_FALSE(AddJoin(columns.Fields(3), columns.Fields(0), joins, message));
    EXPECT_EQ(message, "The join (T2.ID = T1.ID) was already added.");
    EXPECT_FALSE(AddJoin({"T1", "my id", "INTEGER", "", ""}, columns.Fields(3), joins, message));
    EXPECT_EQ(message,
              "The wizard does not support field names containing spaces. Please modify the name of the field "
              "[T1.my id] before creating a join.");
}

TEST(DrillDownRules, SearchFieldRefusals) {
    TDBTableFieldsList search;
    std::string message;
    TDBTableField text{"T", "C", "VARCHAR", "", ""};
    EXPECT_FALSE(AddSearchField(text, MatchingConditions()[4], search, message));
    EXPECT_EQ(message,
              "The field (T.C) is of type [VARCHAR] which cannot be used in conjuction with (is greater than) "
              "matching condition.'.");
    EXPECT_TRUE(AddSearchField(text, MatchingConditions()[3], search, message));
    EXPECT_EQ(search.Fields(0).Setting, "=");
    EXPECT_FALSE(AddSearchField(text, MatchingConditions()[0], search, message));
    EXPECT_EQ(message, "The field T.C was already added.");
    EXPECT_FALSE(AddSearchField({"T", "L", "LONG", "", ""}, MatchingConditions()[2], search, message));
}

class DrillDownFlow : public wizardutils::testing::SQLiteCatalogTest {
protected:
    std::string ProgramDir() const { return std::string(TESSARO_BINARY_DIR) + "/bin"; }
    std::string Templates() const { return std::string(TESSARO_SOURCE_DIR) + "/wizards/templates"; }
    bool Run(HeadlessDriver& driver, const std::string& script) {
        bool ok = driver.RunScript(script);
        EXPECT_TRUE(ok) << driver.Error();
        return ok;
    }
    tessaro::test::TempFolder requests_;
    tessaro::test::TempFolder output_;
};

TEST_F(DrillDownFlow, TwoRelatedTablesFromTitleToThreeTemplates) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    HeadlessDriver driver(catalog, Templates());
    const std::string out = output_.path() + "/finder";
    ASSERT_TRUE(
        Run(driver,
            "start -WIZARD2\npress btnNext\nset txtApplicationName Staff Finder\npress btnNext\n"
            "answer " +
                out +
                "\npress btnBrowse\npress btnNext\n"
                "select lstDatasources wiz_staff\npress btnNext\nexpect-page 4\n"
                "press btnNext\nexpect-message You need to select at least a single table in order to proceed.\n"
                "select lstFields dept\nselect+ lstFields staff\npress btnAdd\npress btnNext\nexpect-page 5\n"
                "select comboFields1 dept.dept_id\nselect comboFields2 staff.dept_id\npress btnAdd\n"
                "expect-message The join (dept.dept_id = staff.dept_id) was already added.\n"
                "press btnNext\nexpect-page 6\n"
                "press btnNext\nexpect-message You need to select at least a single field in order to proceed.\n"
                "select comboFields staff.name\nselect comboConditions is greater than\npress btnAdd\n"
                "expect-message The field (staff.name) is of type [VARCHAR(20)] which cannot be used in conjuction "
                "with (is greater than) matching condition.'.\n"
                "select comboConditions contains\npress btnAdd\npress btnAdd\n"
                "expect-message The field staff.name was already added.\n"
                "select comboFields staff.id\nselect comboConditions is greater or equal to\npress btnAdd\n"
                "press btnNext\nexpect-page 7\nproperties staff.name\nprop Caption Name contains\ndone\n"
                "press btnNext\nexpect-page 8\nselect lstFields staff.name\npress btnAdd\npress btnNext\n"
                "expect-page 9\nset Caption:staff.name Name\npress btnNext\nexpect-page 10\n"
                "select lstFields staff.name\nselect+ lstFields dept.title\npress btnAdd\npress btnNext\n"
                "expect-page 11\npress btnNext\n"
                "expect-message You need to select the Unique Identifier in order to proceed.\n"
                "select comboFields staff.id\npress btnNext\nexpect-page 12\n"));
    std::string search = ReadFileText(out + "/Search.TSM");
    EXPECT_THAT(search,
                HasSubstr("<TR><TD ALIGN=\"right\">Name contains</TD><TD><INPUT TYPE=\"text\" NAME=\"staff__name\""));
    // Every column of the result page is the staff table's, so that query needs no join.
    std::string results = ReadFileText(out + "/Results.TSM");
    EXPECT_THAT(results, HasSubstr("SELECT staff.name,staff.id\nFROM staff\nWHERE  0=0 \n"));
    EXPECT_THAT(results, HasSubstr("       AND staff.name LIKE '%#staff__name#%' \n"));
    EXPECT_THAT(results, HasSubstr("       AND staff.id >= #Val(staff__id)# \n"));
    EXPECT_THAT(results, HasSubstr("<TSCOL HEADER=\"Name\" WIDTH=\"20\" TEXT=\"<A HREF=\"\"Detail.TSM?staff__id="
                                   "#URLEncodedFormat(id)#\"\">#HTMLEditFormat(name)#</A>\">"));
    std::string detail = ReadFileText(out + "/Detail.TSM");
    EXPECT_THAT(detail,
                HasSubstr("SELECT dept.title,staff.name\nFROM dept,staff\nWHERE dept.dept_id = staff.dept_id AND  "
                          "staff.id = #Val(staff__id)# \n"));
    EXPECT_FALSE(ReadFileText(out + "/results.gif").empty());
    auto* wizard = dynamic_cast<TDrillDownWizManager*>(driver.Wizard());
    EXPECT_THAT(wizard->Page(12).Texts["reditExplanation"], HasSubstr(out + "/Results.TSM"));
}

TEST_F(DrillDownFlow, OneTableSkipsTheJoinsPageBothWaysAndAnotherSourceEmptiesTheChoices) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    HeadlessDriver driver(catalog, Templates());
    ASSERT_TRUE(Run(driver,
                    "start -WIZARD2\npress btnNext\npress btnNext\npress btnNext\n"
                    "select lstDatasources wiz_staff\npress btnNext\nselect lstFields staff\npress btnAdd\n"
                    "press btnNext\nexpect-page 6\nselect comboFields staff.name\npress btnAdd\n"
                    "press btnPrevious\nexpect-page 4\npress btnPrevious\nexpect-page 3\n"
                    "select lstDatasources wiz_empty\npress btnNext\n"
                    "expect-message There are no tables in the ODBC Data Source you selected.\n"));
    auto* wizard = dynamic_cast<TDrillDownWizManager*>(driver.Wizard());
    EXPECT_TRUE(wizard->Model().Tables.empty());
    EXPECT_TRUE(wizard->Model().SearchFields.Empty());
    EXPECT_TRUE(wizard->Model().AllFields.Empty());
}

}  // namespace
}  // namespace tessaro::wizards
