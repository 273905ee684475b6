// The contract between the engine and the HDML deck generator library libtshdmlgen.so:
// its one export, which the engine binds by name through the type of the declaration
// below, and what it returns.
#pragma once

inline constexpr const char* kHdmlGeneratorLibrary = "libtshdmlgen.so";
inline constexpr const char* kGenerateHDMLDeckName = "GenerateHDMLDeck";

// Results of GenerateHDMLDeck.
inline constexpr int kDeckWritten = 1;
inline constexpr int kErrorPageWritten = 0;
// Neither could be written to the path (it cannot be opened, or a write failed).
inline constexpr int kDeckOutputFailed = -1;

extern "C" {
// Compiles the HDML text into a deck file at path (kDeckWritten), or writes an HTML page
// listing what is wrong with the text there instead (kErrorPageWritten); kDeckOutputFailed
// when nothing usable could be written to path.
int GenerateHDMLDeck(const char* text, const char* path);
}

// The export as the engine binds it.
using GenerateHDMLDeckProc = decltype(&GenerateHDMLDeck);
