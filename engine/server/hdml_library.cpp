#include "engine/server/hdml_library.h"

#include "platform/win32_error.h"
#include "support/trace_log.h"

std::string LibraryLoadFailureText(const std::string& file, long error) {
    // Only a missing file is "not located"; a file the loader refuses says why by number.
    if (error == tessaro::platform::ERROR_MOD_NOT_FOUND) return "The library file '" + file + "' could not be located.";
    return "Windows NT error number " + std::to_string(error) + " occurred while attempting to load the library " +
           file + ".";
}

void CHdmlLibrary::Load() {
    std::lock_guard lock(m_mutex);
    if (m_generate) return;
    if (!m_library.IsLoaded()) {
        long error = 0;
        m_library = tessaro::platform::LoadedModule::Load(
            kHdmlGeneratorLibrary, tessaro::platform::LoadedModule::Binding::Now, nullptr, &error);
        if (!m_library.IsLoaded()) {
            WriteTraceLog("SERVER", "Error", LibraryLoadFailureText(kHdmlGeneratorLibrary, error));
            return;
        }
    }
    m_generate = reinterpret_cast<GenerateHDMLDeckProc>(m_library.FindSymbol(kGenerateHDMLDeckName));
    if (!m_generate)
        WriteTraceLog("SERVER", "Error",
                      std::string("The procedure named '") + kGenerateHDMLDeckName +
                          "' could not be found in the DLL '" + kHdmlGeneratorLibrary + "'.");
}

int CHdmlLibrary::GenerateDeck(const std::string& text, const std::string& path) {
    GenerateHDMLDeckProc proc;
    {
        std::lock_guard lock(m_mutex);
        proc = m_generate;
    }
    return proc ? proc(text.c_str(), path.c_str()) : 0;
}
