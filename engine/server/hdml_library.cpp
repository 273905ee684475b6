#include "engine/server/hdml_library.h"

#include <mutex>

#include "support/trace_log.h"
#include "platform/module_loader.h"

namespace {

using GenerateHDMLDeckProc = int (*)(const char* text, const char* path);

constexpr const char* kLibraryFile = "libtshdmlgen.so";
constexpr const char* kProcedure = "GenerateHDMLDeck";

std::mutex g_bindMutex;
tessaro::platform::LoadedModule g_library;
GenerateHDMLDeckProc g_generate = nullptr;

}  // namespace

void LoadHDMLLibrary() {
    std::lock_guard lock(g_bindMutex);
    if (g_generate) return;
    if (!g_library.IsLoaded()) {
        g_library = tessaro::platform::LoadedModule::Load(kLibraryFile, tessaro::platform::LoadedModule::Binding::Now);
        if (!g_library.IsLoaded()) {
            WriteTraceLog("SERVER", "Error",
                          std::string("The library file '") + kLibraryFile + "' could not be located.");
            return;
        }
    }
    g_generate = reinterpret_cast<GenerateHDMLDeckProc>(g_library.FindSymbol(kProcedure));
    if (!g_generate)
        WriteTraceLog("SERVER", "Error",
                      std::string("The procedure named '") + kProcedure + "' could not be found in the DLL '" +
                          kLibraryFile + "'.");
}

int GenerateDeck(const std::string& text, const std::string& path) {
    GenerateHDMLDeckProc proc;
    {
        std::lock_guard lock(g_bindMutex);
        proc = g_generate;
    }
    return proc ? proc(text.c_str(), path.c_str()) : 0;
}
