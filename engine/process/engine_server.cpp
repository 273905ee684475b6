#include "engine/process/engine_server.h"

#include <new>

#include "database/access/connection_pool.h"
#include "engine/server/client_id_allocator.h"
#include "engine/server/echo_page.h"
#include "engine/server/engine_globals.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/server_error_log.h"
#include "engine/templates/template_actions.h"
#include "foundation/allocator/tarrock.h"
#include "platform/window.h"
#include "support/registry.h"
#include "support/server_settings.h"
#include "support/trace_log.h"
#include "support/web_exception.h"

namespace {

constexpr std::uint32_t kCloseReportServer = tessaro::platform::WM_USER + 151;

}  // namespace

void SetServiceRunning(bool running) {
    std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
    std::unique_ptr<CRegistryKey> server(root->CreateSubKey("Server"));
    server->SetString("ServiceRunning", running ? "1" : "0");
}

bool StartSubsystems(CServerSettings* settings, bool serviceFlag) {
    CRegistrySettings* registry = settings ? settings->GetRegistrySettings() : nullptr;
    // The diagnostic echo page, when switched on, goes first and so stays the default action.
    RegisterEchoPageWhenEnabled(TheRequestDispatcher());
    StartTemplateInterpreter(TheRequestDispatcher());
    CreateConnectionPool(registry);
    std::string mailError;
    if (!BuildMailSpooler(mailError)) {
        WriteTraceLog("SERVER", "Error", "Failed to construct TSMail: " + mailError);
        return false;
    }
    StartExtensionTags();
    if (serviceFlag) SetServiceRunning(true);
    return true;
}

bool InitializeServer(long*, std::string& errorText, bool serviceFlag, bool* mailFailed) {
    if (mailFailed) *mailFailed = false;
    try {
        // In service, allocator failures simply fail: no handler, no message.
        TarrockAttach();
        TarrockSetErrorHandler(nullptr);
        TheRequestDispatcher().Init();
        if (!StartSubsystems(TheRequestDispatcher().GetServerSettings(), serviceFlag)) {
            if (mailFailed) *mailFailed = true;
            errorText.clear();
            return false;
        }
        return true;
    } catch (CWebException* e) {
        errorText = e->GetMessage();
        e->Delete();
    } catch (CMemoryException* e) {
        errorText = "Memory exception occurred while trying to initialize the service.";
        e->Delete();
    } catch (const std::bad_alloc&) {
        errorText = "Memory exception occurred while trying to initialize the service.";
    } catch (CRegistryException* e) {
        errorText = "Error occurred while trying to initialize the service: " + e->GetErrorMessage();
        e->Delete();
    } catch (CException* e) {
        errorText = "Exception occurred while trying to initialize the service.";
        e->Delete();
    } catch (...) {
        errorText = "Unknown exception occurred while trying initialize the service.";
    }
    return false;
}

void StopSubsystems() {
    try {
        SetServiceRunning(false);
    } catch (CException* e) {
        e->Delete();
    }
    std::string reports = tessaro::platform::FindWindow("", kReportServerTitle);
    if (!reports.empty()) tessaro::platform::SendMessage(reports, kCloseReportServer, 0, 0);
    StopTemplateInterpreter();
    CloseClientMutex();
}

void ShutdownServer() {
    try {
        StopSubsystems();
        TarrockDetach();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}
