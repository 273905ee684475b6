// The deck generator behind GenerateHDMLDeck: a reply's HDML text becomes a
// compiled deck file, or an HTML page that lists what is wrong with the text.
#pragma once

#include <string>

#include "interfaces/hdml_generator.h"

int GenerateDeckFile(const char* text, const char* path);

// The HTML page for a text that does not compile: every error and the text itself,
// escaped, so that request input echoed by the page cannot become markup.
std::string DeckErrorPage(const std::string& errors, const std::string& source);
