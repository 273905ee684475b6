// Run-time loading of shared libraries (the stand-in for LoadLibrary,
// GetProcAddress and FreeLibrary), with the Windows error numbers the callers
// report: 126 when the module cannot be loaded, 127 when a procedure is missing.
#pragma once

#include <string>

namespace tessaro::platform {

using ModuleHandle = void*;

// Loads path (a name without '/' is looked for on the library search path).
// Null with *error = 126 and *detail = the loader's text on failure.
ModuleHandle LoadModule(const std::string& path, long* error = nullptr, std::string* detail = nullptr);
// Null with *error = 127 when the module does not export name.
void* GetModuleProcedure(ModuleHandle module, const std::string& name, long* error = nullptr);
void FreeModule(ModuleHandle module);

}  // namespace tessaro::platform
