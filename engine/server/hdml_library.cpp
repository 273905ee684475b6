#include "engine/server/hdml_library.h"

#include <dlfcn.h>
#include <mutex>
#include <unistd.h>

#include "support/trace_log.h"

namespace {

using GenerateHDMLDeckProc = int (*)(const char* text, const char* path);

constexpr const char* kLibraryFile = "libtshdmlgen.so";
constexpr const char* kProcedure = "GenerateHDMLDeck";

std::mutex g_bindMutex;
void* g_library = nullptr;
GenerateHDMLDeckProc g_generate = nullptr;

}  // namespace

std::string ProgramDirectory() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

void LoadHDMLLibrary() {
    std::lock_guard lock(g_bindMutex);
    if (g_generate) return;
    if (!g_library) {
        std::string local = ProgramDirectory() + kLibraryFile;
        g_library = ::dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!g_library) g_library = ::dlopen(kLibraryFile, RTLD_NOW | RTLD_LOCAL);
        if (!g_library) {
            WriteTraceLog("SERVER", "Error",
                          std::string("The library file '") + kLibraryFile + "' could not be located.");
            return;
        }
    }
    g_generate = reinterpret_cast<GenerateHDMLDeckProc>(::dlsym(g_library, kProcedure));
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
