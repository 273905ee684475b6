// What the dispatcher needs of a page: run it, finish it, and whether it ran.
// Page classes register a factory under an action name.
#pragma once

#include <functional>
#include <memory>

class CReplyWriter;
class CRequestReader;
class CServerSettings;
class CWebLog;

class CDispatchedPage {
public:
    virtual ~CDispatchedPage() = default;
    // Set-up and run of the page; throws as the page's work fails.
    virtual void Run(CWebLog* webLog, CServerSettings* settings, CRequestReader* reader, CReplyWriter* writer) = 0;
    virtual void Finish() {}
    virtual bool HasRun() const = 0;
};

using PageFactory = std::function<std::unique_ptr<CDispatchedPage>()>;
