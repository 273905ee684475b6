// tswizards with windows: the chooser or a wizard on screen, and the pictures of pages.
#pragma once

#include <string>

#include "wizards/catalog_client.h"
#include "wizards/headless_driver.h"

namespace tessaro::wizards {

// Draws a script's screenshots through the window view; the application is made at the first
// one, so a script that draws nothing needs no display.
HeadlessDriver::PageSnapshot WindowSnapshots();

// The chooser, or the wizard start names (-WIZARD1, -WIZARD2, -WIZARD3) when it starts, until
// closed; with a screenshot file, draws what would show into it (PNG) instead. The exit
// status. argc must outlive the call (the application keeps it).
int RunWizardWindows(int& argc, char** argv, CatalogClient& catalog, const std::string& templatesDir,
                     const std::string& start, const std::string& screenshot);

}  // namespace tessaro::wizards
