// tswizards: the application wizards.
//   tswizards [-WIZARD1|-WIZARD2]                  the chooser, or that wizard, in windows
//   tswizards --script FILE [-WIZARD1|-WIZARD2]    headless from a script (docs/wizards.md);
//                                                  prints every message, 0 when it all ran
//   tswizards --screenshot FILE [-WIZARD1|-WIZARD2] draws the chooser or the wizard's first
//                                                  page into FILE (PNG); a script draws any
//                                                  page with its "screenshot FILE" command
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/program_path.h"
#include "wizards/script_run.h"

#ifdef TESSARO_WIZARDS_WINDOWS
#include "wizards/qt/wizard_windows.h"
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

}  // namespace

int main(int argc, char** argv) {
    std::string script, screenshot, start;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // Answered before any window or catalogue is touched: no display is needed.
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
    if (!script.empty()) {
        std::ifstream in(script);
        if (!in) {
            std::fprintf(stderr, "tswizards: cannot read %s\n", script.c_str());
            return 2;
        }
        std::ostringstream text;
        text << in.rdbuf();
        HeadlessDriver::PageSnapshot snapshot;
#ifdef TESSARO_WIZARDS_WINDOWS
        // Windows are made only when a page is to be drawn: a script needs no display otherwise.
        snapshot = WindowSnapshots();
#endif
        ScriptRun run = RunWizardScript(text.str(), start, catalog, templates, std::move(snapshot));
        for (const std::string& message : run.messages) std::printf("MESSAGE: %s\n", message.c_str());
        if (!run.ok) std::fprintf(stderr, "tswizards: %s\n", run.error.c_str());
        return run.ok ? 0 : 1;
    }
#ifdef TESSARO_WIZARDS_WINDOWS
    return RunWizardWindows(argc, argv, catalog, templates, start, screenshot);
#else
    (void)screenshot;
    std::fprintf(stderr, "tswizards: built without windows; use --script FILE\n");
    return 2;
#endif
}
