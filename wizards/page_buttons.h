// A button of the page on show pressed as a click presses it, for the window view and the
// headless driver alike: the four page buttons act on the wizard, Browse opens the folder
// chooser, Add and Remove act on the joins and search pages and move entries between the
// two lists of a field page.
#pragma once

#include <string>

#include "wizards/wizard_manager.h"

namespace tessaro::wizards {

enum class PressResult { Pressed, Disabled, NoSuchButton };

PressResult PressPageButton(TWizardManager& wizard, const std::string& button);

// True for the four buttons that move entries between the lists of a field page.
bool IsMoveButton(const std::string& button);

}  // namespace tessaro::wizards
