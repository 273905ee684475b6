// TSREPORT on the engine's side: the request the tag's attributes and body fill, handed to
// the report server tsreports, and the report's HTML taken into the page.
#pragma once

#include <mutex>
#include <string>

#include "engine/expressions/text_origin.h"
#include "reports/report_request.h"
#include "reports/report_tag_settings.h"
#include "support/web_message.h"

class CRequestReader;
class CRuntimeFileGate;
class CServerSettings;

class CReportTag : public tessaro::reports::CReportRequest {
public:
    // None is owned: the page's settings and reader, the engine's private files, the lock
    // held while a report request is handed to the report server and the engine's Reports
    // settings (read through the page's settings by the engine's first report tag).
    CReportTag(CServerSettings* settings, CRequestReader* reader, const CRuntimeFileGate& files,
               std::timed_mutex& reportServer, tessaro::reports::ReportTagSettingsOnce& reportSettings);
    ~CReportTag() override;

    // REPORT: must name an existing file; throws CWebException otherwise.
    void SetReportPath(const std::string& path);
    // TIMEOUT in seconds; 0 or no digits keep the default.
    void SetTimeout(const std::string& value);
    // "@name=" as written, and the value; a later formula with the same key wins.
    void AddFormula(const std::string& lexeme, const std::string& value);
    // The same with the attribute's value as its #...# parts made it, each character with its
    // origin: what came from a value is kept a value of the formula language.
    void AddFormula(const std::string& lexeme, const CTracedText& value);
    // The body as the section wrote it, each character with its origin: the selection
    // criteria, with what came from values kept values of the formula language.
    void SetSelection(const CTracedText& body);

    // The formula a text makes: the characters the template wrote (in its text or in the
    // literals of its expressions) as formula, the runs of characters from values quoted
    // (tessaro::reports::QuoteFormulaValues).
    static std::string FormulaOf(const CTracedText& text);

    // Runs the report; the HTML for the page is then in PageText(). Throws CWebException.
    void Run() override;
    const std::string& PageText() const { return m_pageText; }

    // The report's HTML as the page takes it: from behind <BODY...>, cut at the trailer,
    // the image marker dropped and relative image sources turned into GetGraphic links.
    static std::string CutReport(const std::string& html, const std::string& trailer, const std::string& image,
                                 const std::string& scriptName, long ticks);
    // The page's error for a failed report.
    static CWebMessage ReportErrorDetail(short number, const std::string& text, const std::string& libInfo,
                                         const std::string& reportPath, const std::string& selection,
                                         const std::map<std::string, std::string>& formulas);

private:
    void HandOff();

    CServerSettings* m_settings;
    CRequestReader* m_reader;
    const CRuntimeFileGate& m_files;
    std::timed_mutex& m_reportServer;
    const tessaro::reports::ReportTagSettings& m_reportSettings;
    long m_timeoutMs = -1;
    std::string m_pageText;
};
