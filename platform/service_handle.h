// The one owner of service-manager handles: closes the handle on every path, keeping the
// calling thread's last service error, so a failure can still be reported after the
// handles of the failed operation went.
#pragma once

#include <cstdint>
#include <string>

#include "platform/service_manager.h"

namespace tessaro::platform {

class ServiceHandle {
public:
    ServiceHandle() = default;
    explicit ServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
    ~ServiceHandle() { Reset(); }
    ServiceHandle(ServiceHandle&& other) noexcept : m_handle(other.Release()) {}
    ServiceHandle& operator=(ServiceHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    SC_HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    SC_HANDLE Release() {
        SC_HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(SC_HANDLE handle = nullptr) {
        if (m_handle) {
            long saved = ScmGetLastError();
            CloseServiceHandle(m_handle);
            ScmSetLastError(saved);
        }
        m_handle = handle;
    }

private:
    SC_HANDLE m_handle = nullptr;
};

// A service opened through the manager; the service's handle is closed before the manager's.
struct OpenedService {
    ServiceHandle manager;
    ServiceHandle service;
};

// Opens the manager, then the service; false when either failed (ScmGetLastError says why,
// and an empty manager tells that the manager could not be opened).
inline bool OpenServiceByName(OpenedService& opened, const std::string& name, std::uint32_t managerAccess,
                              std::uint32_t serviceAccess) {
    opened.service.Reset();
    opened.manager.Reset(OpenSCManager(managerAccess));
    if (!opened.manager) return false;
    opened.service.Reset(OpenService(opened.manager.Get(), name, serviceAccess));
    return static_cast<bool>(opened.service);
}

}  // namespace tessaro::platform
