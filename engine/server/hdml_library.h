// The binding of the HDML deck generator library. The dispatcher keeps one for the reply
// writers of its requests; it is made on first use and kept while the binding lives.
#pragma once

#include <mutex>
#include <string>

#include "interfaces/hdml_generator.h"
#include "platform/module_loader.h"

class CHdmlLibrary {
public:
    CHdmlLibrary() = default;
    CHdmlLibrary(const CHdmlLibrary&) = delete;
    CHdmlLibrary& operator=(const CHdmlLibrary&) = delete;

    // Binds libtshdmlgen.so (the engine's folder first, then the library search path)
    // and its GenerateHDMLDeck; logs a failure and tries again next call. Two first calls
    // at once bind it once.
    void Load();
    // 1 when a deck was written to path, 0 when not bound or the generator wrote
    // an HTML page there instead, -1 when the generator could write neither.
    int GenerateDeck(const std::string& text, const std::string& path);

private:
    std::mutex m_mutex;
    tessaro::platform::LoadedModule m_library;
    GenerateHDMLDeckProc m_generate = nullptr;
};

// The log line of a library that did not load, by the loader's Windows error number.
std::string LibraryLoadFailureText(const std::string& file, long error);
