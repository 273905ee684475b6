#include "reports/report_job.h"

#include "reports/formula_quoting.h"
#include "reports/report_files.h"

#include <cstring>

#include "database/access/data_source_login.h"
#include "database/access/login_store.h"
#include "database/access/request_data_sources.h"
#include "database/odbc/odbc_connect.h"
#include "platform/file_system.h"
#include "platform/path_util.h"
#include "support/registry.h"
#include "support/trace_log.h"
#include "support/web_exception.h"
#include "support/web_message.h"

namespace tessaro::reports {

namespace {

std::string TrimBlanks(const std::string& text) {
    return std::string(platform::TrimAscii(text, " \t\r\n"));
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           platform::EqualsNoCase(std::string_view(text).substr(text.size() - end.size()), end);
}

// At most size - 1 bytes, always terminated.
void CopyField(char* field, size_t size, const std::string& value) {
    std::memset(field, 0, size);
    std::memcpy(field, value.data(), std::min(size - 1, value.size()));
}

std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

const ReportSettings& CachedReportSettings(CRegistrySettings* settings) {
    static const ReportSettings cached = [settings] {
        auto get = [settings](const char* name, const char* fallback) {
            return settings ? settings->GetString("Reports", name, fallback) : std::string(fallback);
        };
        return ReportSettings{get("CrystalEngineDLL", "libtsprint.so"), get("ODBCConnectDLL", "PDSODBC.DLL"),
                              get("EventLogConnectDLL", "PDSEVT.DLL"), get("DefaultHTMLType", "NETSCAPE")};
    }();
    return cached;
}

CReportJob::CReportJob(std::string folder, CRegistrySettings* settings, CRequestDataSources* dataSources)
    : CReportRequest(std::move(folder)), m_settings(settings), m_dataSources(dataSources) {}

CReportJob::~CReportJob() {
    try {
        if (m_job) m_job->Close();
    } catch (...) {
    }
}

std::string CReportJob::FormulaText(const std::string& current, const std::string& value) {
    auto quotedBy = [](std::string_view t, char q) { return t.size() >= 2 && t.front() == q && t.back() == q; };
    if (!quotedBy(current, '\'') && !quotedBy(current, '"')) return value;
    // Already one text of the language (the engine quotes request values so): kept, a
    // single-quoted one written in double quotes.
    if (IsFormulaTextLiteral(value)) {
        if (value.front() == '"') return value;
        std::string inner;
        for (std::size_t i = 1; i + 1 < value.size(); ++i) {
            inner += value[i];
            if (value[i] == '\'') ++i;
        }
        return FormulaTextLiteral(inner);
    }
    // A quote at either end is the text's own opening or closing quote, each end on its own
    // (a value of one character is that character).
    std::string_view text = value;
    auto isQuote = [](char c) { return c == '\'' || c == '"'; };
    if (text.size() >= 2) {
        if (isQuote(text.front())) text.remove_prefix(1);
        if (!text.empty() && isQuote(text.back())) text.remove_suffix(1);
    }
    // Whatever else it holds stays one text: each double quote inside is doubled, which the
    // formula language reads as the quote itself, so a value cannot close the text and go
    // on as a formula.
    return FormulaTextLiteral(text);
}

std::vector<std::pair<std::string, short>> CReportJob::SortFields(const std::string& list) {
    std::vector<std::pair<std::string, short>> fields;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string piece =
            TrimBlanks(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? list.size() + 1 : comma + 1;
        if (piece.empty()) continue;
        short direction = PE_SF_ASCENDING;
        if (EndsWithNoCase(piece, "ASC")) {
            piece.resize(piece.size() - 3);
        } else if (EndsWithNoCase(piece, "DESC")) {
            piece.resize(piece.size() - 4);
            direction = PE_SF_DESCENDING;
        }
        piece = TrimBlanks(piece);
        if (piece.empty() || piece.front() != '{') piece.insert(piece.begin(), '{');
        if (piece.back() != '}') piece.push_back('}');
        fields.emplace_back(piece, direction);
    }
    return fields;
}

uint32_t CReportJob::HtmlSubtype(const std::string& type, const std::string& defaultType) {
    std::string t = type.empty() ? defaultType : type;
    if (platform::EqualsNoCase(t, "STANDARD")) return 0;
    if (platform::EqualsNoCase(t, "NETSCAPE")) return 2;
    if (platform::EqualsNoCase(t, "MICROSOFT")) return 1;
    throw CPrintEngineException(0, (CWebMessage("The HTMLTYPE you specified (") + t +
                                    ") is invalid. Please use one of the following values for the HTMLTYPE attribute: "
                                    "<UL><LI>STANDARD<LI>NETSCAPE<LI>MICROSOFT</UL>If you do not specify an HTMLTYPE "
                                    "attribute then the default type (" +
                                    defaultType + ") will be used.")
                                       .Html());
}

void CReportJob::Run() {
    try {
        Steps();
    } catch (CPrintEngineException& e) {
        std::string text = e.Number() == 510 ? m_formulaName : e.Text();
        WriteFailure(e.Number(), text, CPrintEngine::LibraryLine());
        CloseAfterFailure();
    } catch (CWebException* e) {
        e->AppendDetail(CWebMessage("Data Source = \"") + m_dataSource + "\"");
        std::string text = e->GetMessage() + "<P>" + e->GetDetail();
        e->Delete();
        WriteFailure(0, text, CPrintEngine::LibraryLine());
        CloseAfterFailure();
    } catch (...) {
        std::string text =
            "An unexpected error occurred while processing a Tessaro report file (" + m_reportPath + ") ";
        WriteTraceLog("REPORT", "Error", text + CPrintEngine::LibraryLine());
        WriteFailure(
            0,
            (CWebMessage("An unexpected error occurred while processing a Tessaro report file (") + m_reportPath + ") ")
                .Html(),
            CPrintEngine::LibraryLine());
        throw ReportJobFatal(text);
    }
}

void CReportJob::CloseAfterFailure() {
    // The answer is written; a connection or job that will not close must not change it.
    try {
        if (m_dataSources) m_dataSources->ReleaseConnections(true);
    } catch (CException* e) {
        e->Delete();
    }
    try {
        if (m_job) m_job->Close();
    } catch (const CPrintEngineException&) {
    }
    m_job.reset();
}

void CReportJob::Steps() {
    const ReportSettings& settings = CachedReportSettings(m_settings);
    ClearResponse();
    CPrintEngine::Load(settings.engineLibrary);
    m_job = std::make_unique<CPrintJob>(m_reportPath);

    m_selection = TrimBlanks(m_selection);
    if (!m_selection.empty()) m_job->SetSelectionFormula(m_selection);

    for (const auto& [name, value] : m_formulas) {
        m_formulaName = name;
        std::string bare = !name.empty() && name[0] == '@' ? name.substr(1) : name;
        std::string current = m_job->GetFormula(bare);
        m_job->SetFormula(bare, FormulaText(current, value));
    }
    m_formulaName.clear();

    short n = 0;
    for (const auto& [field, direction] : SortFields(m_orderBy)) m_job->SetNthSortField(n++, field, direction);

    LogOn();

    uint32_t subtype = HtmlSubtype(m_htmlType, settings.defaultHtmlType);
    std::string output = GetReportOutputPath();
    platform::RemoveFile(output);
    m_job->DiscardSavedData();
    m_job->EnableProgressDialog(false);
    PEHtmlOptions html{sizeof(PEHtmlOptions), output.c_str()};
    PEDiskOptions disk{sizeof(PEDiskOptions), output.c_str()};
    PEExportOptions options{};
    options.StructSize = sizeof options;
    CopyField(options.formatDLLName, sizeof options.formatDLLName, "HTML");
    options.formatType = subtype;
    options.formatOptions = &html;
    CopyField(options.destinationDLLName, sizeof options.destinationDLLName, "DISK");
    options.destinationType = 0;
    options.destinationOptions = &disk;
    m_job->ExportTo(options);
    m_job->Start();
    // The page's pictures go where GetGraphic serves them before the engine reads the page.
    std::string pictureError;
    if (!PublishReportPictures(Folder(), &pictureError))
        throw CPrintEngineException(0, CWebMessage::Value(pictureError).Html());

    WriteSuccess();
    if (m_dataSources) m_dataSources->ReleaseConnections(false);
    m_job->Close();
    m_job.reset();
}

void CReportJob::LogOn() {
    const ReportSettings& settings = CachedReportSettings(m_settings);
    PETableType type{};
    m_job->GetNthTableType(0, type);
    std::string library = FieldText(type.DLLName, sizeof type.DLLName);
    bool odbc = platform::EqualsNoCase(library, settings.odbcLibrary);
    if (!odbc && platform::EqualsNoCase(library, settings.eventLogLibrary)) {
        throw CPrintEngineException(0, (CWebMessage("The report file ") + m_reportPath +
                                        " makes use of data from the Windows NT Event Log. NT Event Log based reports "
                                        "cannot be executed using the TSREPORT tag.")
                                           .Html());
    }
    PELogOnInfo info{};
    m_job->GetNthTableLogOnInfo(0, info);
    if (!m_dataSource.empty())
        CopyField(info.ServerName, sizeof info.ServerName, m_dataSource);
    else
        m_dataSource = FieldText(info.ServerName, sizeof info.ServerName);
    if (m_userName.empty() && odbc) {
        m_userName = GetDataSourceUserID(m_settings, m_dataSource);
        m_password = GetDataSourcePassword(m_settings, m_dataSource);
    }
    CopyField(info.UserID, sizeof info.UserID, m_userName);
    CopyField(info.Password, sizeof info.Password, m_password);
    if (!odbc) {
        m_job->SetNthTableLogOnInfo(0, info, true);
        return;
    }
    if (!m_dataSources) throw CPrintEngineException(0, "No connections are available to the report server.");
    odbcCONNECT* connect = m_dataSources->GetConnect(CDataSourceLogin{m_dataSource, m_userName, m_password});
    CPrintEngine::LogOnWithPrivateInfo(library, connect->GetHdbc());
}

}  // namespace tessaro::reports
