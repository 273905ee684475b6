#include "wizards/qt/wizard_windows.h"

#include <QApplication>
#include <QPixmap>
#include <memory>

#include "wizards/qt/chooser_window.h"
#include "wizards/qt/field_properties_dialog.h"
#include "wizards/wizard_steps.h"

namespace tessaro::wizards {

namespace {

// The application made for a script's screenshots, with the arguments it keeps referring to.
struct SnapshotApplication {
    int argc = 1;
    char name[10] = "tswizards";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

}  // namespace

HeadlessDriver::PageSnapshot WindowSnapshots() {
    auto state = std::make_shared<SnapshotApplication>();
    return [state](const HeadlessDriver::Snapshot& shot) {
        if (!state->app) state->app = std::make_unique<QApplication>(state->argc, state->argv);
        PageWindow window(shot.wizard, [] {});
        window.Redraw();
        window.show();
        std::unique_ptr<FieldPropertiesDialog> dialog;
        QWidget* drawn = &window;
        if (shot.dialog) {
            FormFieldsRef form = FormFieldsOf(shot.wizard);
            dialog = std::make_unique<FieldPropertiesDialog>(shot.field, *form.fields, *form.properties,
                                                             shot.wizard.GetDialogs(), &window);
            dialog->Load(*shot.dialog);
            dialog->show();
            drawn = dialog.get();
        }
        QApplication::processEvents();
        return drawn->grab().save(QString::fromStdString(shot.file), "PNG");
    };
}

int RunWizardWindows(int& argc, char** argv, CatalogClient& catalog, const std::string& templatesDir,
                     const std::string& start, const std::string& screenshot) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessaro Application Wizards");
    QApplication::setQuitOnLastWindowClosed(false);
    ChooserWindow chooser(catalog, templatesDir);
    QObject::connect(&chooser, &QObject::destroyed, &app, &QApplication::quit);
    // Only the exact spellings start a wizard; the chooser shows when none started.
    bool started = false;
    if (start == "-WIZARD1")
        started = chooser.StartWizard(0);
    else if (start == "-WIZARD2")
        started = chooser.StartWizard(1);
    else if (start == "-WIZARD3")
        started = chooser.StartWizard(2);
    if (!screenshot.empty()) {
        QWidget* shown = started && chooser.Page() ? static_cast<QWidget*>(chooser.Page()) : &chooser;
        shown->show();
        QApplication::processEvents();
        return shown->grab().save(QString::fromStdString(screenshot), "PNG") ? 0 : 1;
    }
    if (!started) chooser.show();
    // Closing the chooser ends the program.
    chooser.setAttribute(Qt::WA_QuitOnClose, true);
    QApplication::setQuitOnLastWindowClosed(true);
    return app.exec();
}

}  // namespace tessaro::wizards
