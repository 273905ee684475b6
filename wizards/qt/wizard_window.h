// The wizards in windows: one dialog for the page on show, drawn by the page's own layout
// (page_views.h) from its model, and the message boxes and file dialogs behind the Dialogs
// interface.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "wizards/dialogs.h"
#include "wizards/qt/page_body.h"
#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

class QtDialogs : public Dialogs {
public:
    void Information(const std::string& text) override;
    void Error(const std::string& text) override;
    bool YesNo(const std::string& text) override;
    std::optional<std::string> SaveFile(const std::string& preset) override;
    std::optional<std::string> ChooseFolder(const std::string& start) override;
};

// The page base: 491 x 313, a separator bar and Cancel, Back, Next and Finish along the
// bottom; above them the controls of the page on show, made anew each time it is drawn and
// read back into the model before a button acts.
class PageWindow : public QDialog {
    Q_OBJECT
public:
    PageWindow(TWizardManager& wizard, std::function<void()> ended);
    ~PageWindow() override;
    // Draws the wizard's current page.
    void Redraw();
    // Presses a button of the page as a click does (page_buttons.h names them).
    void Act(const std::string& button);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Opens the field-properties dialog on a row of the properties grid (1 = first field).
    void EditProperties(int row);

    TWizardManager& wizard_;
    std::function<void()> ended_;
    QWidget* bodyWidget_ = nullptr;
    std::unique_ptr<PageBody> body_;
    // The controls drawn before: a button of theirs may still be sending its click.
    std::unique_ptr<PageBody> retired_;
};

}  // namespace tessaro::wizards
