// Run-time loading of shared libraries (the stand-in for LoadLibrary,
// GetProcAddress and FreeLibrary), with the Windows error numbers the callers
// report: 126 when the module cannot be loaded, 127 when a procedure is missing.
#pragma once

#include <string>

namespace tessaro::platform {

using ModuleHandle = void*;

// Loads path (`\` or `/`; a name without a folder is looked for on the library search
// path) with every symbol bound at once. On failure null, with *error 126 when the file is
// not there (or a bare name is not found), 193 when the loader refuses it, and *detail the
// loader's own words.
// `lazy` binds procedures on first use instead (for a load that only tests availability).
ModuleHandle LoadModule(const std::string& path, long* error = nullptr, std::string* detail = nullptr,
                        bool lazy = false);
// Null with *error = 127 (and the loader's words in *detail) when the module does not
// export name.
void* GetModuleProcedure(ModuleHandle module, const std::string& name, long* error = nullptr,
                         std::string* detail = nullptr);
void FreeModule(ModuleHandle module);

}  // namespace tessaro::platform
