#include "platform/module_loader.h"

#include <utility>

#include "platform/module_library.h"
#include "platform/program_path.h"

namespace tessaro::platform {

LoadedModule::~LoadedModule() {
    FreeModule(m_handle);
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
    if (this != &other) {
        FreeModule(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

LoadedModule LoadedModule::Load(const std::string& file, Binding binding, std::string* error) {
    const bool lazy = binding == Binding::Lazy;
    std::string reason;
    ModuleHandle handle = nullptr;
    if (file.find('/') == std::string::npos) handle = LoadModule(ProgramDirectory() + file, nullptr, &reason, lazy);
    if (!handle) handle = LoadModule(file, nullptr, &reason, lazy);
    if (!handle && error) *error = reason;
    return LoadedModule(handle);
}

void* LoadedModule::FindSymbol(const std::string& name) const {
    return m_handle ? GetModuleProcedure(m_handle, name) : nullptr;
}

}  // namespace tessaro::platform
