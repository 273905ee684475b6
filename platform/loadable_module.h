// Shared libraries loaded at run time: loaded with every symbol resolved at once
// and kept to themselves (RTLD_NOW | RTLD_LOCAL).
#pragma once

#include <string>

namespace tessaro::platform {

// Loads the library at path into *handle. 0, 126 when the file is not there
// (ERROR_MOD_NOT_FOUND), or another Windows error number; *detail gets the
// loader's own words.
long LoadModule(const std::string& path, void** handle, std::string* detail);

// The address of an exported name. 0 or 127 (ERROR_PROC_NOT_FOUND) with the
// loader's words in *detail.
long FindModuleProcedure(void* handle, const std::string& name, void** address, std::string* detail);

void FreeModule(void* handle);

}  // namespace tessaro::platform
