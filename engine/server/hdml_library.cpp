#include "engine/server/hdml_library.h"

#include <mutex>

#include "interfaces/hdml_generator.h"
#include "platform/module_loader.h"
#include "platform/win32_error.h"
#include "support/trace_log.h"

namespace {

std::mutex g_bindMutex;
tessaro::platform::LoadedModule g_library;
GenerateHDMLDeckProc g_generate = nullptr;

}  // namespace

std::string LibraryLoadFailureText(const std::string& file, long error) {
    // Only a missing file is "not located"; a file the loader refuses says why by number.
    if (error == tessaro::platform::ERROR_MOD_NOT_FOUND) return "The library file '" + file + "' could not be located.";
    return "Windows NT error number " + std::to_string(error) + " occurred while attempting to load the library " +
           file + ".";
}

void LoadHDMLLibrary() {
    std::lock_guard lock(g_bindMutex);
    if (g_generate) return;
    if (!g_library.IsLoaded()) {
        long error = 0;
        g_library = tessaro::platform::LoadedModule::Load(kHdmlGeneratorLibrary,
                                                          tessaro::platform::LoadedModule::Binding::Now, nullptr, &error);
        if (!g_library.IsLoaded()) {
            WriteTraceLog("SERVER", "Error", LibraryLoadFailureText(kHdmlGeneratorLibrary, error));
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
