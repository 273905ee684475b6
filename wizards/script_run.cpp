#include "wizards/script_run.h"

namespace tessaro::wizards {

ScriptRun RunWizardScript(const std::string& script, const std::string& start, CatalogClient& catalog,
                          const std::string& templatesDir, HeadlessDriver::PageSnapshot snapshot) {
    HeadlessDriver driver(catalog, templatesDir);
    driver.SetSnapshot(std::move(snapshot));
    ScriptRun run;
    run.ok = (start.empty() || driver.Run("start " + start)) && driver.RunScript(script);
    run.messages = driver.Messages();
    if (!run.ok) run.error = driver.Error();
    return run;
}

}  // namespace tessaro::wizards
