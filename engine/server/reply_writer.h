// One HTTP reply as the gateway hands it to the web server: header block, then
// the body buffered in memory until Finish.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/server/reply_channel.h"
#include "engine/server/request_budget.h"
#include "platform/checked_file.h"

class CHdmlLibrary;

class CReplyWriter {
public:
    // channel is not owned.
    explicit CReplyWriter(CReplyChannel* channel);
    virtual ~CReplyWriter();
    CReplyWriter(const CReplyWriter&) = delete;
    CReplyWriter& operator=(const CReplyWriter&) = delete;

    // The binding that compiles a reply of kHdmlContentType (not owned); without one such
    // a reply goes out as the generator's HTML fallback page.
    void SetDeckGenerator(CHdmlLibrary* decks) { m_decks = decks; }
    // Writes the engine's error page (title, detail) into this reply: the dispatcher's, so that
    // a refused header is reported and logged like any failed request. Without one the
    // writer writes a plain error page itself.
    using ErrorPageWriter = std::function<void(const std::string& title, const CWebMessage& detail)>;
    void SetErrorPageWriter(ErrorPageWriter writer) { m_errorPage = std::move(writer); }

    void SetContentType(const std::string& type);
    // The HTTP status of the reply ("Status:" header for the web server); 200 sends none.
    void SetStatus(int status);
    int GetStatus() const { return m_status; }
    const std::string& GetContentType() const { return m_contentType; }
    // Appends header text; callers give their own line ends. CR and LF that are
    // not a line's end are dropped, so a value cannot start a new header.
    void AddHeader(const std::string& text);
    const std::string& GetHeaders() const { return m_headers; }
    CReplyChannel* GetCurrentChannel() const { return m_current; }

    void CreateOutputBuffer();
    void BeginOutput();
    // A page of the engine's own (an error or problem page) in place of whatever was written:
    // a fresh buffer, output on, and the engine's page type.
    void BeginEnginePage();
    void Redirect(const std::string& url);
    // The body is the file at path (one of the engine's own), deleted after sending when asked.
    void ReplyWithFile(const std::string& contentType, const std::string& path, bool deleteAfter);
    // The body is a file the caller opened (and judged); its name is removed after sending
    // when asked, as long as the name still is that file.
    void ReplyWithFile(const std::string& contentType, tessaro::platform::CheckedFile file, bool deleteAfter);
    void Finish();

    bool HasOutputBuffer() const { return m_outputBuffer; }
    bool HeadersSent() const { return m_headersSent; }
    bool IsFinished() const { return m_finished; }
    // The budget of the request this reply answers (its receiver is the reply's channel).
    CRequestBudget& Budget() { return m_budget; }
    // The body buffered so far (empty without a buffer).
    std::string GetBufferedBody() const;

    // The header block as it would go out now: status, content type, the added headers.
    std::string BuildHeader() const;

private:
    void SendReply();
    // A header that passes the budget's bounds becomes the engine's error page.
    void RefuseOversizedHeader(const CWebMessage& detail);
    void SendFile(std::string header);

    CHdmlLibrary* m_decks = nullptr;
    ErrorPageWriter m_errorPage;
    std::string m_contentType = "text/html";
    int m_status = 200;
    std::string m_headers;
    std::unique_ptr<CMemoryReplyChannel> m_memory;
    CReplyChannel* m_real;
    CReplyChannel* m_current = nullptr;
    bool m_outputBuffer = false;
    bool m_headersSent = false;
    bool m_finished = false;
    bool m_fileReply = false;
    bool m_deleteAfter = false;
    std::string m_filePath;
    tessaro::platform::CheckedFile m_file;
    CRequestBudget m_budget;
};

// The type of the pages the engine writes itself: their texts, and the values they quote, are
// UTF-8, and a browser must not read them (or a form on them) as windows-1252. A template's
// page keeps the type it declares.
inline constexpr const char* kEnginePageType = "text/html; charset=utf-8";

// The deck compiler's reply type.
inline constexpr const char* kHdmlContentType = "application/x-hdmlc";
