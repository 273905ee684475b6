#include "wizards/qt/field_properties_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tessaro::wizards {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
std::string S(const QString& text) {
    return text.toStdString();
}
}  // namespace

FieldPropertiesDialog::FieldPropertiesDialog(const std::string& field, TFieldPropertiesList& properties,
                                             Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), field_(field), properties_(properties), dialogs_(dialogs) {
    setWindowTitle("Entry Field Properties");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow("Database Field :", new QLabel(Q(field), this));
    caption_ = new QLineEdit(this);
    form->addRow("Caption:", caption_);
    layout->addLayout(form);

    auto* typeBox = new QGroupBox("Form Field Type", this);
    auto* typeGrid = new QGridLayout(typeBox);
    const std::pair<const char*, const char*> kTypes[] = {{"TextBox", "TextBox"},
                                                          {"Drop-Down Listbox", "Drop-Down"},
                                                          {"Single SelectBox", "Single-Select"},
                                                          {"Multiple SelectBox", "Multi-Select"},
                                                          {"TextArea (Memo)", "TextArea"},
                                                          {"Radio Buttons", "Radio Buttons"},
                                                          {"CheckBoxes", "Checkboxes"},
                                                          {"Hidden Field", "Hidden Field"}};
    int n = 0;
    for (auto [text, type] : kTypes) {
        auto* radio = new QRadioButton(text, typeBox);
        typeGrid->addWidget(radio, n / 4, n % 4);
        types_.emplace_back(radio, type);
        ++n;
    }
    layout->addWidget(typeBox);

    // The number edits keep only digits.
    auto digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    auto* values = new QFormLayout;
    content_ = new QLineEdit(this);
    property1_ = new QLineEdit(this);
    property2_ = new QLineEdit(this);
    visible_ = new QLineEdit(this);
    for (QLineEdit* edit : {property1_, property2_, visible_}) edit->setValidator(digits);
    values->addRow("Default Content:", content_);
    values->addRow("Size / Width:", property1_);
    values->addRow("Maximum Length / Height:", property2_);
    values->addRow("Number of visible items:", visible_);
    layout->addLayout(values);

    options_ = new QTableWidget(static_cast<int>(kFieldOptionCount), 3, this);
    options_->setHorizontalHeaderLabels({"Choice", "Value", "Selected?"});
    options_->horizontalHeader()->setStretchLastSection(true);
    options_->setMinimumHeight(120);
    connect(options_, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (column != 2) return;
        QTableWidgetItem* cell = options_->item(row, column);
        std::string text = cell ? S(cell->text()) : "";
        if (text == "Yes" || text == "No" || text.empty()) return;
        QSignalBlocker block(options_);
        cell->setText(Q(SelectedCellAfterKey("", text.back())));
    });
    layout->addWidget(options_);

    auto* validation = new QGroupBox("Data Entry Validation", this);
    auto* checks = new QFormLayout(validation);
    required_ = new QCheckBox("the form field cannot be left blank", validation);
    requiredMessage_ = new QLineEdit(validation);
    rule_ = new QComboBox(validation);
    rule_->addItems({"(none)", "must be an Integer", "must be a Floating Point Value", "must be a Date ",
                     "must be within a Range"});
    ruleMessage_ = new QLineEdit(validation);
    min_ = new QLineEdit(validation);
    max_ = new QLineEdit(validation);
    min_->setValidator(digits);
    max_->setValidator(digits);
    checks->addRow(required_, requiredMessage_);
    checks->addRow("Rule:", rule_);
    checks->addRow("Message:", ruleMessage_);
    checks->addRow("Min:", min_);
    checks->addRow("Max:", max_);
    connect(required_, &QCheckBox::toggled, this, [this](bool on) {
        requiredMessage_->setEnabled(on);
        if (on && requiredMessage_->text().isEmpty())
            requiredMessage_->setText(Q(DefaultRequiredMessage(S(caption_->text()))));
    });
    connect(rule_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        ruleMessage_->setEnabled(index != 0 && index != 4);
        min_->setEnabled(index == 4);
        max_->setEnabled(index == 4);
        if (index != 0 && ruleMessage_->text().isEmpty())
            ruleMessage_->setText(Q(DefaultRuleMessage(index, S(caption_->text()))));
    });
    layout->addWidget(validation);

    auto* buttons = new QHBoxLayout;
    auto* done = new QPushButton("&Done", this);
    auto* cancel = new QPushButton("&Cancel", this);
    buttons->addStretch();
    buttons->addWidget(done);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(done, &QPushButton::clicked, this, [this] { Done(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    Load(LoadFieldProperties(properties_.Properties(FindOrCreateProperties(field_, properties_))));
}

void FieldPropertiesDialog::Load(const FieldPropertiesForm& f) {
    caption_->setText(Q(f.Caption));
    content_->setText(Q(f.Content));
    property1_->setText(Q(f.Property1));
    property2_->setText(Q(f.Property2));
    visible_->setText(Q(f.VisibleItems));
    ruleMessage_->setText(Q(f.ValidationMessage));
    requiredMessage_->setText(Q(f.RequiredMessage));
    required_->setChecked(f.Required);
    rule_->setCurrentIndex(f.RuleIndex);
    min_->setText(Q(f.Min));
    max_->setText(Q(f.Max));
    for (auto& [radio, type] : types_) radio->setChecked(type == f.ControlType);
    QSignalBlocker block(options_);
    for (std::size_t i = 0; i < kFieldOptionCount; ++i) {
        const FieldOptions& o = f.Options[i];
        int row = static_cast<int>(i);
        options_->setItem(row, 0, new QTableWidgetItem(Q(o.Choice)));
        options_->setItem(row, 1, new QTableWidgetItem(Q(o.Choice.empty() ? "" : o.Value)));
        options_->setItem(row, 2, new QTableWidgetItem(Q(o.Choice.empty() ? "" : o.Selected)));
    }
}

FieldPropertiesForm FieldPropertiesDialog::Read() const {
    FieldPropertiesForm f;
    f.Caption = S(caption_->text());
    f.Content = S(content_->text());
    f.Property1 = S(property1_->text());
    f.Property2 = S(property2_->text());
    f.VisibleItems = S(visible_->text());
    f.ValidationMessage = S(ruleMessage_->text());
    f.RequiredMessage = S(requiredMessage_->text());
    f.Required = required_->isChecked();
    f.RuleIndex = rule_->currentIndex();
    f.Min = S(min_->text());
    f.Max = S(max_->text());
    for (auto& [radio, type] : types_)
        if (radio->isChecked()) f.ControlType = type;
    for (std::size_t i = 0; i < kFieldOptionCount; ++i) {
        int row = static_cast<int>(i);
        auto text = [&](int column) {
            return options_->item(row, column) ? S(options_->item(row, column)->text()) : "";
        };
        f.Options[i] = {text(0), text(1), text(2)};
    }
    return f;
}

void FieldPropertiesDialog::Done() {
    SaveFieldProperties(Read(), properties_.Properties(FindOrCreateProperties(field_, properties_)), dialogs_);
    accept();
}

}  // namespace tessaro::wizards
