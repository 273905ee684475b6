#include "wizards/qt/field_properties_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>

#include "wizards/qt/page_body.h"

namespace tessaro::wizards {

namespace {

std::string S(const QString& text) {
    return text.toStdString();
}

QLabel* LabelAt(const QString& text, QWidget* parent, QRect at) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(at);
    return label;
}

QLineEdit* EditAt(const char* name, QWidget* parent, QRect at) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(at);
    return edit;
}

}  // namespace

FieldPropertiesDialog::FieldPropertiesDialog(const std::string& field, const TDBTableFieldsList& fields,
                                             TFieldPropertiesList& properties, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), field_(field), properties_(properties), dialogs_(dialogs) {
    setWindowTitle("Entry Field Properties");
    setFixedSize(520, 490);
    setFont(FormFont(12, false));

    LabelAt("Database Field :", this, QRect(12, 14, 104, 18));
    fieldName_ = new QComboBox(this);
    fieldName_->setObjectName("comboFieldName");
    fieldName_->setGeometry(120, 10, 260, 24);
    for (std::size_t i = 0; i < fields.Count(); ++i) fieldName_->addItem(Q(fields.Key(i)));
    if (fieldName_->findText(Q(field)) < 0) fieldName_->addItem(Q(field));
    fieldName_->setCurrentText(Q(field));
    LabelAt("Caption:", this, QRect(12, 46, 104, 18));
    caption_ = EditAt("txtCaption", this, QRect(120, 42, 388, 24));

    auto* typeBox = new QGroupBox("Form Field Type", this);
    typeBox->setGeometry(12, 72, 496, 70);
    // Four columns, each as wide as its longer caption needs.
    constexpr int kColumnX[] = {8, 128, 254, 370}, kColumnWidth[] = {120, 126, 116, 124};
    int n = 0;
    for (const FieldControlType& t : kFieldControlTypes) {
        auto* radio = new QRadioButton(t.caption, typeBox);
        radio->setObjectName(t.radio);
        radio->setGeometry(kColumnX[n % 4], 22 + (n / 4) * 22, kColumnWidth[n % 4], 20);
        types_.emplace_back(radio, t.type);
        std::string type = t.type;
        connect(radio, &QRadioButton::toggled, this, [this, type](bool on) {
            if (on) ShowControlsOf(type);
        });
        ++n;
    }

    // The number edits keep only digits.
    auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    contentLabel_ = LabelAt("", this, QRect(12, 154, 104, 18));
    content_ = EditAt("txtContent", this, QRect(120, 150, 388, 24));
    property1Label_ = LabelAt("", this, QRect(12, 184, 104, 18));
    property1_ = EditAt("txtProperty1", this, QRect(120, 180, 60, 24));
    property1Unit_ = LabelAt("(characters)", this, QRect(186, 184, 76, 18));
    property2Label_ = LabelAt("", this, QRect(270, 184, 106, 18));
    property2_ = EditAt("txtProperty2", this, QRect(378, 180, 50, 24));
    property2Unit_ = LabelAt("(characters)", this, QRect(434, 184, 76, 18));
    visibleLabel_ = LabelAt("Number of visible items:", this, QRect(12, 154, 150, 18));
    visible_ = EditAt("txtNumVisibleItems", this, QRect(166, 150, 60, 24));
    for (QLineEdit* edit : {property1_, property2_, visible_}) edit->setValidator(digits);

    options_ = new QTableWidget(static_cast<int>(kFieldOptionCount), 3, this);
    options_->setObjectName("gridOptions");
    options_->setGeometry(12, 180, 496, 122);
    options_->setHorizontalHeaderLabels({"Choice", "Value", "Selected?"});
    options_->horizontalHeader()->setStretchLastSection(true);
    options_->verticalHeader()->setDefaultSectionSize(options_->fontMetrics().height() + 6);
    options_->setColumnWidth(0, 190);
    options_->setColumnWidth(1, 150);
    connect(options_, &QTableWidget::cellChanged, this, [this](int row, int column) {
        // A typed Y, E or S makes the cell "Yes", any other character "No".
        if (column != 2) return;
        QTableWidgetItem* cell = options_->item(row, column);
        std::string text = cell ? S(cell->text()) : "";
        if (text == "Yes" || text == "No" || text.empty()) return;
        QSignalBlocker block(options_);
        cell->setText(Q(SelectedCellAfterKey("", text.back())));
    });

    auto* validation = new QGroupBox("Data Entry Validation", this);
    validation->setGeometry(12, 310, 496, 138);
    required_ = new QCheckBox("the form field cannot be left blank", validation);
    required_->setObjectName("chkRequired");
    required_->setGeometry(10, 22, 300, 20);
    requiredMessage_ = EditAt("txtRequiredErrorMessage", validation, QRect(10, 44, 476, 24));
    LabelAt("Validation rule:", validation, QRect(10, 80, 100, 18));
    rule_ = new QComboBox(validation);
    rule_->setObjectName("comboValidationRule");
    rule_->setGeometry(110, 76, 200, 24);
    rule_->addItems({"(none)", "must be an Integer", "must be a Floating Point Value", "must be a Date ",
                     "must be within a Range"});
    LabelAt("Min:", validation, QRect(318, 80, 32, 18));
    min_ = EditAt("txtMin", validation, QRect(350, 76, 50, 24));
    LabelAt("Max:", validation, QRect(406, 80, 34, 18));
    max_ = EditAt("txtMax", validation, QRect(440, 76, 46, 24));
    min_->setValidator(digits);
    max_->setValidator(digits);
    ruleMessageLabel_ = LabelAt("Error message:", validation, QRect(10, 110, 100, 18));
    ruleMessage_ = EditAt("txtValidationErrorMessage", validation, QRect(110, 106, 376, 24));
    connect(required_, &QCheckBox::toggled, this, [this](bool on) {
        requiredMessage_->setEnabled(on);
        if (on && requiredMessage_->text().isEmpty())
            requiredMessage_->setText(Q(DefaultRequiredMessage(S(caption_->text()))));
    });
    connect(rule_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        ShowRule(index);
        if (index != 0 && ruleMessage_->text().isEmpty())
            ruleMessage_->setText(Q(DefaultRuleMessage(index, S(caption_->text()))));
    });

    auto* done = new QPushButton("&Done", this);
    done->setGeometry(342, 456, 81, 25);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setGeometry(427, 456, 81, 25);
    connect(done, &QPushButton::clicked, this, [this] {
        Save();
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(fieldName_, &QComboBox::currentTextChanged, this, [this](const QString& chosen) {
        // The field shown before is saved first, then the chosen one is loaded.
        Save();
        field_ = S(chosen);
        Load(LoadFieldProperties(properties_.Properties(FindOrCreateProperties(field_, properties_))));
    });

    Load(LoadFieldProperties(properties_.Properties(FindOrCreateProperties(field_, properties_))));
}

void FieldPropertiesDialog::ShowControlsOf(const std::string& type) {
    FieldTypeControls shown = ControlsForType(type);
    for (QWidget* w : {static_cast<QWidget*>(contentLabel_), static_cast<QWidget*>(content_)})
        w->setVisible(shown.content);
    for (QWidget* w : {static_cast<QWidget*>(property1Label_), static_cast<QWidget*>(property1_),
                       static_cast<QWidget*>(property1Unit_), static_cast<QWidget*>(property2Label_),
                       static_cast<QWidget*>(property2_), static_cast<QWidget*>(property2Unit_)})
        w->setVisible(shown.properties);
    visibleLabel_->setVisible(shown.visibleItems);
    visible_->setVisible(shown.visibleItems);
    options_->setVisible(shown.options);
    contentLabel_->setText(Q(shown.contentLabel));
    property1Label_->setText(Q(shown.property1Label));
    property2Label_->setText(Q(shown.property2Label));
}

void FieldPropertiesDialog::ShowRule(int index) {
    ruleMessageLabel_->setEnabled(index != 0);
    ruleMessage_->setEnabled(index != 0 && index != 4);
    min_->setEnabled(index == 4);
    max_->setEnabled(index == 4);
}

void FieldPropertiesDialog::Load(const FieldPropertiesForm& f) {
    QSignalBlocker blockRule(rule_);
    QSignalBlocker blockRequired(required_);
    caption_->setText(Q(f.Caption));
    content_->setText(Q(f.Content));
    property1_->setText(Q(f.Property1));
    property2_->setText(Q(f.Property2));
    visible_->setText(Q(f.VisibleItems));
    ruleMessage_->setText(Q(f.ValidationMessage));
    requiredMessage_->setText(Q(f.RequiredMessage));
    required_->setChecked(f.Required);
    requiredMessage_->setEnabled(f.Required);
    rule_->setCurrentIndex(f.RuleIndex);
    ShowRule(f.RuleIndex);
    min_->setText(Q(f.Min));
    max_->setText(Q(f.Max));
    for (auto& [radio, type] : types_) radio->setChecked(type == f.ControlType);
    ShowControlsOf(f.ControlType);
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

void FieldPropertiesDialog::Save() {
    SaveFieldProperties(Read(), properties_.Properties(FindOrCreateProperties(field_, properties_)), dialogs_);
}

}  // namespace tessaro::wizards
