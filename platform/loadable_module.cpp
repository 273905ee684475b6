#include "platform/loadable_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path_util.h"
#include "platform/win32_error.h"

namespace tessaro::platform {

namespace {

std::string LoaderError() {
    const char* text = ::dlerror();
    return text != nullptr ? text : "";
}

}  // namespace

long LoadModule(const std::string& pathIn, void** handle, std::string* detail) {
    std::string path = ToUnixPath(pathIn);
    *handle = nullptr;
    detail->clear();
    // A name without a folder would be looked for along the library path.
    if (path.find('/') != std::string::npos && ::access(path.c_str(), F_OK) != 0 &&
        (errno == ENOENT || errno == ENOTDIR)) {
        *detail = path + ": " + "no such file";
        return ERROR_MOD_NOT_FOUND;
    }
    ::dlerror();
    *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (*handle != nullptr) return ERROR_SUCCESS;
    *detail = LoaderError();
    if (path.find('/') == std::string::npos) return ERROR_MOD_NOT_FOUND;
    return ERROR_BAD_EXE_FORMAT;
}

long FindModuleProcedure(void* handle, const std::string& name, void** address, std::string* detail) {
    detail->clear();
    ::dlerror();
    *address = ::dlsym(handle, name.c_str());
    if (*address != nullptr) return ERROR_SUCCESS;
    *detail = LoaderError();
    return ERROR_PROC_NOT_FOUND;
}

void FreeModule(void* handle) {
    if (handle != nullptr) ::dlclose(handle);
}

}  // namespace tessaro::platform
