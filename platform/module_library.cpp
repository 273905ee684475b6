#include "platform/module_library.h"

#include <dlfcn.h>

#include "platform/win32_error.h"

namespace tessaro::platform {

ModuleHandle LoadModule(const std::string& path, long* error, std::string* detail) {
    ModuleHandle module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        if (error) *error = ERROR_MOD_NOT_FOUND;
        if (detail) {
            const char* text = ::dlerror();
            *detail = text ? text : "";
        }
    }
    return module;
}

void* GetModuleProcedure(ModuleHandle module, const std::string& name, long* error) {
    void* procedure = module ? ::dlsym(module, name.c_str()) : nullptr;
    if (!procedure && error) *error = module ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE;
    return procedure;
}

void FreeModule(ModuleHandle module) {
    if (module) ::dlclose(module);
}

}  // namespace tessaro::platform
