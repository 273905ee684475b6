#include "platform/service_control.h"

#include <chrono>
#include <thread>

#include "platform/service_handle.h"

namespace tessaro::platform {

namespace {

std::string Clip(const std::string& s) {
    return s.size() > CServiceDescription::kMaxText ? s.substr(0, CServiceDescription::kMaxText) : s;
}

}  // namespace

CServiceDescription::CServiceDescription(const std::string& name) : m_name(Clip(name)) {}

CServiceDescription::CServiceDescription(const std::string& name, const std::string& displayName,
                                         const std::string& binaryPath, std::uint32_t startType,
                                         std::uint32_t serviceType, std::uint32_t desiredAccess,
                                         std::uint32_t errorControl)
    : m_name(Clip(name)),
      m_displayName(Clip(displayName)),
      m_binaryPath(Clip(binaryPath)),
      m_desiredAccess(desiredAccess),
      m_serviceType(serviceType),
      m_startType(startType),
      m_errorControl(errorControl) {}

bool CServiceControl::Failed() {
    m_lastError = ScmGetLastError();
    return false;
}

bool CServiceControl::InstallService() {
    OpenedService h;
    h.manager.Reset(OpenSCManager(SC_MANAGER_CREATE_SERVICE));
    if (!h.manager) return Failed();
    const CServiceDescription& d = m_description;
    h.service.Reset(CreateService(h.manager.Get(), d.GetName(), d.GetDisplayName(), d.GetDesiredAccess(),
                                  d.GetServiceType(), d.GetStartType(), d.GetErrorControl(), d.GetBinaryPath(), {},
                                  d.GetAccount()));
    if (!h.service) return Failed();
    return true;
}

bool CServiceControl::QueryStatus(SERVICE_STATUS& status) {
    OpenedService h;
    if (!OpenServiceByName(h, m_description.GetName(), GENERIC_READ_ACCESS, GENERIC_READ_ACCESS)) return Failed();
    if (!QueryServiceStatus(h.service.Get(), &status)) return Failed();
    return true;
}

bool CServiceControl::SetServiceState(std::uint32_t target) {
    SERVICE_STATUS status;
    if (!QueryStatus(status)) return false;
    if (status.dwCurrentState == target) return true;
    OpenedService h;
    if (!OpenServiceByName(h, m_description.GetName(), GENERIC_EXECUTE_ACCESS, GENERIC_EXECUTE_ACCESS)) return Failed();
    if (target == SERVICE_STOPPED) {
        if (!ControlService(h.service.Get(), SERVICE_CONTROL_STOP, &status)) return Failed();
    } else if (target == SERVICE_RUNNING) {
        if (!tessaro::platform::StartService(h.service.Get())) return Failed();
    }
    return true;
}

bool CServiceControl::RemoveService() {
    // Marked for removal first, so that no start (a request's, say) takes a stopping service up
    // again; then a running one is asked to stop, and goes once it has.
    OpenedService h;
    if (!OpenServiceByName(h, m_description.GetName(), SC_MANAGER_CREATE_SERVICE, SERVICE_ALL_ACCESS)) return Failed();
    if (!DeleteService(h.service.Get())) return Failed();
    SERVICE_STATUS status;
    if (QueryServiceStatus(h.service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED)
        ControlService(h.service.Get(), SERVICE_CONTROL_STOP, &status);
    m_lastError = 0;
    return true;
}

bool WaitForServiceState(const std::string& name, std::uint32_t state, std::uint32_t timeoutMs, std::uint32_t pollMs) {
    CServiceDescription d(name);
    CServiceControl control(d);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        SERVICE_STATUS st;
        if (control.QueryStatus(st) && st.dwCurrentState == state) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

}  // namespace tessaro::platform
