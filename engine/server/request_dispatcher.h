// Between a parsed request and the page that answers it: the action map, the
// request-level error page, the debug and benchmark footers, and the binding of the HDML
// deck generator the replies of its requests use.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/server/dispatched_page.h"
#include "engine/server/hdml_library.h"

class CRegistryKey;
class CRegistrySettings;
class CReplyWriter;
class CRequestReader;
class CServerSettings;
class CWebLog;

// The request's client is listed in Debug\DebugIPList (an empty list admits loopback
// clients only); false without reader or settings.
bool IsDebugClient(CRequestReader* reader, CServerSettings* settings);

class CRequestDispatcher {
public:
    CRequestDispatcher();
    ~CRequestDispatcher();

    // Registry root, settings and the server log; throws CRegistryException*.
    void Init();
    // For tests and tools that bring their own objects (none owned).
    void InitWith(CServerSettings* settings, CWebLog* webLog);

    // The page made for an action (upper-cased); isDefault makes it the default action.
    void RegisterAction(const std::string& name, PageFactory factory, bool isDefault = false);
    void ClearActions();
    bool HasAction(const std::string& name) const;
    const std::string& GetDefaultAction() const { return m_defaultAction; }

    CServerSettings* GetServerSettings() const { return m_serverSettings; }
    CWebLog* GetWebLog() const { return m_webLog; }

    void HandleRequest(CRequestReader* reader, CReplyWriter* writer);
    // The error page replaces whatever the page wrote before the error, and answers with
    // httpStatus: a failed request is never reported as a success.
    void ReportError(CRequestReader* reader, CReplyWriter* writer, const std::string& title, const std::string& detail,
                     const std::string& pageText, int httpStatus = 500);
    void ReportRequestError(CRequestReader* reader, CReplyWriter* writer, const std::string& title,
                            const std::string& detail) {
        ReportError(reader, writer, title, detail, std::string());
    }

    // Listed in Debug\DebugIPList; an empty list admits loopback clients only.
    bool IsDebugClient(CRequestReader* reader, CServerSettings* settings) const {
        return ::IsDebugClient(reader, settings);
    }
    void WriteBenchmarkingInfo(std::chrono::steady_clock::time_point start, CReplyWriter* writer) const;
    void WriteDebugInfo(CRequestReader* reader, CReplyWriter* writer) const;

    // The HDML deck generator, bound on the first reply that needs it.
    CHdmlLibrary& DeckGenerator() { return m_decks; }

private:
    std::map<std::string, PageFactory> m_actions;
    std::string m_defaultAction;
    std::unique_ptr<CRegistryKey> m_rootKey;
    std::unique_ptr<CRegistrySettings> m_ownedRegistrySettings;
    std::unique_ptr<CServerSettings> m_ownedServerSettings;
    std::unique_ptr<CWebLog> m_ownedWebLog;
    CServerSettings* m_serverSettings = nullptr;
    CWebLog* m_webLog = nullptr;
    CHdmlLibrary m_decks;
};

// The "unknown cause" text an empty or too short detail is shown as.
extern const char* const kUnknownCauseText;
