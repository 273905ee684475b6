// The "Entry Field Properties" dialog in a window, over the toolkit-free form and its rules.
#pragma once

#include <QDialog>
#include <vector>

#include "wizards/dialogs.h"
#include "wizards/field_properties_form.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace tessaro::wizards {

class FieldPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // Edits the properties of `field`, one of `fields` (the combo offers them all; choosing
    // another saves the one shown first). Done saves, Cancel leaves the field on display.
    FieldPropertiesDialog(const std::string& field, const TDBTableFieldsList& fields, TFieldPropertiesList& properties,
                          Dialogs& dialogs, QWidget* parent = nullptr);

    // Puts a form's values on the controls.
    void Load(const FieldPropertiesForm& form);
    FieldPropertiesForm Read() const;

private:
    void Save();
    void ShowControlsOf(const std::string& type);
    void ShowRule(int index);

    std::string field_;
    TFieldPropertiesList& properties_;
    Dialogs& dialogs_;
    QComboBox* fieldName_;
    QLineEdit* caption_;
    QLabel* contentLabel_;
    QLineEdit* content_;
    QLabel* property1Label_;
    QLineEdit* property1_;
    QLabel* property1Unit_;
    QLabel* property2Label_;
    QLineEdit* property2_;
    QLabel* property2Unit_;
    QLabel* visibleLabel_;
    QLineEdit* visible_;
    QCheckBox* required_;
    QLineEdit* requiredMessage_;
    QComboBox* rule_;
    QLabel* ruleMessageLabel_;
    QLineEdit* ruleMessage_;
    QLineEdit* min_;
    QLineEdit* max_;
    QTableWidget* options_;
    std::vector<std::pair<QRadioButton*, std::string>> types_;
};

}  // namespace tessaro::wizards
