// Turns a compiled deck back into HDML text: one element, end tag or text run a
// line, indented by nesting. The text compiles to the same deck again.
#pragma once

#include <string>

namespace hdml {

// False with the reason in error when the bytes are not a well-formed deck.
bool DumpDeck(const std::string& deck, std::string& text, std::string& error);

}  // namespace hdml
