// The wizards' pages in windows, driven on Qt's offscreen platform: every page kind has its
// layout, the controls show the page model and write it back before a button acts, and the
// page's own buttons and keys move entries, add joins and search fields; the field-properties
// dialog shows the controls of its type and saves the field it leaves.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <cstdlib>

#include "tests/wizardutils/sqlite_catalog_fixture.h"
#include "wizards/data_entry_wizard.h"
#include "wizards/drill_down_wizard.h"
#include "wizards/headless_driver.h"
#include "wizards/wizard_steps.h"
#include "wizards/qt/chooser_window.h"
#include "wizards/qt/field_properties_dialog.h"
#include "wizards/qt/page_views.h"
#include "wizards/qt/wizard_window.h"

namespace tessaro::wizards {
namespace {

// One application for the whole program, without a display.
class OffscreenApplication : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test_wizards_qt";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const kApplication = ::testing::AddGlobalTestEnvironment(new OffscreenApplication);

class PageViews : public wizardutils::testing::SQLiteCatalogTest {
protected:
    void SetUp() override {
        SQLiteCatalogTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        catalog_ = std::make_unique<CatalogClient>(std::string(TESSARO_BINARY_DIR) + "/bin", requests_.path());
        driver_ = std::make_unique<HeadlessDriver>(*catalog_, std::string(TESSARO_SOURCE_DIR) + "/wizards/templates");
    }

    // Runs a headless script up to the page a test looks at, then draws that page.
    PageWindow& Draw(const std::string& script) {
        EXPECT_TRUE(driver_->RunScript(script)) << driver_->Error();
        window_ = std::make_unique<PageWindow>(*driver_->Wizard(), [this] { ended_ = true; });
        window_->Redraw();
        return *window_;
    }

    // The control of the page on show (a control of a page drawn before is hidden and waits
    // for its deletion).
    template <typename T>
    T* Control(const char* name) {
        for (T* control : window_->findChildren<T*>(name))
            if (control->parentWidget() == window_.get() || !control->parentWidget()->isHidden()) return control;
        ADD_FAILURE() << "no control " << name;
        return nullptr;
    }

    void Click(const char* button) {
        QPushButton* b = Control<QPushButton>(button);
        ASSERT_TRUE(b);
        ASSERT_TRUE(b->isEnabled()) << button;
        b->click();
    }

    static std::vector<std::string> Items(QListWidget* list) {
        std::vector<std::string> items;
        for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->text().toStdString());
        return items;
    }

    TWizardManager& Wizard() { return *driver_->Wizard(); }

    tessaro::test::TempFolder requests_;
    tessaro::test::TempFolder output_;
    std::unique_ptr<CatalogClient> catalog_;
    std::unique_ptr<HeadlessDriver> driver_;
    std::unique_ptr<PageWindow> window_;
    bool ended_ = false;
};

TEST_F(PageViews, EveryPageOfBothWizardsHasItsOwnLayout) {
    for (const char* start : {"start -WIZARD1", "start -WIZARD2"}) {
        ASSERT_TRUE(driver_->Run(start));
        for (int i = 0; i < Wizard().PageCount(); ++i)
            EXPECT_NE(FindPageView(Wizard().Page(i).Form), nullptr) << start << " page " << i << " "
                                                                    << Wizard().Page(i).Form;
    }
}

TEST_F(PageViews, ThePageBaseHasItsSizeCaptionAndButtons) {
    PageWindow& window = Draw("start -WIZARD1\n");
    EXPECT_EQ(window.size(), QSize(491, 313));
    EXPECT_EQ(window.windowTitle(), "Data Entry Wizard");
    struct Button {
        const char* name;
        const char* text;
        int x;
        bool enabled;
    };
    for (const Button& b : {Button{"btnCancel", "&Cancel", 147, true}, Button{"btnPrevious", "< &Back", 232, false},
                            Button{"btnNext", "&Next >", 317, true}, Button{"btnFinish", "&Finish", 402, false}}) {
        QPushButton* button = Control<QPushButton>(b.name);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), b.text);
        EXPECT_EQ(button->geometry(), QRect(b.x, 280, 81, 25)) << b.name;
        EXPECT_EQ(button->isEnabled(), b.enabled) << b.name;
    }
    EXPECT_EQ(Control<QLabel>("lblHeading")->text(), "Welcome to Data Entry Wizard");
}

TEST_F(PageViews, TypedValuesReachTheModelAndSurviveGoingBack) {
    Draw("start -WIZARD1\n");
    Control<QLineEdit>("txtApplicationName")->setText("Staff Entry");
    Click("btnNext");
    EXPECT_EQ(Wizard().CurrentPage(), 1);
    auto& wizard = dynamic_cast<TDataEntryWizManager&>(Wizard());
    EXPECT_EQ(wizard.Model().ApplicationTitle, "Staff Entry");
    Click("btnNext");
    ASSERT_EQ(Wizard().CurrentPage(), 2);
    QListWidget* sources = Control<QListWidget>("lstDatasources");
    QLineEdit* password = Control<QLineEdit>("txtPassword");
    ASSERT_TRUE(sources && password);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    auto found = sources->findItems("wiz_staff", Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    sources->setCurrentItem(found.front());
    Control<QLineEdit>("txtUsername")->setText("author");
    password->setText("it's secret");
    Click("btnNext");
    ASSERT_EQ(Wizard().CurrentPage(), 3);
    EXPECT_EQ(wizard.Model().DataSource.DataSourceName, "wiz_staff");
    EXPECT_EQ(wizard.Model().DataSource.UserName, "author");
    EXPECT_EQ(wizard.Model().DataSource.Password, "it's secret");
    Click("btnPrevious");
    Click("btnPrevious");
    Click("btnPrevious");
    ASSERT_EQ(Wizard().CurrentPage(), 0);
    EXPECT_EQ(Control<QLineEdit>("txtApplicationName")->text(), "Staff Entry");
}

TEST_F(PageViews, FieldListsMoveByButtonsDoubleClickAndSpace) {
    Draw("start -WIZARD1\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\npress btnNext\n"
         "select lstTables staff\npress btnNext\nexpect-page 4\npress btnRemoveAll\n");
    QListWidget* available = Control<QListWidget>("lstFields");
    ASSERT_TRUE(available);
    EXPECT_EQ(Items(available), (std::vector<std::string>{"staff.id", "staff.name", "staff.dept_id", "staff.salary",
                                                          "staff.hired", "staff.notes"}));
    EXPECT_FALSE(Control<QPushButton>("btnRemove")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>("btnRemoveAll")->isEnabled());
    // Two entries picked together move in their order; the entry now at the lowest removed
    // place is selected.
    available->clearSelection();
    available->item(1)->setSelected(true);
    available->item(3)->setSelected(true);
    Click("btnAdd");
    EXPECT_EQ(Items(Control<QListWidget>("lstSelectedFields")),
              (std::vector<std::string>{"staff.name", "staff.salary"}));
    available = Control<QListWidget>("lstFields");
    EXPECT_EQ(available->selectedItems().size(), 1);
    EXPECT_EQ(available->selectedItems().front()->text(), "staff.dept_id");
    // A double click moves the entry clicked.
    QListWidgetItem* hired = available->findItems("staff.hired", Qt::MatchExactly).front();
    available->clearSelection();
    hired->setSelected(true);
    emit available->itemDoubleClicked(hired);
    EXPECT_EQ(Items(Control<QListWidget>("lstSelectedFields")),
              (std::vector<std::string>{"staff.name", "staff.salary", "staff.hired"}));
    // The space key moves the selection back.
    QListWidget* selected = Control<QListWidget>("lstSelectedFields");
    selected->item(0)->setSelected(true);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(selected, &space);
    EXPECT_EQ(Items(Control<QListWidget>("lstSelectedFields")),
              (std::vector<std::string>{"staff.salary", "staff.hired"}));
    Click("btnAddAll");
    EXPECT_TRUE(Items(Control<QListWidget>("lstFields")).empty());
    EXPECT_FALSE(Control<QPushButton>("btnAdd")->isEnabled());
    EXPECT_FALSE(Control<QPushButton>("btnAddAll")->isEnabled());
}

TEST_F(PageViews, PropertiesGridShowsEachFieldInWholeReadOnlyRows) {
    Draw("start -WIZARD1\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\npress btnNext\n"
         "select lstTables staff\npress btnNext\npress btnRemoveAll\nselect lstFields staff.salary\npress btnAdd\n"
         "press btnNext\nexpect-page 5\nproperties staff.salary\nprop Rule 4\nprop Min 1\nprop Max 9\n"
         "prop Required Yes\ndone\n");
    QTableWidget* grid = Control<QTableWidget>("grdFieldProperties");
    ASSERT_TRUE(grid);
    ASSERT_EQ(grid->columnCount(), 5);
    ASSERT_EQ(grid->rowCount(), 1);
    const char* header[] = {"Field Name", "Caption", "Type", "Required ?", "Validation"};
    const char* row[] = {"staff.salary", "salary", "TextBox", "Yes", "Range [1-9]"};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(grid->horizontalHeaderItem(c)->text(), header[c]);
        EXPECT_EQ(grid->item(0, c)->text(), row[c]);
    }
    EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(PageViews, LookAndNextPageRadiosAndTheirEdits) {
    Draw("start -WIZARD1\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\npress btnNext\n"
         "select lstTables staff\npress btnNext\npress btnAddAll\npress btnNext\npress btnNext\nexpect-page 6\n");
    EXPECT_TRUE(Control<QRadioButton>("radioTabularStyle")->isChecked());
    EXPECT_EQ(Control<QRadioButton>("radioSimpleStyle")->text(), "Simple unformated form (good for customization)");
    Control<QRadioButton>("radioPreformatedStyle")->setChecked(true);
    Click("btnNext");
    ASSERT_EQ(Wizard().CurrentPage(), 7);
    auto& wizard = dynamic_cast<TDataEntryWizManager&>(Wizard());
    EXPECT_EQ(wizard.Model().PageStyle, "PreformatedStyle");
    EXPECT_EQ(wizard.Model().Header.front(), "<HTML>");
    QLineEdit* url = Control<QLineEdit>("txtNextPage");
    EXPECT_EQ(url->text(), "http://");
    EXPECT_FALSE(url->isEnabled());
    Control<QRadioButton>("RadioExistingPage")->setChecked(true);
    EXPECT_TRUE(url->isEnabled());
    url->setText("http://localhost/done.html");
    Control<QLineEdit>("txtToEmailAddress")->setText("office@example.com");
    Click("btnPrevious");
    EXPECT_EQ(wizard.Model().TargetType, "NextPage Existing");
    EXPECT_EQ(wizard.Model().NextPageURL, "http://localhost/done.html");
    EXPECT_EQ(wizard.Model().MailTo, "office@example.com");
}

TEST_F(PageViews, JoinsSearchColumnsAndIdentifierPagesOfTheDrillDownWizard) {
    Draw("start -WIZARD2\npress btnNext\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\n"
         "press btnNext\nselect lstFields dept\nselect+ lstFields staff\npress btnAdd\npress btnNext\n"
         "expect-page 5\n");
    EXPECT_EQ(Items(Control<QListWidget>("lstJoins")), (std::vector<std::string>{"dept.dept_id = staff.dept_id"}));
    EXPECT_FALSE(Control<QPushButton>("btnRemove")->isEnabled());
    Control<QListWidget>("lstJoins")->item(0)->setSelected(true);
    Click("btnRemove");
    EXPECT_TRUE(Items(Control<QListWidget>("lstJoins")).empty());
    Control<QComboBox>("comboFields1")->setCurrentText("staff.dept_id");
    Control<QComboBox>("comboFields2")->setCurrentText("dept.dept_id");
    Click("btnAdd");
    EXPECT_EQ(Items(Control<QListWidget>("lstJoins")), (std::vector<std::string>{"staff.dept_id = dept.dept_id"}));

    Click("btnNext");
    ASSERT_EQ(Wizard().CurrentPage(), 6);
    Control<QComboBox>("comboFields")->setCurrentText("staff.name");
    Control<QComboBox>("comboConditions")->setCurrentText("contains");
    Click("btnAdd");
    EXPECT_EQ(Items(Control<QListWidget>("lstSearchFields")), (std::vector<std::string>{"staff.name (LIKE *xxx*)"}));

    ASSERT_TRUE(driver_->RunScript("press btnNext\npress btnNext\nselect lstFields staff.name\npress btnAdd\n"
                                   "press btnNext\nexpect-page 9\n"))
        << driver_->Error();
    window_->Redraw();
    QTableWidget* columns = Control<QTableWidget>("grdColumnProperties");
    ASSERT_TRUE(columns);
    ASSERT_EQ(columns->rowCount(), 1);
    EXPECT_EQ(columns->item(0, 0)->text(), "staff.name");
    EXPECT_FALSE(columns->item(0, 0)->flags() & Qt::ItemIsEditable);
    columns->item(0, 1)->setText("Name & title");
    columns->item(0, 2)->setText("35");
    Click("btnNext");
    auto& wizard = dynamic_cast<TDrillDownWizManager&>(Wizard());
    ASSERT_EQ(wizard.Model().ResultFields.Count(), 1u);
    EXPECT_EQ(wizard.Model().ResultFields.Fields(0).Setting, "Name & title");
    EXPECT_EQ(wizard.Model().ResultFields.Fields(0).ColumnWidth, "35");

    Click("btnAddAll");
    Click("btnNext");
    ASSERT_EQ(Wizard().CurrentPage(), 11);
    Control<QComboBox>("comboFields")->setCurrentText("staff.id");
    Click("btnPrevious");
    EXPECT_EQ(wizard.Model().UniqueId.FieldName, "id");
}

TEST_F(PageViews, CancelFromTheWindowEndsTheWizardOnYes) {
    Draw("start -WIZARD1\nanswer yes\n");
    Click("btnCancel");
    EXPECT_TRUE(Wizard().Ended());
    EXPECT_TRUE(ended_);
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(PageViews, TheChooserOffersTwoWizardsAndHidesTheThird) {
    ChooserWindow chooser(*catalog_, std::string(TESSARO_SOURCE_DIR) + "/wizards/templates");
    EXPECT_EQ(chooser.windowTitle(), "Tessaro Web Application Wizards");
    EXPECT_EQ(chooser.size(), QSize(453, 239));
    struct Panel {
        const char* name;
        const char* title;
        bool hidden;
    };
    for (const Panel& p : {Panel{"Panel1", "Data Entry Application", false},
                           Panel{"Panel2", "Data Drill-Down Application", false},
                           Panel{"Panel3", "Data Maintenance Application", true}}) {
        auto* panel = chooser.findChild<QWidget*>(p.name);
        ASSERT_TRUE(panel) << p.name;
        EXPECT_EQ(panel->isHidden(), p.hidden) << p.name;
        bool titled = false;
        for (QLabel* label : panel->findChildren<QLabel*>()) titled = titled || label->text() == p.title;
        EXPECT_TRUE(titled) << p.name;
    }
    EXPECT_FALSE(chooser.findChild<QLabel*>("imgWizards")->pixmap(Qt::ReturnByValue).isNull());
    // A click on a panel's text starts its wizard.
    QLabel* text = chooser.findChild<QWidget*>("Panel2")->findChildren<QLabel*>().back();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(text, &press);
    QApplication::sendEvent(text, &release);
    ASSERT_TRUE(chooser.Wizard());
    EXPECT_EQ(chooser.Wizard()->WizardTitle(), "Data Drill-Down Wizard");
    chooser.Page()->hide();
}

}  // namespace
}  // namespace tessaro::wizards

namespace tessaro::wizards {
namespace {

TEST_F(PageViews, PropertiesDialogShowsTheControlsOfItsTypeAndSavesTheFieldItLeaves) {
    ASSERT_TRUE(driver_->RunScript("start -WIZARD1\npress btnNext\npress btnNext\nselect lstDatasources wiz_staff\n"
                                   "press btnNext\nselect lstTables staff\npress btnNext\npress btnRemoveAll\n"
                                   "select lstFields staff.name\nselect+ lstFields staff.salary\npress btnAdd\n"
                                   "press btnNext\nexpect-page 5\n"))
        << driver_->Error();
    FormFieldsRef form = FormFieldsOf(Wizard());
    FieldPropertiesDialog dialog("staff.name", *form.fields, *form.properties, Wizard().GetDialogs());
    EXPECT_EQ(dialog.windowTitle(), "Entry Field Properties");
    auto* fieldName = dialog.findChild<QComboBox*>("comboFieldName");
    auto* content = dialog.findChild<QLineEdit*>("txtContent");
    auto* property1 = dialog.findChild<QLineEdit*>("txtProperty1");
    auto* visible = dialog.findChild<QLineEdit*>("txtNumVisibleItems");
    auto* options = dialog.findChild<QTableWidget*>("gridOptions");
    ASSERT_TRUE(fieldName && content && property1 && visible && options);
    EXPECT_EQ(fieldName->count(), 2);
    struct Shown {
        const char* radio;
        bool content, property1, visible, options;
    };
    for (const Shown& s : {Shown{"radioTextBox", true, true, false, false},
                           Shown{"radioDropDown", false, false, false, true},
                           Shown{"radioHidden", true, false, false, false},
                           Shown{"radioMultipleSelect", false, false, true, true}}) {
        dialog.findChild<QRadioButton*>(s.radio)->setChecked(true);
        EXPECT_EQ(!content->isHidden(), s.content) << s.radio;
        EXPECT_EQ(!property1->isHidden(), s.property1) << s.radio;
        EXPECT_EQ(!visible->isHidden(), s.visible) << s.radio;
        EXPECT_EQ(!options->isHidden(), s.options) << s.radio;
    }
    dialog.findChild<QLineEdit*>("txtCaption")->setText("Full name");
    options->item(0, 0)->setText("Ann");
    options->item(0, 2)->setText("s");  // a typed S selects the option
    EXPECT_EQ(options->item(0, 2)->text(), "Yes");
    fieldName->setCurrentText("staff.salary");
    const TFormFieldProperties& name = form.properties->Properties(FindOrCreateProperties("staff.name", *form.properties));
    EXPECT_EQ(name.Caption, "Full name");
    EXPECT_EQ(name.ControlType, "Multi-Select");
    EXPECT_EQ(name.Options[0].Choice, "Ann");
    EXPECT_EQ(name.Options[0].Selected, "Yes");
    EXPECT_EQ(dialog.findChild<QLineEdit*>("txtCaption")->text(), "salary");
    // Cancel leaves the field on display as it was.
    dialog.findChild<QLineEdit*>("txtCaption")->setText("Pay");
    dialog.reject();
    EXPECT_EQ(form.properties->Properties(FindOrCreateProperties("staff.salary", *form.properties)).Caption, "salary");
}

}  // namespace
}  // namespace tessaro::wizards
