#include "engine/templates/tags/report/report_engine.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "engine/expressions/function_result_limit.h"
#include "engine/server/request_reader.h"
#include "interfaces/report_server.h"
#include "platform/file_ops.h"
#include "platform/file_system.h"
#include "platform/private_file.h"
#include "platform/process_spawn.h"
#include "platform/program_path.h"
#include "platform/window.h"
#include "reports/formula_quoting.h"
#include "reports/report_files.h"
#include "support/runtime_file_gate.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

constexpr const char* kRunError = "Error occurred while processing TSREPORT tag";
constexpr const char* kReportError = "Error occurred while processing TSREPORT";

std::string Trim(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The definition's [Table] File (relative to the report), as the print engine reads it:
// refused when it names a private file or anything but a plain file.
bool ReportDataFileAllowed(const std::string& reportPath, const CRuntimeFileGate& files, std::size_t maxBytes) {
    std::string text;
    if (tessaro::platform::ReadCheckedFile(reportPath, maxBytes, files.Check(), &text) != 0) return false;
    bool inTable = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            inTable = UpperCopy(line) == "[TABLE]";
            continue;
        }
        std::size_t eq = line.find('=');
        if (!inTable || eq == std::string::npos || UpperCopy(Trim(line.substr(0, eq))) != "FILE") continue;
        std::string file = Trim(line.substr(eq + 1));
        if (file.empty()) continue;
        if (file[0] != '/') {
            std::size_t slash = reportPath.find_last_of('/');
            file = (slash == std::string::npos ? std::string() : reportPath.substr(0, slash + 1)) + file;
        }
        tessaro::platform::CheckedFile rows;
        if (PathHasNul(file) ||
            tessaro::platform::OpenCheckedFile(file, tessaro::platform::FileAccess::Read, files.Check(), &rows) != 0)
            return false;
    }
    return true;
}

// Releases the folder of one request whatever way Run ends.
struct RequestFolderGuard {
    std::string folder;
    ~RequestFolderGuard() { tessaro::reports::RemoveRequestFolder(folder); }
};

}  // namespace

CReportTag::CReportTag(CServerSettings* settings, CRequestReader* reader, const CRuntimeFileGate& files,
                       std::timed_mutex& reportServer, tessaro::reports::ReportTagSettingsOnce& reportSettings)
    : CReportRequest(std::string()),
      m_settings(settings),
      m_reader(reader),
      m_files(files),
      m_reportServer(reportServer),
      m_reportSettings(reportSettings.Get(settings)) {
    if (m_reportSettings.defaultTimeoutMs > 0) m_timeoutMs = m_reportSettings.defaultTimeoutMs;
}

CReportTag::~CReportTag() = default;

void CReportTag::SetReportPath(const std::string& path) {
    // The report and the rows a definition reads from a file pass the same gate as every
    // other file a template names; a path with a zero byte is refused before any look.
    if (PathHasNul(path) || tessaro::platform::GetFileKind(path) != tessaro::platform::FileKind::Regular ||
        m_files.IsPrivate(path) || !ReportDataFileAllowed(path, m_files, ReadMaxFunctionResultBytes(m_settings))) {
        throw new CWebException("Error processing TSREPORT tag",
                                CWebMessage("The report file you have specified (<I>") + path +
                                    "</I>) either does not exist or is not accessible to the Tessaro service.<P>Please "
                                    "verify that the name of the report file is spelled correctly and that the file is "
                                    "located in a directory which is accessible to the Tessaro service.");
    }
    m_reportPath = path;
}

void CReportTag::SetTimeout(const std::string& value) {
    long seconds = std::atol(value.c_str());
    if (seconds > 0) m_timeoutMs = seconds * 1000;
}

void CReportTag::AddFormula(const std::string& lexeme, const std::string& value) {
    std::string key = Trim(lexeme.substr(0, lexeme.find('=')));
    m_formulas[key] = value;
}

void CReportTag::AddFormula(const std::string& lexeme, const CTracedText& value) {
    AddFormula(lexeme, FormulaOf(value));
}

void CReportTag::SetSelection(const CTracedText& body) {
    m_selection = FormulaOf(body);
}

std::string CReportTag::FormulaOf(const CTracedText& text) {
    // Which characters came from a value is known character by character: quotes the author
    // wrote inside an expression ("'" & URL.d & "'", a DE text) stay formula, while every
    // character a value gave, or a function computed from one, is quoted.
    const std::string& characters = text.Text();
    std::vector<tessaro::reports::FormulaPiece> pieces;
    for (std::size_t start = 0; start < characters.size();) {
        const bool value = text.IsValueAt(start);
        std::size_t end = start + 1;
        while (end < characters.size() && text.IsValueAt(end) == value) ++end;
        pieces.push_back({characters.substr(start, end - start), value});
        start = end;
    }
    return tessaro::reports::QuoteFormulaValues(pieces);
}

void CReportTag::Run() {
    std::unique_lock<std::timed_mutex> lock(m_reportServer, std::defer_lock);
    bool owned = m_timeoutMs < 0 ? (lock.lock(), true) : lock.try_lock_for(std::chrono::milliseconds(m_timeoutMs));
    if (!owned) {
        throw new CWebException("Report not completed (the report server was busy)",
                                "The requested report could not be completed because the server was extremely busy "
                                "serving other report requests. Please notify the site administrator that the default "
                                "TIMEOUT for the report server should be increased.");
    }
    long error = 0;
    RequestFolderGuard guard{tessaro::reports::CreateRequestFolder(&error)};
    if (guard.folder.empty()) {
        throw new CWebException(
            kRunError,
            CWebMessage(
                "Unexpected file output error occurred while sending report parameters (Windows NT error number ") +
                std::to_string(error) + ").");
    }
    m_folder = guard.folder;
    if (!Write()) {
        throw new CWebException(kRunError,
                                CWebMessage("Unexpected file output error occurred while sending report parameters (") +
                                    m_errorText + ").");
    }
    HandOff();
    if (!GetReportSucceeded()) {
        short number = 0;
        std::string text, libInfo;
        GetReportError(number, text, libInfo);
        throw new CWebException(kReportError,
                                ReportErrorDetail(number, text, libInfo, m_reportPath, m_selection, m_formulas));
    }
    std::string html;
    if (long code = tessaro::platform::ReadRegularFileNoFollow(GetReportOutputPath(), &html); code != 0) {
        throw new CWebException(kReportError, CWebMessage("Error occurred while attempting to map the file '") +
                                                  GetReportOutputPath() + "' into memory (Windows NT error number " +
                                                  std::to_string(code) + ").");
    }
    long ticks = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
    m_pageText = CutReport(html, m_reportSettings.trailer, m_reportSettings.image,
                           m_reader ? m_reader->GetCgiVariable("SCRIPT_NAME") : "", ticks);
}

void CReportTag::HandOff() {
    using namespace tessaro::platform;
    // The last report server this engine started; collected once it has ended (it only ends
    // early when a report failed beyond answering), so no dead process lingers.
    static long s_serverPid = 0;
    std::string window = FindWindow("", tessaro::interfaces::kReportServerWindow);
    if (window.empty()) {
        if (s_serverPid != 0 && ReapChild(s_serverPid)) s_serverPid = 0;
        std::string program = ProgramDirectory() + "tsreports";
        long error = 0;
        long pid = SpawnProgram(program, {program}, &error);
        s_serverPid = pid;
        if (pid == 0) {
            throw new CWebException(kRunError,
                                    CWebMessage("Windows NT error number ") + std::to_string(error) +
                                        " occurred while attempting to create the Tessaro Report Server process.<P>"
                                        "Please verify that the tsreports executable is located in the same directory "
                                        "as the Tessaro service (e.g. C:\\TESSARO\\BIN).");
        }
        for (int waited = 0; waited < 5000 && window.empty(); waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            window = FindWindow("", tessaro::interfaces::kReportServerWindow);
            if (window.empty() && ReapChild(pid)) break;  // it ended at once
        }
        if (window.empty()) {
            throw new CWebException(kRunError,
                                    "Tessaro timed out while waiting for the Report Server process to start. "
                                    "Please contact Brendlow technical support.");
        }
    }
    bool ok = false;
    const long waitSeconds = m_reportSettings.serverWaitSeconds;
    std::int64_t done = SendCopyDataWithin(window, 0, tessaro::interfaces::WM_DOREPORT, m_folder, waitSeconds, &ok);
    if (!ok || done != 1) {
        // A report server that hangs or dies must not hold the report mutex for ever.
        throw new CWebException(kRunError, ok ? CWebMessage("The report server refused the report request.")
                                              : CWebMessage("The report server did not finish the report within ") +
                                                    std::to_string(waitSeconds) +
                                                    " seconds, or ended while running it (Reports\\ServerTimeout).");
    }
}

std::string CReportTag::CutReport(const std::string& html, const std::string& trailer, const std::string& image,
                                  const std::string& scriptName, long ticks) {
    size_t start = 0;
    size_t body = html.find("<BODY");
    if (body != std::string::npos) {
        size_t close = html.find('>', body);
        if (close != std::string::npos) start = close + 1;
    }
    size_t end = trailer.empty() ? std::string::npos : html.find(trailer, start);
    std::string text = html.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t img = image.empty() ? std::string::npos : text.find(image, pos);
        size_t src = text.find("SRC=\"", pos);
        if (img == std::string::npos && src == std::string::npos) {
            out.append(text, pos, std::string::npos);
            return out;
        }
        if (img != std::string::npos && (src == std::string::npos || img < src)) {
            out.append(text, pos, img - pos);
            pos = img + image.size();
            continue;
        }
        out.append(text, pos, src + 5 - pos);
        pos = src + 5;
        if (pos >= text.size() || text[pos] != '/')
            out += scriptName + "?Action=GetGraphic&Rnd=" + std::to_string(ticks) + "&File=";
    }
}

CWebMessage CReportTag::ReportErrorDetail(short number, const std::string& text, const std::string& libInfo,
                                          const std::string& reportPath, const std::string& selection,
                                          const std::map<std::string, std::string>& formulas) {
    // The report server's own failures (number 0) and its library line are HTML it made,
    // with the values inside escaped; every other text is the print engine's words or a
    // formula name, shown as text.
    CWebMessage detail;
    switch (number) {
        case 515: {
            detail = CWebMessage(
                         "Either the selection criteria or one of the custom formulas you specified for the "
                         "report ") +
                     reportPath + " is invalid.";
            if (!Trim(selection).empty())
                detail += CWebMessage("<PRE>\nSelection Criteria:\n\n   ") + selection + "\n</PRE>";
            if (!formulas.empty()) {
                detail += "<PRE>\nCustom Formulas:\n\n";
                for (const auto& [key, value] : formulas) detail += CWebMessage("   ") + key + " = \"" + value + "\"\n";
                detail += "</PRE>";
            }
            detail +=
                "<P>Please verify that you have used the correct syntax for your selection criteria and custom "
                "formulas.";
            break;
        }
        case 509:
            detail =
                CWebMessage("One of the fields you specified in your TSREPORT tag is not valid for the report file ") +
                reportPath +
                ".<P>You should verify that you have not misspelled a field name or neglected to include a field "
                "in your report.";
            break;
        case 536:
            detail =
                "The Crystal Reports Engine was unable to successfully log on to the data source. Please that the "
                "username "
                "and password being used to log on are valid.";
            break;
        case 526:
            detail =
                "The Crystal Reports Engine was unable to process your request because no default printer is defined "
                "for "
                "the account which the Tessaro service is running under. This is a bug in the Crystal Engine which "
                "Brendlow has reported and is awaiting a fix for. The bug is known to occur only under beta versions "
                "of "
                "Windows NT 4.0.<P><B>Workaround:</B> There are two possible workarounds to this problem:<OL><LI>Run "
                "the "
                "'Brendlow Tessaro 2.0' service from an account which has a default printer defined (e.g. a user "
                "account "
                "with Administrator privilleges).<LI>Run Tessaro as a desktop application. To do this you run the "
                "Tessaro "
                "executable (TSENGINE.EXE) with the -DESKTOP command line parameter.</OL>";
            break;
        case 400:
            detail =
                "The Crystal Reports Engine (CRPE32.DLL) could not be located on this server. Tessaro's reporting "
                "functionality requires the Crystal Engine. Please verify that you have installed this component "
                "before "
                "using the TSREPORT tag.";
            break;
        case 510:
            detail = CWebMessage("The formula named ") + text + " could not be found within the report '" + reportPath +
                     "'. Please verify that the formula is spelled correctly and is included in your report.";
            break;
        case 0:
            detail = CWebMessage::FromHtml(text);
            break;
        default:
            detail = CWebMessage("An unexpected error occurred while using the Crystal Engine.<P>Error number ") +
                     std::to_string(number) + " ocurred";
            if (!text.empty()) detail += CWebMessage(" (") + text + ")";
            detail += ".";
    }
    return detail + CWebMessage::FromHtml(libInfo);
}
