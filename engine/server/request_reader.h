// The request as the pages see it: CGI variables, URL parameters and form
// fields (with uploaded files), read from the transport once per request.
#pragma once

#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <string_view>

#include "engine/server/body_memory_budget.h"
#include "engine/server/form_field_list.h"
#include "support/web_message.h"

class CByteBuffer;
class CMappedFile;
class CReplyWriter;
class CServerSettings;

class CRequestReader {
public:
    explicit CRequestReader(CServerSettings* settings = nullptr);
    virtual ~CRequestReader();
    CRequestReader(const CRequestReader&) = delete;
    CRequestReader& operator=(const CRequestReader&) = delete;

    // Reads and parses the whole request; throws CWebException* on bad data.
    virtual void ParseCgiEnvironment();
    // Takes the whole request (environment and body) from the transport without
    // parsing it; false when it did not arrive whole, the failure being kept for
    // ParseCgiEnvironment to throw. Done before a request permit is taken, so a
    // slow or stalled sender holds none. Reads only once.
    bool ReceiveRequest();

    std::string GetCgiVariable(const std::string& name) const;
    bool HasCgiVariable(const std::string& name) const;
    std::string GetUrlParameter(const std::string& name) const;
    bool HasUrlParameter(const std::string& name) const;
    std::string GetFormField(const std::string& name) const;
    bool HasFormField(const std::string& name) const;
    CFormFieldList& GetFormFields() { return m_formFields; }
    const CFormFieldList& GetFormFields() const { return m_formFields; }
    const std::vector<std::string>& GetCgiArrivalList() const { return m_cgiArrival; }
    const std::vector<std::pair<std::string, std::string>>& GetUrlParameters() const { return m_urlList; }

    // The debug block of the request's variables, through the writer's current channel.
    void DumpRequest(CReplyWriter& writer) const;

    void AddCgiVariable(const std::string& name, const std::string& value);
    void AddUrlParameter(const std::string& name, const std::string& value);
    // The joining rule: a repeated field gets ",value" unless the new value is blank.
    void AddFormField(const std::string& name, std::string value);
    void AddFileField(const std::string& name, CUploadedFile* record);

    void ParseQueryString(const std::string& text);
    // Pairs are decoded straight from the body (its text ends at a NUL), each field kept
    // once; consumed (optional) learns how far the body has been read, so that the pages of a
    // mapped body can go as the parse passes them.
    void ParseUrlEncodedBody(std::string_view body, const std::function<void(std::size_t)>& consumed = {});
    void SplitEnvironmentBlock(const char* block, std::size_t length);

    // The largest body taken from the transport (Server\MaxBodyBytes).
    std::size_t GetMaxBodyBytes() const;
    // The most form fields (URL-encoded pairs or multipart sections) one request
    // gives (Server\MaxFormFields, default kMaxFormTokens); the rest are ignored.
    int GetMaxFormFields() const;

    static constexpr std::size_t kMaxEnvironmentBytes = 1024 * 1024;
    static constexpr std::size_t kDefaultMaxBodyBytes = 100u * 1024u * 1024u;
    static constexpr int kMaxFormTokens = 32000;

protected:
    virtual void ReadEnvironment() = 0;
    // Puts the body into buffer, or into a file handed over with KeepBodyInFile.
    virtual void ReadContent(CByteBuffer& buffer) = 0;
    CServerSettings* GetSettings() const { return m_settings; }
    // The body went to this private file instead of the buffer; the reader parses it
    // from there and removes it.
    void KeepBodyInFile(const std::string& path) { m_bodyFile = path; }
    // The share of the body memory budget the buffered body holds until it is parsed.
    BodyMemoryReservation& BodyReservation() { return m_bodyReservation; }

private:
    void AddQueryPair(const std::string& piece);
    // mapped: the body's file mapping, whose pages go once parsed (null for a body in memory).
    void ParseBody(const char* data, std::size_t length, CMappedFile* mapped);
    // Drops the body, wherever it is kept.
    void DropBody();
    // A POST with a content type and a non-zero length carries a body frame.
    bool ExpectsBody() const;

    CServerSettings* m_settings;
    bool m_received = false;
    std::exception_ptr m_receiveError;
    std::unique_ptr<CByteBuffer> m_content;
    std::string m_bodyFile;
    BodyMemoryReservation m_bodyReservation;
    std::unordered_map<std::string, std::string> m_cgi;
    std::vector<std::string> m_cgiArrival;
    std::unordered_map<std::string, std::size_t> m_url;          // name -> position in m_urlList
    std::vector<std::pair<std::string, std::string>> m_urlList;  // arrival order, one per name
    CFormFieldList m_formFields;
};

// The request read from the engine's socket: environment, then the body.
class CPipeRequestReader : public CRequestReader {
public:
    // bodyBudget: the memory budget of the listener's bodies (null: every body goes to a file);
    // timeoutMs bounds the time from the first read to the last byte of the body (< 0: no bound).
    CPipeRequestReader(int socket, CServerSettings* settings, std::shared_ptr<BodyMemoryBudget> bodyBudget,
                       int timeoutMs = -1)
        : CRequestReader(settings), m_socket(socket), m_bodyBudget(std::move(bodyBudget)), m_timeoutMs(timeoutMs) {}

    // A request that has begun to arrive fails when no byte comes for
    // Server\ReadStallSeconds (the overall read deadline still applies).
    static constexpr long kDefaultReadStallSeconds = 5;
    static constexpr long kDefaultRequestArrivalSeconds = 30;

protected:
    void ReadEnvironment() override;
    void ReadContent(CByteBuffer& buffer) override;

private:
    int RemainingMilliseconds();
    int StallMilliseconds() const;
    // Server\RequestArrivalSeconds in milliseconds: the longest a request may take to
    // arrive whole from its first byte, within the listener's own bound.
    int ArrivalMilliseconds() const;

    int m_socket;
    std::shared_ptr<BodyMemoryBudget> m_bodyBudget;
    int m_timeoutMs;
    std::chrono::steady_clock::time_point m_deadline{};
    bool m_started = false;
};

// The request carried in a window message.
class CCopyDataRequestReader : public CRequestReader {
public:
    CCopyDataRequestReader(std::size_t environmentLength, std::size_t bodyLength, const char* data,
                           CServerSettings* settings);

protected:
    void ReadEnvironment() override;
    void ReadContent(CByteBuffer& buffer) override;

private:
    std::string m_environment;
    std::string m_body;
};

// "+" is a blank, "%xx" a byte; a "%" without two characters after it stays.
std::string UrlDecode(std::string_view text);
unsigned char HexPairToByte(char high, char low);
// Validation companions such as AGE_INTEGER (never listed in FIELDNAMES).
bool IsValidationField(const std::string& name);
// False for paths that climb ("..") or double a separator ("//", "\\\\", mixed).
bool IsSafePath(const std::string& path);
// Variables the web server sets; a request header never stands in for them.
bool IsServerSetVariable(const std::string& upperName);
// "Error attempting to read ... from the named pipe" with the error number.
[[noreturn]] void ThrowPipeReadError(const CWebMessage& title, long errorNumber);
