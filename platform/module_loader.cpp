#include "platform/module_loader.h"

#include <utility>

#include "platform/module_library.h"
#include "platform/program_path.h"
#include "platform/win32_error.h"

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

LoadedModule LoadedModule::Load(const std::string& file, Binding binding, std::string* error, long* errorNumber) {
    const bool lazy = binding == Binding::Lazy;
    std::string reason;
    long number = 0;
    ModuleHandle handle = nullptr;
    if (file.find('/') == std::string::npos) handle = LoadModule(ProgramDirectory() + file, &number, &reason, lazy);
    if (!handle) {
        // A file beside the program that the loader refused is the answer to give, not the
        // search path's "not found" that follows it.
        std::string searchReason;
        long searchNumber = 0;
        handle = LoadModule(file, &searchNumber, &searchReason, lazy);
        if (!handle && (number == 0 || number == ERROR_MOD_NOT_FOUND)) {
            number = searchNumber;
            reason = searchReason;
        }
    }
    if (!handle && error) *error = reason;
    if (!handle && errorNumber) *errorNumber = number;
    return LoadedModule(handle);
}

void* LoadedModule::FindSymbol(const std::string& name) const {
    return m_handle ? GetModuleProcedure(m_handle, name) : nullptr;
}

}  // namespace tessaro::platform
