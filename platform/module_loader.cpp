#include "platform/module_loader.h"

#include <dlfcn.h>
#include <utility>

#include "platform/program_path.h"

namespace tessaro::platform {

LoadedModule::~LoadedModule() {
    if (m_handle) ::dlclose(m_handle);
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
    if (this != &other) {
        if (m_handle) ::dlclose(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

LoadedModule LoadedModule::Load(const std::string& file, Binding binding, std::string* error) {
    const int flags = (binding == Binding::Now ? RTLD_NOW : RTLD_LAZY) | RTLD_LOCAL;
    void* handle = nullptr;
    if (file.find('/') == std::string::npos) handle = ::dlopen((ProgramDirectory() + file).c_str(), flags);
    if (!handle) handle = ::dlopen(file.c_str(), flags);
    if (!handle && error) {
        const char* reason = ::dlerror();
        *error = reason ? reason : "";
    }
    return LoadedModule(handle);
}

void* LoadedModule::FindSymbol(const std::string& name) const {
    return m_handle ? ::dlsym(m_handle, name.c_str()) : nullptr;
}

}  // namespace tessaro::platform
