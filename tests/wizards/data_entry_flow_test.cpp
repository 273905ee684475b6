// Whole data-entry wizard flows, headless, against a SQLite data source through tsutils.
#include "wizards/headless_driver.h"

#include <gmock/gmock.h>

#include <cstdlib>

#include "tests/common/file_text.h"
#include "tests/wizardutils/sqlite_catalog_fixture.h"
#include "wizards/data_entry_wizard.h"

namespace tessaro::wizards {
namespace {

using tessaro::test::ReadFileText;

using ::testing::HasSubstr;

class DataEntryFlow : public wizardutils::testing::SQLiteCatalogTest {
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

TEST_F(DataEntryFlow, FromTitleToGeneratedFilesWithEveryRefusalOnTheWay) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    HeadlessDriver driver(catalog, Templates());
    const std::string out = output_.path() + "/app";
    ASSERT_TRUE(Run(driver,
                    "start -WIZARD1\n"
                    "expect-page 0\n"
                    "set txtApplicationName \n"
                    "press btnNext\n"
                    "expect-message You need to enter a valid name for your application.\n"
                    "expect-page 0\n"
                    "set txtApplicationName Staff Entry\n"
                    "press btnNext\n"
                    "expect-page 1\n"
                    "answer " +
                        out +
                        "\n"
                        "press btnBrowse\n"
                        "press btnNext\n"
                        "expect-page 2\n"
                        "select lstDatasources wiz_staff\n"
                        "press btnNext\n"
                        "expect-page 3\n"
                        "select lstTables staff\n"
                        "press btnNext\n"
                        "expect-page 4\n"
                        "press btnRemoveAll\n"
                        "press btnNext\n"
                        "expect-message You need to select at least a single field in order to proceed.\n"
                        "select lstFields staff.name\n"
                        "select+ lstFields staff.dept_id\n"
                        "press btnAdd\n"
                        "press btnNext\n"
                        "expect-page 5\n"
                        "properties staff.dept_id\n"
                        "prop Caption Department\n"
                        "prop ControlType Drop-Down\n"
                        "option 1 Sales & Support|1|Yes\n"
                        "option 2 R'n'D|2|Yes\n"
                        "prop Rule 4\n"
                        "done\n"
                        "expect-message The limits for the Range validation rule are invalid. The validation rule was "
                        "set to (none).\n"
                        "properties staff.name\n"
                        "prop Required Yes\n"
                        "prop ControlType TextArea\n"
                        "prop Property2 \n"
                        "done\n"
                        "press btnNext\n"
                        "expect-page 6\n"
                        "check radioSimpleStyle\n"
                        "press btnNext\n"
                        "expect-page 7\n"
                        "press btnFinish\n"
                        "expect-message You need to chose a type of Target Page for your application.\n"
                        "set txtToEmailAddress boss@example.com\n"
                        "press btnNext\n"
                        "expect-page 8\n"));
    auto* wizard = dynamic_cast<TDataEntryWizManager*>(driver.Wizard());
    ASSERT_NE(wizard, nullptr);
    const TFormFieldProperties& dept = wizard->Model().FieldProperties.Properties(
        FindOrCreateProperties("staff.dept_id", wizard->Model().FieldProperties));
    EXPECT_EQ(dept.Options[0].Selected, "Yes");
    EXPECT_EQ(dept.Options[1].Selected, "No");  // one "Yes" in a drop-down
    EXPECT_EQ(dept.ValidationRule, "(none)");

    std::string form = ReadFileText(out + "/EntryForm.TSM");
    EXPECT_THAT(form, HasSubstr("<CENTER><H1>Staff Entry</H1></CENTER>"));
    EXPECT_THAT(
        form,
        HasSubstr("Department <SELECT NAME=\"dept_id\">\n     <OPTION VALUE=\"1\" SELECTED>Sales &amp; Support\n"));
    // The field started as a text box as wide and as long as the column, varchar(20); as a
    // text area it keeps that width and limit.
    EXPECT_THAT(form, HasSubstr("<TEXTAREA NAME=\"name\" COLS=\"20\" ROWS=\"10\" MAXLENGTH=\"20\"></TEXTAREA><BR>"));
    EXPECT_THAT(
        form,
        HasSubstr("<INPUT TYPE=\"hidden\" NAME=\"name_required\" VALUE=\"You cannot leave the field (name) empty.\">"));
    std::string entry = ReadFileText(out + "/DataEntry.TSM");
    EXPECT_THAT(entry, HasSubstr("<TSMAIL FROM=\"Unknown\"\n        TO=\"boss@example.com\"\n"
                                 "        SUBJECT=\"Data Submition (Staff Entry)\">\n"));
    EXPECT_THAT(entry, HasSubstr("TABLENAME=\"staff\""));
    EXPECT_FALSE(ReadFileText(out + "/entryform.gif").empty());
    EXPECT_FALSE(ReadFileText(out + "/dataentry.gif").empty());
    EXPECT_THAT(wizard->Page(8).Texts["reditExplanation"], HasSubstr(out + "/EntryForm.TSM"));
    for (int i = 0; i < wizard->PageCount(); ++i) EXPECT_TRUE(wizard->Page(i).Buttons[kFinishButton]) << i;

    // Again from the page before: the author keeps the files and cancels the save dialog.
    ASSERT_TRUE(Run(driver,
                    "press btnPrevious\n"
                    "expect-page 7\n"
                    "answer no\n"
                    "answer cancel\n"
                    "press btnFinish\n"
                    "expect-message The wizards could not generate the files necessary for your application.\n"
                    "expect-page 7\n"));
    EXPECT_THAT(driver.Messages()[driver.Messages().size() - 2],
                HasSubstr("Wizard is about to generate a file that already exists: " + out +
                          "/EntryForm.TSM. Would you like to overwrite this file ?"));
    // A save under another name; the other files are written over.
    ASSERT_TRUE(Run(driver,
                    "answer no\n"
                    "answer " +
                        out +
                        "/Other.TSM\n"
                        "answer yes\n"
                        "answer yes\n"
                        "press btnNext\n"
                        "expect-page 8\n"
                        "press btnFinish\n"
                        "expect-ended\n"));
    EXPECT_FALSE(ReadFileText(out + "/Other.TSM").empty());
    EXPECT_EQ(wizard->Model().EntryFormFile, out + "/Other.TSM");
}

TEST_F(DataEntryFlow, ChoosingAnotherTableEmptiesTheChosenFields) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    HeadlessDriver driver(catalog, Templates());
    ASSERT_TRUE(Run(driver,
                    "start -WIZARD1\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\npress btnNext\n"
                    "select lstTables staff\npress btnNext\nselect lstFields staff.name\npress btnAdd\n"
                    "press btnPrevious\nselect lstTables staff\npress btnNext\n"));
    EXPECT_EQ(driver.Wizard()->Page(4).Lists["lstSelectedFields"], std::vector<std::string>{"staff.name"});
    ASSERT_TRUE(Run(driver, "press btnPrevious\nselect lstTables dept\npress btnNext\n"));
    EXPECT_TRUE(driver.Wizard()->Page(4).Lists["lstSelectedFields"].empty());
    EXPECT_EQ(driver.Wizard()->Page(4).Lists["lstFields"], (std::vector<std::string>{"dept.dept_id", "dept.title"}));
}

TEST_F(DataEntryFlow, CancelAsksAndTheCommandLineIsExact) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    HeadlessDriver lower(catalog, Templates());
    ASSERT_TRUE(lower.Run("start -wizard1"));
    EXPECT_TRUE(lower.ChooserVisible());
    EXPECT_EQ(lower.Wizard(), nullptr);

    HeadlessDriver third(catalog, Templates());
    ASSERT_TRUE(third.Run("start -WIZARD3"));
    EXPECT_EQ(third.Messages(), std::vector<std::string>{"The specified wizard is currently not available."});
    EXPECT_TRUE(third.ChooserVisible());

    HeadlessDriver driver(catalog, Templates());
    ASSERT_TRUE(Run(driver,
                    "start -WIZARD1\nset txtApplicationName Kept\nanswer no\npress btnCancel\n"
                    "expect-message Are you sure you want to exit the wizard ?\nexpect-page 0\n"));
    EXPECT_EQ(driver.Wizard()->Page(0).Texts["txtApplicationName"], "Kept");
    ASSERT_TRUE(Run(driver, "answer yes\npress btnCancel\nexpect-ended\n"));
}

TEST_F(DataEntryFlow, AnEmptyCatalogueIsReported) {
    CatalogClient catalog(ProgramDir(), requests_.path(), [](const std::string&, const std::string&) { return false; });
    HeadlessDriver driver(catalog, Templates());
    ASSERT_TRUE(Run(driver,
                    "start -WIZARD1\npress btnNext\npress btnNext\n"
                    "expect-message There are no System ODBC Data Sources registered on this computer. Even if you "
                    "are developing on a remote server you need to setup local system ODBC data sources in order "
                    "to use the wizard.\npress btnNext\n"
                    "expect-message You need to select a valid ODBC Data Source in order to proceed.\n"));
}

// A name the page does not have is answered with the names it has, so a script can be
// written without reading the code.
TEST_F(DataEntryFlow, AWrongControlNameIsAnsweredWithThePagesNames) {
    CatalogClient catalog(ProgramDir(), requests_.path());
    const struct {
        const char* script;  // the last line fails
        const char* error;
    } cases[] = {
        {"set txtAppName X\n", "line 2: page 0 has no edit txtAppName; its edits: txtApplicationName"},
        {"press btnNxt\n", "line 2: unknown button btnNxt; the buttons of page 0: btnNext, btnPrevious, btnFinish, "
                            "btnCancel"},
        {"press btnNext\npress btnBrowze\n",
         "line 3: unknown button btnBrowze; the buttons of page 1: btnNext, btnPrevious, btnFinish, btnCancel, "
         "btnBrowse"},
        {"press btnNext\npress btnNext\nselect lstDatasource wiz_staff\n",
         "line 4: page 2 has no list lstDatasource; its lists: lstDatasources"},
        {"press btnNext\npress btnNext\nset txtUser sa\n",
         "line 4: page 2 has no edit txtUser; its edits: txtUsername, txtPassword"},
        {"press btnNext\npress btnNext\nselect lstDatasources nowhere\n",
         "line 4: no entry \"nowhere\" in lstDatasources; its entries: "},
        {"press btnNext\npress btnNext\nselect lstDatasources wiz_staff\npress btnNext\nselect lstTables staff\n"
         "press btnNext\npress btnAddAll\npress btnNext\npress btnNext\ncheck radioTabular\n",
         "line 11: page 6 has no radio radioTabular; its radios: radioPreformatedStyle, radioSimpleStyle, "
         "radioTabularStyle"},
    };
    for (const auto& c : cases) {
        HeadlessDriver driver(catalog, Templates());
        EXPECT_FALSE(driver.RunScript(std::string("start -WIZARD1\n") + c.script)) << c.script;
        EXPECT_EQ(driver.Error().rfind(c.error, 0), 0u) << driver.Error();
    }
}

TEST(FieldPropertiesForm, SavingAppliesTheDialogsRules) {
    ScriptedDialogs dialogs;
    TFormFieldProperties p;
    FieldPropertiesForm f = LoadFieldProperties(p);
    f.ControlType = "TextBox";
    f.Property1 = "";
    f.Property2 = "";
    f.VisibleItems = "";
    SaveFieldProperties(f, p, dialogs);
    EXPECT_EQ(p.Property1, "50");
    EXPECT_EQ(p.Property2, "");  // a text box keeps an empty maximum length
    EXPECT_EQ(p.VisibleItems, 10);
    EXPECT_EQ(SelectedCellAfterKey("No", 'e'), "Yes");
    EXPECT_EQ(SelectedCellAfterKey("Yes", 'q'), "No");
    EXPECT_EQ(SelectedCellAfterKey("Yes", 8), "Yes");
    EXPECT_EQ(DigitsOnly("4a2-"), "42");
    EXPECT_EQ(DefaultRuleMessage(2, "Pay"), "The value in the field (Pay) must be a floating point number.");
    EXPECT_TRUE(dialogs.Shown().empty());
}

TEST(FieldSelection, MovingEntriesKeepsTheirOrderAndASelection) {
    WizardPage page;
    page.Lists["lstFields"] = {"a", "b", "c", "d"};
    page.Selections["lstFields"] = {3, 1};
    MoveListEntries(page, "lstFields", "lstSelectedFields", false);
    EXPECT_EQ(page.Lists["lstSelectedFields"], (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(page.Lists["lstFields"], (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(page.Selections["lstFields"], std::vector<std::size_t>{1});
    std::string message;
    EXPECT_FALSE(CheckFieldSelection({"t.a b", "t.ok", "t.c d"}, message));
    EXPECT_EQ(message,
              "The wizard does not support field names containing spaces. Please de-select [t.c d] or modify its "
              "name before proceeding.");
}

}  // namespace
}  // namespace tessaro::wizards

namespace tessaro::wizards {
namespace {

class TswizardsProgram : public wizardutils::testing::SQLiteCatalogTest {};

TEST_F(TswizardsProgram, RunsAScriptAndPrintsEveryMessage) {
    tessaro::test::TempFolder folder;
    std::string script = folder.write("flow.txt",
                                      "set txtApplicationName \npress btnNext\nanswer no\npress btnCancel\n"
                                      "expect-page 0\nexpect-page 5\n");
    std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tswizards";
    std::string output = folder.path() + "/out.txt";
    int status = std::system(("'" + program + "' --script '" + script + "' -WIZARD1 >'" + output + "' 2>&1").c_str());
    EXPECT_NE(status, 0);  // the last expectation fails
    std::string text = ReadFileText(output);
    EXPECT_THAT(text, HasSubstr("MESSAGE: You need to enter a valid name for your application.\n"
                                "MESSAGE: Are you sure you want to exit the wizard ?\n"));
    EXPECT_THAT(text, HasSubstr("tswizards: line 6: expected page 5, on page 0"));
}

// --help answers without a window (no display is needed) and exits 0.
TEST(TswizardsHelp, PrintsTheUsageAndExitsZero) {
    tessaro::test::TempFolder folder;
    std::string program = std::string(TESSARO_BINARY_DIR) + "/bin/tswizards";
    std::string output = folder.path() + "/help.txt";
    int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= '" + program + "' --help >'" +
                              output + "' 2>&1")
                                 .c_str());
    EXPECT_EQ(status, 0) << ReadFileText(output);
    std::string text = ReadFileText(output);
    EXPECT_THAT(text, HasSubstr("usage: tswizards"));
    EXPECT_THAT(text, HasSubstr("docs/wizards.md"));
}

}  // namespace
}  // namespace tessaro::wizards
