// The report server's run of one request: drives the print engine step by step, exports the
// report as HTML into REPORT.HTM and answers through the response files.
#pragma once

#include <memory>
#include <stdexcept>
#include <vector>
#include <string>

#include "reports/print_engine_binding.h"
#include "reports/report_request.h"

class CRegistrySettings;
class CRequestDataSources;

namespace tessaro::reports {

// The Reports settings the job reads, each once per process.
struct ReportSettings {
    std::string engineLibrary;    // CrystalEngineDLL, default "libtsprint.so"
    std::string odbcLibrary;      // ODBCConnectDLL, default "PDSODBC.DLL"
    std::string eventLogLibrary;  // EventLogConnectDLL, default "PDSEVT.DLL"
    std::string defaultHtmlType;  // DefaultHTMLType, default "NETSCAPE"
};
const ReportSettings& CachedReportSettings(CRegistrySettings* settings);

// Thrown for failures the process cannot answer (the server logs them and ends).
class ReportJobFatal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CReportJob : public CReportRequest {
public:
    // settings and dataSources are not owned.
    CReportJob(std::string folder, CRegistrySettings* settings, CRequestDataSources* dataSources);
    ~CReportJob() override;

    // Every failure ends in a failure response; an unexpected one is logged, answered, and
    // rethrown as ReportJobFatal.
    void Run() override;

    // The new text of a formula set from the request, given its current text in the report:
    // a quoted current text makes the new one a double-quoted string (a quote at either end of
    // the value opens or closes it; a value that is a whole text already stays that text).
    static std::string FormulaText(const std::string& current, const std::string& value);
    // "Name DESC, {City}" -> ("{Name}", 0), ("{City}", 1).
    static std::vector<std::pair<std::string, short>> SortFields(const std::string& list);
    // 0, 1 or 2; throws CPrintEngineException(0, ...) for another type.
    static uint32_t HtmlSubtype(const std::string& type, const std::string& defaultType);

private:
    void Steps();
    void LogOn();
    void CloseAfterFailure();

    CRegistrySettings* m_settings;
    CRequestDataSources* m_dataSources;
    std::unique_ptr<CPrintJob> m_job;
    std::string m_formulaName;
};

}  // namespace tessaro::reports
