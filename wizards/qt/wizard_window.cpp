#include "wizards/qt/wizard_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "wizards/data_entry_wizard.h"
#include "wizards/qt/field_properties_dialog.h"
#include "wizards/rtf_to_html.h"
#include "wizards/drill_down_wizard.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}
}  // namespace

void QtDialogs::Information(const std::string& text) {
    QMessageBox::information(nullptr, "Tessaro Application Wizards", Q(text));
}
void QtDialogs::Error(const std::string& text) {
    QMessageBox::critical(nullptr, "Tessaro Application Wizards", Q(text));
}
bool QtDialogs::YesNo(const std::string& text) {
    return QMessageBox::question(nullptr, "Tessaro Application Wizards", Q(text), QMessageBox::Yes | QMessageBox::No) ==
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
    auto* bar = new QFrame(this);
    bar->setGeometry(8, 273, 481, 4);
    bar->setFrameShape(QFrame::HLine);
    struct Button {
        const char* text;
        int x;
        const char* name;
    };
    for (const Button& b : {Button{"&Cancel", 147, "btnCancel"}, Button{"< &Back", 232, "btnPrevious"},
                            Button{"&Next >", 317, "btnNext"}, Button{"&Finish", 402, "btnFinish"}}) {
        auto* button = new QPushButton(b.text, this);
        button->setObjectName(b.name);
        button->setGeometry(b.x, 280, 81, 25);
        std::string name = b.name;
        connect(button, &QPushButton::clicked, this, [this, name] { Act(name); });
    }
}

void PageWindow::Redraw() {
    if (wizard_.Ended() || wizard_.CurrentPage() < 0) return;
    WizardPage& page = wizard_.Page(wizard_.CurrentPage());
    setWindowTitle(Q(page.Title));
    delete body_;
    body_ = new QWidget(this);
    body_->setGeometry(8, 8, 475, 260);
    auto* layout = new QVBoxLayout(body_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(Q(page.Heading), body_);
    heading->setWordWrap(true);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    for (auto& [name, text] : page.Texts) {
        if (name == "reditExplanation") {
            auto* view = new QTextBrowser(body_);
            view->setObjectName(Q(name));
            view->setHtml(Q(RtfToHtml(text)));
            layout->addWidget(view);
        } else if (StartsWith(name, "memo")) {
            auto* memo = new QPlainTextEdit(Q(text), body_);
            memo->setObjectName(Q(name));
            layout->addWidget(memo);
        } else if (StartsWith(name, "lbl")) {
            auto* label = new QLabel(Q(text), body_);
            label->setObjectName(Q(name));
            layout->addWidget(label);
        } else {
            auto* edit = new QLineEdit(Q(text), body_);
            edit->setObjectName(Q(name));
            edit->setPlaceholderText(Q(name));
            if (name == "txtPassword") edit->setEchoMode(QLineEdit::Password);
            layout->addWidget(edit);
        }
    }
    for (auto& [name, on] : page.Checks) {
        auto* radio = new QRadioButton(Q(name.substr(name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1))), body_);
        radio->setObjectName(Q(name));
        radio->setChecked(on);
        layout->addWidget(radio);
    }
    for (auto& [name, items] : page.Lists) {
        const std::vector<std::size_t>& selected = page.Selections[name];
        if (StartsWith(name, "combo")) {
            auto* combo = new QComboBox(body_);
            combo->setObjectName(Q(name));
            for (const std::string& item : items) combo->addItem(Q(item));
            combo->setCurrentIndex(selected.empty() ? -1 : static_cast<int>(selected.front()));
            layout->addWidget(combo);
        } else {
            auto* list = new QListWidget(body_);
            list->setObjectName(Q(name));
            list->setSelectionMode(StartsWith(name, "lstSelectedFields") || name == "lstFields"
                                       ? QAbstractItemView::ExtendedSelection
                                       : QAbstractItemView::SingleSelection);
            for (const std::string& item : items) list->addItem(Q(item));
            for (std::size_t i : selected)
                if (i < items.size()) list->item(static_cast<int>(i))->setSelected(true);
            if (name == "grdFieldProperties")
                connect(list, &QListWidget::itemDoubleClicked, this,
                        [this, list] { EditProperties(list->currentRow()); });
            layout->addWidget(list);
        }
    }
    if (page.Lists.count("lstFields") || page.Form == "TfrmPage15" || page.Form == "TfrmPage16" ||
        page.Form == "TfrmPage9B") {
        auto* row = new QWidget(body_);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        std::vector<std::pair<const char*, const char*>> buttons;
        if (page.Lists.count("lstFields"))
            buttons = {{"-->", "btnAdd"}, {"->>", "btnAddAll"}, {"<--", "btnRemove"}, {"<<-", "btnRemoveAll"}};
        else if (page.Form == "TfrmPage9B")
            buttons = {{"Browse", "btnBrowse"}};
        else
            buttons = {{"&Add", "btnAdd"}, {"&Remove", "btnRemove"}};
        for (auto [text, name] : buttons) {
            auto* button = new QPushButton(text, row);
            button->setObjectName(name);
            std::string id = name;
            connect(button, &QPushButton::clicked, this, [this, id] { Act(id); });
            rowLayout->addWidget(button);
        }
        layout->addWidget(row);
    }
    layout->addStretch();
    body_->show();
    const char* names[4] = {"btnCancel", "btnPrevious", "btnFinish", "btnNext"};
    for (int b = 0; b < 4; ++b)
        if (auto* button = findChild<QPushButton*>(names[b]))
            button->setEnabled(page.Buttons[static_cast<std::size_t>(b)]);
}

void PageWindow::EditProperties(int row) {
    WizardPage& page = wizard_.Page(wizard_.CurrentPage());
    std::vector<std::string>& rows = page.Lists["grdFieldProperties"];
    if (row <= 0 || static_cast<std::size_t>(row) >= rows.size()) return;  // row 0 holds the headings
    TFieldPropertiesList* properties = nullptr;
    if (auto* entry = dynamic_cast<TDataEntryWizManager*>(&wizard_)) properties = &entry->Model().FieldProperties;
    if (auto* drill = dynamic_cast<TDrillDownWizManager*>(&wizard_)) properties = &drill->Model().FieldProperties;
    if (!properties) return;
    std::string field = rows[static_cast<std::size_t>(row)].substr(0, rows[static_cast<std::size_t>(row)].find('\t'));
    FieldPropertiesDialog dialog(field, *properties, wizard_.GetDialogs(), this);
    dialog.move(pos() + QPoint(15, 15));
    dialog.exec();
    const TFormFieldProperties& p = properties->Properties(FindOrCreateProperties(field, *properties));
    rows[static_cast<std::size_t>(row)] = p.QualifiedName + "\t" + p.Caption + "\t" + p.ControlType + "\t" +
                                          (p.Required ? "Yes" : "No") + "\t" + RuleText(p);
    Redraw();
}

void PageWindow::ReadBack() {
    if (wizard_.Ended() || wizard_.CurrentPage() < 0 || !body_) return;
    WizardPage& page = wizard_.Page(wizard_.CurrentPage());
    for (auto& [name, text] : page.Texts) {
        if (auto* edit = body_->findChild<QLineEdit*>(Q(name)))
            text = edit->text().toStdString();
        else if (auto* memo = body_->findChild<QPlainTextEdit*>(Q(name)); memo && !memo->isReadOnly())
            text = memo->toPlainText().toStdString();
    }
    for (auto& [name, on] : page.Checks)
        if (auto* radio = body_->findChild<QRadioButton*>(Q(name))) on = radio->isChecked();
    for (auto& [name, items] : page.Lists) {
        std::vector<std::size_t>& selected = page.Selections[name];
        if (auto* combo = body_->findChild<QComboBox*>(Q(name))) {
            selected.clear();
            if (combo->currentIndex() >= 0) selected.push_back(static_cast<std::size_t>(combo->currentIndex()));
        } else if (auto* list = body_->findChild<QListWidget*>(Q(name))) {
            selected.clear();
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->isSelected()) selected.push_back(static_cast<std::size_t>(i));
        }
    }
}

void PageWindow::Act(const std::string& button) {
    ReadBack();
    int i = wizard_.CurrentPage();
    auto* entry = dynamic_cast<TDataEntryWizManager*>(&wizard_);
    auto* drill = dynamic_cast<TDrillDownWizManager*>(&wizard_);
    WizardPage& page = wizard_.Page(i);
    if (button == "btnNext")
        wizard_.Next(i);
    else if (button == "btnPrevious")
        wizard_.Back(i);
    else if (button == "btnCancel")
        wizard_.Cancel(i, true);
    else if (button == "btnFinish")
        wizard_.FinishButton(i);
    else if (button == "btnBrowse")
        entry ? entry->Browse() : drill->Browse();
    else if (drill && page.Form == "TfrmPage15")
        button == "btnAdd" ? drill->AddJoinPressed() : drill->RemoveJoinPressed();
    else if (drill && page.Form == "TfrmPage16")
        button == "btnAdd" ? drill->AddSearchFieldPressed() : drill->RemoveSearchFieldPressed();
    else {
        bool add = button == "btnAdd" || button == "btnAddAll";
        MoveListEntries(page, add ? "lstFields" : "lstSelectedFields", add ? "lstSelectedFields" : "lstFields",
                        button == "btnAddAll" || button == "btnRemoveAll");
    }
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

ChooserWindow::ChooserWindow(CatalogClient& catalog, std::string templatesDir)
    : catalog_(catalog), templatesDir_(std::move(templatesDir)) {
    setWindowTitle("Tessaro Web Application Wizards");
    setFixedSize(453, 239);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel("Tessaro Web Application Wizards", this);
    QFont font("Liberation Sans");
    font.setPixelSize(24);
    font.setBold(true);
    heading->setFont(font);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    struct Panel {
        const char* title;
        const char* text;
        int wizard;
    };
    for (const Panel& p :
         {Panel{"Data Entry Application", "Build a simple form for entry of data into your database.", 0},
          Panel{"Data Drill-Down Application",
                "Develop a drill-down browser for your data, based on a set of database queries.", 1}}) {
        auto* button = new QPushButton(QString("%1\n%2").arg(p.title, p.text), this);
        button->setStyleSheet("text-align: left; padding: 6px;");
        int n = p.wizard;
        connect(button, &QPushButton::clicked, this, [this, n] {
            if (StartWizard(n)) hide();
        });
        layout->addWidget(button);
    }
}

ChooserWindow::~ChooserWindow() = default;

bool ChooserWindow::StartWizard(int n) {
    page_.reset();
    wizard_.reset();
    wizard_ = CreateWizard(n, dialogs_, catalog_, templatesDir_);
    if (!wizard_) {
        dialogs_.Error(kNotAvailable);
        show();
        return false;
    }
    wizard_->Start();
    wizard_->Next(-1);
    page_ = std::make_unique<PageWindow>(*wizard_, [this] { show(); });
    page_->Redraw();
    page_->show();
    return true;
}

}  // namespace tessaro::wizards
