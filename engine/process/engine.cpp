#include "engine/process/engine.h"

#include <new>
#include <system_error>
#include <thread>

#include "database/access/connection_pool.h"
#include "engine/expressions/expression_driver.h"
#include "engine/server/client_id_allocator.h"
#include "engine/server/echo_page.h"
#include "engine/server/engine_mode.h"
#include "engine/server/mail_spooler.h"
#include "engine/server/server_error_log.h"
#include "engine/templates/tags/extension/tsx_tag_manager.h"
#include "engine/templates/template_actions.h"
#include "engine/templates/template_tables.h"
#include "foundation/allocator/tarrock.h"
#include "interfaces/report_server.h"
#include "platform/scm_event.h"
#include "platform/window.h"
#include "support/registry.h"
#include "support/server_settings.h"
#include "support/trace_log.h"
#include "support/web_exception.h"

namespace {

// Server\ServiceRunning = "1" or "0".
void SetServiceRunning(bool running) {
    std::unique_ptr<CRegistryKey> root = OpenTessaroRootKey();
    std::unique_ptr<CRegistryKey> server(root->CreateSubKey("Server"));
    server->SetString("ServiceRunning", running ? "1" : "0");
}

}  // namespace

CEngine::CEngine(const EngineSwitches& switches) : m_serviceMode(::IsServiceMode(switches)) {}

CEngine::~CEngine() = default;

RequestRoad CEngine::Road() {
    return RequestRoad{m_dispatcher, &m_limiter, m_requestThreads, &m_requestWatch};
}

bool CEngine::StartSubsystems(bool serviceFlag) {
    // The diagnostic echo page, when switched on, goes first and so stays the default action.
    RegisterEchoPageWhenEnabled(m_dispatcher);
    RegisterTemplateActions(m_dispatcher, m_templateServices);
    m_templateTables = CTemplateTables::Load();
    m_expressions = std::make_unique<CExpressionEvaluationDriver>();
    CServerSettings* settings = m_dispatcher.GetServerSettings();
    m_connections = std::make_unique<ConnectionPool>(settings ? settings->GetRegistrySettings() : nullptr);
    auto mail = std::make_unique<TSMail>(&m_files);
    if (!mail->Initialized()) {
        WriteTraceLog("SERVER", "Error", "Failed to construct TSMail: " + mail->ErrorText());
        return false;
    }
    m_mail = std::move(mail);
    m_customTags = std::make_unique<CTSCustomTagManager>();
    if (serviceFlag) SetServiceRunning(true);
    return true;
}

bool CEngine::InitializeServer(std::string& errorText, bool serviceFlag, bool& mailFailed) {
    mailFailed = false;
    try {
        // In service, allocator failures simply fail: no handler, no message.
        TarrockAttach();
        TarrockSetErrorHandler(nullptr);
        m_dispatcher.Init();
        if (!StartSubsystems(serviceFlag)) {
            mailFailed = true;
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

void CEngine::StopSubsystems() {
    try {
        SetServiceRunning(false);
    } catch (CException* e) {
        e->Delete();
    }
    // The report server is told once, and answers before the engine goes on.
    std::string reports = tessaro::platform::FindWindow("", tessaro::interfaces::kReportServerWindow);
    if (!reports.empty()) tessaro::platform::SendMessage(reports, tessaro::interfaces::WM_CLOSEREPORTSERVER, 0, 0);
    CloseClientMutex();
    // A worker that outlived the shutdown's wait still uses them; the process then ends
    // at once (see RunEngine) and takes them along.
    if (m_requestThreads.Running() > 0) return;
    // In reverse of start-up; the connection pool and the mail spooler stay until the
    // engine ends (the window thread delivers mail until it closes).
    m_customTags.reset();
    m_expressions.reset();
    m_templateTables.reset();
}

void CEngine::ShutdownServer() {
    try {
        StopSubsystems();
        TarrockDetach();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

int CEngine::RunDesktop() {
    // Close signals reach the window loop only; block them before any thread starts.
    tessaro::platform::BlockCloseSignals();
    std::string errorText;
    bool mailFailed = false;
    if (!InitializeServer(errorText, false, mailFailed)) {
        if (mailFailed) return 1;
        LogServerError(errorText, 0);
        return 0;
    }
    tessaro::platform::ManualResetEvent termination;
    m_mainTermination = &termination;
    try {
        std::thread main([this, &termination] { MainThread(&termination); });
        main.join();
    } catch (const std::system_error& e) {
        LogServerError("Error attempting to create main thread.", e.code().value());
    }
    m_mainTermination = nullptr;
    return 0;
}
