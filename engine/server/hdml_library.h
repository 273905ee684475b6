// The binding of the HDML deck generator library, made once per process.
#pragma once

#include <string>

// Binds libtshdmlgen.so (the engine's folder first, then the library search
// path) and its GenerateHDMLDeck; logs a failure and tries again next call.
void LoadHDMLLibrary();
// The log line of a library that did not load, by the loader's Windows error number.
std::string LibraryLoadFailureText(const std::string& file, long error);
// 1 when a deck was written to path, 0 when not bound or the generator wrote
// an HTML page there instead, -1 when the generator could write neither.
int GenerateDeck(const std::string& text, const std::string& path);
