// The "Entry Field Properties" dialog in a window, over the toolkit-free form and its rules.
#pragma once

#include <QDialog>

#include "wizards/dialogs.h"
#include "wizards/field_properties_form.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QTableWidget;

namespace tessaro::wizards {

class FieldPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // Edits the properties of `field` (a key of `fields`); Done saves, Cancel leaves them.
    FieldPropertiesDialog(const std::string& field, TFieldPropertiesList& properties, Dialogs& dialogs,
                          QWidget* parent = nullptr);

private:
    void Load(const FieldPropertiesForm& form);
    FieldPropertiesForm Read() const;
    void Done();

    std::string field_;
    TFieldPropertiesList& properties_;
    Dialogs& dialogs_;
    QLineEdit* caption_;
    QLineEdit* content_;
    QLineEdit* property1_;
    QLineEdit* property2_;
    QLineEdit* visible_;
    QCheckBox* required_;
    QLineEdit* requiredMessage_;
    QComboBox* rule_;
    QLineEdit* ruleMessage_;
    QLineEdit* min_;
    QLineEdit* max_;
    QTableWidget* options_;
    std::vector<std::pair<QRadioButton*, std::string>> types_;
};

}  // namespace tessaro::wizards
