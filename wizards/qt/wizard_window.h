// The wizards in windows: the chooser, one dialog per page drawn from the page model, and
// the message boxes and file dialogs behind the Dialogs interface.
#pragma once

#include <QDialog>
#include <QWidget>
#include <memory>
#include <string>

#include "wizards/catalog_client.h"
#include "wizards/dialogs.h"
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

// One page on show: its controls are made from the page model each time it is drawn, and
// read back into the model before a button acts.
class PageWindow : public QDialog {
    Q_OBJECT
public:
    PageWindow(TWizardManager& wizard, std::function<void()> ended);
    // Draws the wizard's current page.
    void Redraw();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ReadBack();
    // Opens the field-properties dialog on a row of the properties grid.
    void EditProperties(int row);
    void Act(const std::string& button);

    TWizardManager& wizard_;
    std::function<void()> ended_;
    QWidget* body_ = nullptr;
};

class ChooserWindow : public QWidget {
    Q_OBJECT
public:
    ChooserWindow(CatalogClient& catalog, std::string templatesDir);
    ~ChooserWindow() override;
    // 0 data entry, 1 drill-down; other numbers say the wizard is not available.
    bool StartWizard(int n);
    PageWindow* Page() { return page_.get(); }

private:
    CatalogClient& catalog_;
    std::string templatesDir_;
    QtDialogs dialogs_;
    std::unique_ptr<TWizardManager> wizard_;
    std::unique_ptr<PageWindow> page_;
};

}  // namespace tessaro::wizards
