// tswizards: the application wizards. `tswizards --script FILE [-WIZARD1]` runs a wizard
// headless from a script (see headless_driver.h) and prints every message it shows; the
// exit status is 0 when the whole script ran.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/program_path.h"
#include "wizards/headless_driver.h"

using namespace tessaro::wizards;

int main(int argc, char** argv) {
    std::string script;
    std::string start;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--script" && i + 1 < argc) script = argv[++i];
        else if (start.empty()) start = arg;
    }
    if (script.empty()) {
        std::fprintf(stderr, "usage: tswizards --script FILE [-WIZARD1|-WIZARD2]\n");
        return 2;
    }
    std::ifstream in(script);
    if (!in) {
        std::fprintf(stderr, "tswizards: cannot read %s\n", script.c_str());
        return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string programDir = tessaro::platform::ProgramDirectory();
    CatalogClient catalog(programDir, CatalogClient::DefaultRequestDirectory(programDir));
    HeadlessDriver driver(catalog, programDir + "templates");
    bool ok = (start.empty() || driver.Run("start " + start)) && driver.RunScript(text.str());
    for (const std::string& message : driver.Messages()) std::printf("MESSAGE: %s\n", message.c_str());
    if (!ok) std::fprintf(stderr, "tswizards: %s\n", driver.Error().c_str());
    return ok ? 0 : 1;
}
