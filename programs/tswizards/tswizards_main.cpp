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
#include "wizards/script_run.h"

#ifdef TESSARO_WIZARDS_WINDOWS
#include "wizards/qt/wizard_windows.h"
#endif

using namespace tessaro::wizards;

int main(int argc, char** argv) {
    std::string script, screenshot, start;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
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
