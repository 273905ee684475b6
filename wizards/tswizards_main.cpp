// tswizards: the application wizards.
//   tswizards [-WIZARD1|-WIZARD2]                  the chooser, or that wizard, in windows
//   tswizards --script FILE [-WIZARD1|-WIZARD2]    headless from a script (headless_driver.h);
//                                                  prints every message, 0 when it all ran
//   tswizards --screenshot FILE [-WIZARD1|-WIZARD2] draws the chooser or the wizard's first
//                                                  page into FILE (PNG); a script draws any
//                                                  page with its "screenshot FILE" command
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/program_path.h"
#include "wizards/headless_driver.h"

#ifdef TESSARO_WIZARDS_WINDOWS
#include <QApplication>
#include <QPixmap>
#include <memory>

#include "wizards/qt/chooser_window.h"
#include "wizards/qt/field_properties_dialog.h"
#include "wizards/wizard_steps.h"
#endif

using namespace tessaro::wizards;

namespace {

const char kUsage[] =
    "usage: tswizards [-WIZARD1 | -WIZARD2]\n"
    "       tswizards --script FILE [-WIZARD1 | -WIZARD2]\n"
    "       tswizards --screenshot FILE [-WIZARD1 | -WIZARD2]\n"
    "       tswizards --help\n"
    "\n"
    "Without a script the chooser (or the wizard named: -WIZARD1 data entry, -WIZARD2 drill-down)\n"
    "opens in a window. --script runs a wizard without a window, one command a line:\n"
    "  start -WIZARD1|-WIZARD2        set CONTROL TEXT          select LIST ENTRY\n"
    "  select+ LIST ENTRY             check RADIO               press BUTTON\n"
    "  answer yes|no|cancel|PATH      properties FIELD          prop NAME VALUE\n"
    "  option N CHOICE|VALUE|Yes/No   done                      screenshot FILE\n"
    "  expect-page N                  expect-message TEXT       expect-ended\n"
    "and prints every message it shows; it exits 0 when every line ran. The commands, the\n"
    "controls of each page and a complete script per wizard are in docs/wizards.md.\n"
    "--screenshot draws the chooser or the wizard's first page into FILE (PNG).\n";

int RunScript(const std::string& script, const std::string& start, CatalogClient& catalog,
              const std::string& templates) {
    std::ifstream in(script);
    if (!in) {
        std::fprintf(stderr, "tswizards: cannot read %s\n", script.c_str());
        return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    HeadlessDriver driver(catalog, templates);
#ifdef TESSARO_WIZARDS_WINDOWS
    // Windows are made only when a page is to be drawn: a script needs no display otherwise.
    int argc = 1;
    char name[] = "tswizards";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    driver.SetSnapshot([&](const HeadlessDriver::Snapshot& shot) {
        if (!app) app = std::make_unique<QApplication>(argc, argv);
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
    });
#endif
    bool ok = (start.empty() || driver.Run("start " + start)) && driver.RunScript(text.str());
    for (const std::string& message : driver.Messages()) std::printf("MESSAGE: %s\n", message.c_str());
    if (!ok) std::fprintf(stderr, "tswizards: %s\n", driver.Error().c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string script, screenshot, start;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "-?") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((arg == "--script" || arg == "--screenshot") && i + 1 >= argc) {
            std::fprintf(stderr, "tswizards: %s needs a file\n%s", arg.c_str(), kUsage);
            return 2;
        }
        if (arg == "--script" && i + 1 < argc)
            script = argv[++i];
        else if (arg == "--screenshot" && i + 1 < argc)
            screenshot = argv[++i];
        else if (start.empty())
            start = arg;
    }
    std::string programDir = tessaro::platform::ProgramDirectory();
    CatalogClient catalog(programDir, CatalogClient::DefaultRequestDirectory(programDir));
    std::string templates = programDir + "templates";
    if (!script.empty()) return RunScript(script, start, catalog, templates);
#ifdef TESSARO_WIZARDS_WINDOWS
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessaro Application Wizards");
    QApplication::setQuitOnLastWindowClosed(false);
    ChooserWindow chooser(catalog, templates);
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
#else
    (void)screenshot;
    std::fprintf(stderr, "tswizards: built without windows; use --script FILE\n");
    return 2;
#endif
}
