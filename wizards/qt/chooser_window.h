// The chooser: a picture, the heading and one clickable panel per wizard; the maintenance
// panel exists but is hidden, as that wizard is not offered.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "wizards/catalog_client.h"
#include "wizards/qt/wizard_window.h"

namespace tessaro::wizards {

class ChooserWindow : public QWidget {
    Q_OBJECT
public:
    ChooserWindow(CatalogClient& catalog, std::string templatesDir);
    ~ChooserWindow() override;
    // 0 data entry, 1 drill-down; other numbers say the wizard is not available.
    bool StartWizard(int n);
    PageWindow* Page() { return page_.get(); }
    TWizardManager* Wizard() { return wizard_.get(); }

private:
    CatalogClient& catalog_;
    std::string templatesDir_;
    QtDialogs dialogs_;
    std::unique_ptr<TWizardManager> wizard_;
    std::unique_ptr<PageWindow> page_;
};

}  // namespace tessaro::wizards
