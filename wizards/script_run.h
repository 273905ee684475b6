// tswizards --script: one wizard flow from a script, headless (headless_driver.h).
#pragma once

#include <string>
#include <vector>

#include "wizards/catalog_client.h"
#include "wizards/headless_driver.h"

namespace tessaro::wizards {

struct ScriptRun {
    bool ok = false;
    std::vector<std::string> messages;  // every message shown, in order
    std::string error;                  // why the run stopped, when it failed
};

// Starts the wizard named by start (-WIZARD1, -WIZARD2; none when empty), then runs every
// line of the script. snapshot draws the script's screenshots (empty: a program without
// windows, where a screenshot fails).
ScriptRun RunWizardScript(const std::string& script, const std::string& start, CatalogClient& catalog,
                          const std::string& templatesDir, HeadlessDriver::PageSnapshot snapshot);

}  // namespace tessaro::wizards
