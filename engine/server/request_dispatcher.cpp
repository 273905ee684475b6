#include "engine/server/request_dispatcher.h"

#include <vector>

#include "engine/server/current_exception.h"
#include "support/html_escape.h"
#include "support/registry.h"
#include "engine/server/reply_writer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "support/web_log.h"
#include "platform/framework_exception.h"

const char* const kUnknownCauseText =
    "Error occurred for unknown cause.<P>Normally the reason for this error is that a critical system resource "
    "(such as memory or disk space) has been expended. You should check the available disk space on all of your "
    "drives to make sure you have not run out. You should also make sure that you are not running out of memory by "
    "running the Performance Monitor and observing the effect of your application on free system memory.<P>Another "
    "reason for this error may be that your ODBC driver is generating a general protection fault. To help verify "
    "that your driver is funtioning properly you should attempt to submit the query which is causing this error to "
    "the data source using another ODBC application (such as MS Access or MS Query). <P>";

namespace {

const char kNoActionDetail[] =
    "The URL parameter 'action' was not specified. This parameter must be provided to inform the script how to "
    "process the request.<P>This error is very often the result of not using METHOD=\"POST\" in your FORM "
    "submission. If you do not specify METHOD=\"POST\" (or fail to enclose POST in quotes) then the browser will "
    "overwrite the URL parameters you have specified (such as Action) with the contents of the FORM.<P>";

bool IsLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" || address == "::ffff:127.0.0.1";
}

}  // namespace

CRequestDispatcher::CRequestDispatcher() = default;
CRequestDispatcher::~CRequestDispatcher() = default;

void CRequestDispatcher::Init() {
    m_rootKey = OpenTessaroRootKey();
    m_ownedRegistrySettings = std::make_unique<CRegistrySettings>(m_rootKey.get());
    m_ownedServerSettings = std::make_unique<CServerSettings>(m_ownedRegistrySettings.get());
    m_serverSettings = m_ownedServerSettings.get();
    m_ownedWebLog = CreateWebLog(m_serverSettings->GetNumber("Logging", "UseNTEventLog", 0) != 0);
    m_webLog = m_ownedWebLog.get();
}

void CRequestDispatcher::InitWith(CServerSettings* settings, CWebLog* webLog) {
    m_serverSettings = settings;
    m_webLog = webLog;
}

void CRequestDispatcher::RegisterAction(const std::string& name, PageFactory factory, bool isDefault) {
    m_actions[UpperCopy(name)] = std::move(factory);
    if (isDefault) m_defaultAction = name;
}

void CRequestDispatcher::ClearActions() {
    m_actions.clear();
    m_defaultAction.clear();
}

bool CRequestDispatcher::HasAction(const std::string& name) const {
    return m_actions.count(UpperCopy(name)) != 0;
}

void CRequestDispatcher::HandleRequest(CRequestReader* reader, CReplyWriter* writer) {
    const bool debugMode = reader && reader->GetUrlParameter("MODE") == "DEBUG";
    const bool benchmark = m_serverSettings && m_serverSettings->GetNumber("Debug", "WriteBenchmarkingInfo", 0) != 0;
    const auto start = std::chrono::steady_clock::now();

    if (writer) {
        writer->SetDeckGenerator(&m_decks);
        // A header the reply cannot carry is refused like any failed request: logged, and
        // answered with the error page.
        writer->SetErrorPageWriter([this, reader, writer](const std::string& title, const CWebMessage& detail) {
            const CWebException error(CWebMessage::FromHtml(title), detail);
            ReportError(reader, writer, error.GetTypeName(), error.GetErrorMessage(), std::string());
        });
    }
    std::unique_ptr<CDispatchedPage> page;
    bool failed = false;
    auto finishPage = [&page] {
        if (!page) return;
        try {
            page->Finish();
        } catch (...) {
        }
    };
    auto report = [&](const ExceptionReport& error) {
        failed = true;
        finishPage();
        ReportError(reader, writer, error.title, error.detail, error.pageText, error.httpStatus);
    };
    try {
        if ((!reader || !reader->HasUrlParameter("action")) && m_defaultAction.empty()) {
            if (writer) writer->BeginOutput();
            throw new CWebException("Action parameter not found in the URL.", kNoActionDetail, "");
        }
        std::string given = reader ? reader->GetUrlParameter("action") : std::string();
        // Only an absent or empty action means the default: a mistyped one must not
        // quietly run another page (an Insert that runs as a query, say).
        std::string action = given.empty() ? UpperCopy(m_defaultAction) : UpperCopy(given);
        auto it = m_actions.find(action);
        if (it == m_actions.end()) {
            if (writer) writer->BeginOutput();
            throw new CWebException("Invalid action specified.",
                                    CWebMessage("The action '") + given + "' is not recognized by this script.", "");
        }
        page = it->second();
        if (!page) throw new CMemoryException();
        page->Run(m_webLog, m_serverSettings, reader, writer);
    } catch (...) {
        report(DescribeCurrentException());
    }
    if (!failed) finishPage();
    const bool ran = page && page->HasRun();
    page.reset();

    // Footers run inside their own guard: a registry failure must not cost the reply.
    try {
        if (ran && m_serverSettings && reader && writer) {
            if ((debugMode || benchmark) && IsDebugClient(reader, m_serverSettings))
                WriteBenchmarkingInfo(start, writer);
            if ((m_serverSettings->GetNumber("Debug", "WriteDebugInfo", 0) != 0 || debugMode) &&
                IsDebugClient(reader, m_serverSettings))
                WriteDebugInfo(reader, writer);
        }
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    if (writer) {
        try {
            writer->Finish();
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    }
}

bool IsDebugClient(CRequestReader* reader, CServerSettings* settings) {
    if (!reader || !settings) return false;
    std::vector<std::string> list;
    try {
        if (CRegistrySettings* rs = settings->GetRegistrySettings()) rs->Enumerate("Debug\\DebugIPList", list);
    } catch (CException* e) {
        e->Delete();
        list.clear();
    }
    std::string address = reader->GetCgiVariable("REMOTE_ADDR");
    if (list.empty()) return IsLoopback(address);
    for (const auto& entry : list)
        if (entry == address) return true;
    return false;
}

void CRequestDispatcher::WriteBenchmarkingInfo(std::chrono::steady_clock::time_point start,
                                               CReplyWriter* writer) const {
    CReplyChannel* out = writer ? writer->GetCurrentChannel() : nullptr;
    if (!out) return;
    long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    out->WriteText("\n<P><HR><B>Execution Time</B>");
    out->WriteText("<P><PRE>");
    out->WriteText(std::to_string(ms) + " milliseconds");
    out->WriteText("</PRE>");
}

void CRequestDispatcher::WriteDebugInfo(CRequestReader* reader, CReplyWriter* writer) const {
    CReplyChannel* out = writer ? writer->GetCurrentChannel() : nullptr;
    if (!out || !reader) return;
    out->WriteText("\n<P><HR><B>Parameters</B>");
    reader->DumpRequest(*writer);
}

void CRequestDispatcher::ReportError(CRequestReader* reader, CReplyWriter* writer, const std::string& title,
                                     const std::string& detail, const std::string& pageText, int httpStatus) {
    std::string shown = detail.size() < 10 ? std::string(kUnknownCauseText) : detail;
    if (m_webLog) {
        std::string addr = reader ? reader->GetCgiVariable("REMOTE_ADDR") : std::string();
        std::string agent = reader ? reader->GetCgiVariable("HTTP_USER_AGENT") : std::string();
        try {
            m_webLog->Write(WEBLOG_ERROR, addr, agent, detail, title);
        } catch (...) {
        }
    }
    if (!writer || !m_serverSettings) return;
    std::string admin = m_serverSettings->GetString("Logging", "AdminEMail", "");
    writer->SetStatus(httpStatus);
    // What the page wrote before the error goes: the error page is a whole page of its own,
    // not a second <HTML> after the first one's end.
    if (!pageText.empty()) {
        // The application's own error page (TSERROR) keeps the type its template declared.
        writer->CreateOutputBuffer();
        writer->BeginOutput();
        if (CReplyChannel* out = writer->GetCurrentChannel()) out->WriteText(pageText);
        return;
    }
    writer->BeginEnginePage();
    CReplyChannel* out = writer->GetCurrentChannel();
    if (!out) return;
    out->WriteText("<HTML><HEAD><TITLE>Error Occurred While Processing Request</TITLE></HEAD>");
    out->WriteText("<BODY><HR><H3>Error Occurred While Processing Request</H3><P> ");
    out->WriteText("<TABLE BORDER><TR><TD><H4>Error Diagnostic Information</H4><P>");
    out->WriteText(shown + "</TD></TR></TABLE><P>");
    if (!admin.empty()) {
        out->WriteText("Please inform the <a href=\"mailto:" + HtmlEscape(admin));
        out->WriteText("\">site administrator</a> that this error has occurred (be sure to ");
        out->WriteText("include the contents of this page in your message to the administrator).<P>");
    }
    out->WriteText("<HR>\n</BODY></HTML>");
}
