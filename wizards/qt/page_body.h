// The controls of one wizard page, made from its page model when the page is drawn and read
// back into the model before a button acts. Each control carries the model's name for it
// (txtApplicationName, lstTables ...) as its object name; the page builders place them.
#pragma once

#include <QRect>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "wizards/wizard_page.h"

class QComboBox;
class QFont;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QWidget;

namespace tessaro::wizards {

QString Q(const std::string& text);
// The face the forms were drawn for ("Arial"), through a metric-compatible Debian font.
QFont FormFont(int pixels, bool bold);

class PageBody {
public:
    // The area above the separator bar, and where a page's controls start below its heading.
    static constexpr int kLeft = 12, kWidth = 467, kTop = 76, kBottom = 266;

    PageBody(WizardPage& page, QWidget* widget, std::function<void(const std::string&)> press,
             std::function<void(int)> editProperties);

    WizardPage& Page() { return page_; }
    QWidget* Widget() { return widget_; }
    // Presses a button of the page (the controls are read back first).
    void Press(const std::string& button) { press_(button); }
    // Opens the field-properties dialog on a row of the properties grid (1 = first field).
    void EditProperties(int row) { editProperties_(row); }

    // The page's heading across the top, in the forms' large bold face.
    QLabel* Heading(const QString& text);
    QLabel* Label(const QString& text, QRect at);
    QLineEdit* Edit(const std::string& name, QRect at);
    QPlainTextEdit* Memo(const std::string& name, QRect at);
    QRadioButton* Radio(const std::string& name, const QString& text, QRect at);
    QComboBox* Combo(const std::string& name, QRect at);
    // A list of the model's entries; `list` is a list made by the caller (a kind of its own),
    // else a plain one is made.
    QListWidget* List(const std::string& name, QRect at, bool multiSelect, QListWidget* list = nullptr);
    // A read-only grid from a list of the model whose first entry is the header row and
    // whose cells are separated by tabs; whole rows are selected.
    QTableWidget* Grid(const std::string& name, QRect at);
    QPushButton* Button(const std::string& name, const QString& text, QRect at);

    // Something more to write back into the model before a button acts.
    void OnReadBack(std::function<void()> read) { readers_.push_back(std::move(read)); }
    void ReadBack();

private:
    WizardPage& page_;
    QWidget* widget_;
    std::function<void(const std::string&)> press_;
    std::function<void(int)> editProperties_;
    std::vector<std::function<void()>> readers_;
};

// Splits a grid row of the model into its cells.
std::vector<std::string> GridCells(const std::string& row);

}  // namespace tessaro::wizards
