// A loaded shared library that unloads itself, over the calls of module_library.h.
#pragma once

#include <string>

namespace tessaro::platform {

// A loaded library; unloaded when the object goes, unless Release was called.
class LoadedModule {
public:
    enum class Binding { Lazy, Now };

    LoadedModule() = default;
    ~LoadedModule();
    LoadedModule(LoadedModule&& other) noexcept;
    LoadedModule& operator=(LoadedModule&& other) noexcept;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Loads file: a bare file name is looked for in the program's folder first, then
    // where the system looks; a name with a '/' is used as given. Empty on failure,
    // with the loader's reason in *error and its Windows error number in *errorNumber
    // (126 when the file is nowhere, 193 when a file was found but refused).
    static LoadedModule Load(const std::string& file, Binding binding, std::string* error = nullptr,
                             long* errorNumber = nullptr);

    bool IsLoaded() const { return m_handle != nullptr; }
    // The address of a procedure or variable, or null when the library has none.
    void* FindSymbol(const std::string& name) const;
    // Keeps the library loaded for the rest of the process.
    void Release() { m_handle = nullptr; }

private:
    explicit LoadedModule(void* handle) : m_handle(handle) {}
    void* m_handle = nullptr;
};

}  // namespace tessaro::platform
