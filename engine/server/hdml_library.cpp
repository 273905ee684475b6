#include "engine/server/hdml_library.h"

#include <mutex>

#include "interfaces/hdml_generator.h"
#include "platform/module_loader.h"
#include "support/trace_log.h"

namespace {

std::mutex g_bindMutex;
tessaro::platform::LoadedModule g_library;
GenerateHDMLDeckProc g_generate = nullptr;

}  // namespace

void LoadHDMLLibrary() {
    std::lock_guard lock(g_bindMutex);
    if (g_generate) return;
    if (!g_library.IsLoaded()) {
        g_library =
            tessaro::platform::LoadedModule::Load(kHdmlGeneratorLibrary, tessaro::platform::LoadedModule::Binding::Now);
        if (!g_library.IsLoaded()) {
            WriteTraceLog("SERVER", "Error",
                          std::string("The library file '") + kHdmlGeneratorLibrary + "' could not be located.");
            return;
        }
    }
    g_generate = reinterpret_cast<GenerateHDMLDeckProc>(g_library.FindSymbol(kGenerateHDMLDeckName));
    if (!g_generate)
        WriteTraceLog("SERVER", "Error",
                      std::string("The procedure named '") + kGenerateHDMLDeckName +
                          "' could not be found in the DLL '" + kHdmlGeneratorLibrary + "'.");
}

int GenerateDeck(const std::string& text, const std::string& path) {
    GenerateHDMLDeckProc proc;
    {
        std::lock_guard lock(g_bindMutex);
        proc = g_generate;
    }
    return proc ? proc(text.c_str(), path.c_str()) : 0;
}
