#include "reports/report_server.h"

#include <cstdlib>

#include "database/access/connection_pool.h"
#include "database/access/request_data_sources.h"
#include "platform/window.h"
#include "reports/print_engine_binding.h"
#include "reports/report_files.h"
#include "reports/report_job.h"
#include "support/registry.h"
#include "support/trace_log.h"
#include "support/web_exception.h"

namespace tessaro::reports {

std::int64_t DoReport(ConnectionPool* pool, const std::string& folder) {
    // Only a request folder of this runtime root: the message's data names where the
    // server writes, so nothing else may be named there.
    if (!IsRequestFolder(folder)) {
        WriteTraceLog("REPORT", "Error",
                      "A report request named a folder outside the report work folder (" + folder + ").");
        return 0;
    }
    // Each request reads the settings as they stand: its own root key and settings object.
    std::unique_ptr<CRegistryKey> root;
    std::unique_ptr<CRegistrySettings> settings;
    try {
        root = OpenTessaroRootKey();
        settings = std::make_unique<CRegistrySettings>(root.get());
    } catch (CRegistryException* e) {
        WriteTraceLog("REPORT", "Error",
                      "Error " + std::to_string(e->GetErrorCode()) +
                          " occurred while attempting to open the Tessaro Registry key (" + e->GetErrorMessage() +
                          ").");
        e->Delete();
        return 0;
    }
    CRequestDataSources dataSources(settings.get(), pool);
    CReportJob job(folder, settings.get(), &dataSources);
    if (!job.Read()) {
        job.ClearResponse();
        job.WriteFailure(0,
                         (CWebMessage("Unexpected error occurred while attempting to restore report request "
                                      "parameters (") +
                          job.m_errorText + ").")
                             .Html(),
                         CPrintEngine::LibraryLine());
        return 1;
    }
    try {
        job.Run();
    } catch (const ReportJobFatal&) {
        std::exit(1);  // the job has logged and answered
    } catch (...) {
        WriteTraceLog("REPORT", "Error", "Unexpected error occurred in DoReport message procedure.");
        std::exit(1);
    }
    return 1;
}

int RunReportServer() {
    platform::BlockCloseSignals();
    // A second instance ends at once, without a word.
    if (!platform::FindWindow("", kReportServerWindow).empty()) return 0;
    std::unique_ptr<CRegistryKey> root;
    std::unique_ptr<CRegistrySettings> settings;
    // The report server's own pool for the requests' data sources, as the engine keeps one.
    std::unique_ptr<ConnectionPool> pool;
    try {
        root = OpenTessaroRootKey();
        settings = std::make_unique<CRegistrySettings>(root.get());
        pool = std::make_unique<ConnectionPool>(settings.get());
    } catch (CRegistryException* e) {
        WriteTraceLog("REPORT", "Error",
                      "Error number " + std::to_string(e->GetErrorCode()) +
                          " occurred during initialization of settings object - " + e->GetErrorMessage());
        e->Delete();
        return 0;
    } catch (CWebException* e) {
        WriteTraceLog("REPORT", "Error",
                      "Error occurred during initialization of connection list - " + e->GetMessage() + " (" +
                          e->GetDetail() + ")");
        e->Delete();
        return 0;
    }
    ConnectionPool* p = pool.get();
    long error = 0;
    auto window = platform::Window::Create(
        kReportServerWindow, kReportServerWindow,
        [p](platform::Window& w, platform::WindowMessage& m) -> std::int64_t {
            if (m.msg == platform::WM_COPYDATA && m.dwData == WM_DOREPORT) return DoReport(p, m.data);
            if (m.msg == WM_CLOSEREPORTSERVER || m.msg == platform::WM_DESTROY) w.PostQuitMessage();
            return 0;
        },
        &error);
    if (!window) {
        // 183: another report server runs already; this one is not needed.
        if (error == 183) return 0;
        WriteTraceLog(
            "REPORT", "Error",
            "Windows NT error number " + std::to_string(error) + " occurred while creating the report server window.");
        return 1;
    }
    window->EnableCloseSignals();
    window->RunMessageLoop();
    CPrintEngine::Close();
    return 0;
}

}  // namespace tessaro::reports
