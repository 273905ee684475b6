#include "platform/module_library.h"
#include "platform/system_calls.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

std::string LoaderError() {
    const char* text = SystemCalls().dlerror();
    return text != nullptr ? text : "";
}

}  // namespace

ModuleHandle LoadModule(const std::string& pathIn, long* error, std::string* detail, bool lazy) {
    const std::string path = ToUnixPath(pathIn);
    // A missing file is told apart from one the loader refuses (wrong format, missing
    // dependency), so that callers can say which.
    if (path.find('/') != std::string::npos && SystemCalls().access(path.c_str(), F_OK) != 0 &&
        (errno == ENOENT || errno == ENOTDIR)) {
        if (error) *error = ERROR_MOD_NOT_FOUND;
        if (detail) *detail = path + ": no such file";
        return nullptr;
    }
    SystemCalls().dlerror();
    ModuleHandle module = SystemCalls().dlopen(path.c_str(), (lazy ? RTLD_LAZY : RTLD_NOW) | RTLD_LOCAL);
    if (!module) {
        if (error) *error = path.find('/') == std::string::npos ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT;
        if (detail) *detail = LoaderError();
    }
    return module;
}

void* GetModuleProcedure(ModuleHandle module, const std::string& name, long* error, std::string* detail) {
    SystemCalls().dlerror();
    void* procedure = module ? SystemCalls().dlsym(module, name.c_str()) : nullptr;
    if (!procedure) {
        if (error) *error = module ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE;
        if (detail) *detail = LoaderError();
    }
    return procedure;
}

void FreeModule(ModuleHandle module) {
    if (module) SystemCalls().dlclose(module);
}

}  // namespace tessaro::platform
