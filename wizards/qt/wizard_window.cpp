#include "wizards/qt/wizard_window.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QMessageBox>
#include <QPushButton>

#include "wizards/data_entry_wizard.h"
#include "wizards/page_buttons.h"
#include "wizards/qt/field_properties_dialog.h"
#include "wizards/qt/page_views.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {
constexpr const char* kApplicationTitle = "Tessaro Application Wizards";
// The page buttons in the order of WizardPage::Buttons.
constexpr const char* kPageButtons[4] = {"btnCancel", "btnPrevious", "btnFinish", "btnNext"};
}  // namespace

void QtDialogs::Information(const std::string& text) {
    QMessageBox::information(nullptr, kApplicationTitle, Q(text));
}
void QtDialogs::Error(const std::string& text) {
    QMessageBox::critical(nullptr, kApplicationTitle, Q(text));
}
bool QtDialogs::YesNo(const std::string& text) {
    return QMessageBox::question(nullptr, kApplicationTitle, Q(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}
std::optional<std::string> QtDialogs::SaveFile(const std::string& preset) {
    QString name =
        QFileDialog::getSaveFileName(nullptr, "Save As", Q(preset), "Templates (*.TSM *.tsm);;All files (*)");
    if (name.isEmpty()) return std::nullopt;
    return name.toStdString();
}
std::optional<std::string> QtDialogs::ChooseFolder(const std::string& start) {
    // The non-native dialog offers "Create New Folder".
    QString dir =
        QFileDialog::getExistingDirectory(nullptr, "Select Directory", Q(start), QFileDialog::DontUseNativeDialog);
    if (dir.isEmpty()) return std::nullopt;
    return dir.toStdString();
}

PageWindow::PageWindow(TWizardManager& wizard, std::function<void()> ended)
    : wizard_(wizard), ended_(std::move(ended)) {
    setFixedSize(491, 313);
    setWindowTitle("Wizard Form");
    setFont(FormFont(12, false));
    auto* bar = new QFrame(this);
    bar->setObjectName("Panel1");
    bar->setGeometry(8, 273, 481, 4);
    bar->setFrameShape(QFrame::HLine);
    bar->setFrameShadow(QFrame::Sunken);
    const std::pair<const char*, int> kButtons[] = {{"&Cancel", 147}, {"< &Back", 232}, {"&Finish", 402}, {"&Next >", 317}};
    for (int b = 0; b < 4; ++b) {
        auto* button = new QPushButton(kButtons[b].first, this);
        button->setObjectName(kPageButtons[b]);
        button->setGeometry(kButtons[b].second, 280, 81, 25);
        button->setAutoDefault(false);
        std::string name = kPageButtons[b];
        connect(button, &QPushButton::clicked, this, [this, name] { Act(name); });
    }
}

PageWindow::~PageWindow() = default;

void PageWindow::Redraw() {
    if (wizard_.Ended() || wizard_.CurrentPage() < 0) return;
    WizardPage& page = wizard_.Page(wizard_.CurrentPage());
    setWindowTitle(Q(page.Title));
    if (bodyWidget_) {
        bodyWidget_->hide();
        bodyWidget_->deleteLater();
    }
    retired_ = std::move(body_);
    bodyWidget_ = new QWidget(this);
    bodyWidget_->setGeometry(0, 0, width(), 272);
    body_ = std::make_unique<PageBody>(
        page, bodyWidget_, [this](const std::string& button) { Act(button); },
        [this](int row) { EditProperties(row); });
    DrawPage(*body_);
    bodyWidget_->show();
    for (int b = 0; b < 4; ++b)
        if (auto* button = findChild<QPushButton*>(kPageButtons[b]))
            button->setEnabled(page.Buttons[static_cast<std::size_t>(b)]);
}

void PageWindow::EditProperties(int row) {
    WizardPage& page = wizard_.Page(wizard_.CurrentPage());
    const std::vector<std::string>& rows = page.Lists["grdFieldProperties"];
    FormFieldsRef form = FormFieldsOf(wizard_);
    if (row <= 0 || static_cast<std::size_t>(row) >= rows.size() || !form.properties) return;
    if (body_) body_->ReadBack();
    FieldPropertiesDialog dialog(GridCells(rows[static_cast<std::size_t>(row)]).front(), *form.fields,
                                 *form.properties, wizard_.GetDialogs(), this);
    dialog.move(pos() + QPoint(15, 15));
    dialog.exec();
    FillFieldPropertiesGrid(page, *form.fields, *form.properties);
    Redraw();
}

void PageWindow::Act(const std::string& button) {
    if (wizard_.Ended() || wizard_.CurrentPage() < 0) return;
    if (body_) body_->ReadBack();
    PressPageButton(wizard_, button);
    if (wizard_.Ended()) {
        hide();
        ended_();
        return;
    }
    Redraw();
}

void PageWindow::closeEvent(QCloseEvent* event) {
    // The close box asks like Cancel; the window itself is only ever hidden.
    event->ignore();
    Act("btnCancel");
}

}  // namespace tessaro::wizards
