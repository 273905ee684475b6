// TSHEADER, TSCONTENT and TSLOCATION: the tags that act on the reply rather than
// on its text. The page keeps one state per tag and calls these at the tag's end.
#pragma once

#include <cstddef>
#include <string>

#include "support/web_message.h"

class CClientScope;
class CReplyWriter;
class CRuntimeFileGate;

// "Name: value\n" for CReplyWriter::AddHeader. Both are trimmed; CR and LF are
// removed from both, so a header can never start another one. Throws
// CWebException* "Invalid TSHEADER tag" when name is empty or either holds another
// control character.
std::string BuildHeaderLine(const std::string& name, const std::string& value);

// What a web server takes from a CGI program: longer header lines, or more header
// bytes in all, make it answer with its own bad-gateway page instead of the reply.
constexpr std::size_t kMaxReplyHeaderLineBytes = 8000;
constexpr std::size_t kMaxReplyHeaderBytes = 32000;

// Throws CWebException* with title when one line of block passes
// kMaxReplyHeaderLineBytes, or the headers so far and block together pass
// kMaxReplyHeaderBytes; the tag is refused with the engine's error page.
void CheckReplyHeaderSize(const std::string& headersSoFar, const std::string& block, const CWebMessage& title);

struct ContentTagState {
    std::string type;
    std::string file;
    bool deleteFile = false;

    void Reset() { *this = ContentTagState(); }
    // Only "YES" (any case) deletes the file after sending.
    void SetDeleteFile(const std::string& value);
};

// TSCONTENT's end: drops what the template wrote so far, then either sets the
// content type (false: the template goes on) or replies with the file (true: the
// page must stop). The file is refused when it does not exist or its path holds
// "..", "//" or two backslashes, or when files holds it as private; the type when it holds
// a control character other than a line break (line breaks are dropped).
bool ExecuteContent(const ContentTagState& state, CReplyWriter& writer, const CRuntimeFileGate& files);

// The path rule shared with the file tag; throws CWebException* with title.
void CheckTagFilePath(const std::string& path, const CWebMessage& title);

struct LocationTagState {
    std::string url;
    std::string addToken;

    void Reset() { *this = LocationTagState(); }
    // Accepts "", "YES" and "NO" in any case; anything else throws
    // "Invalid attribute value." with positionReport before the reason.
    void SetAddToken(const std::string& value, const std::string& positionReport);
};

// The URL with the client's URLTOKEN added when client management is on, the
// URL names a template (.KSM or .TSM) and ADDTOKEN is not "No". The token goes
// before the first "#".
std::string AddClientToken(const std::string& url, const std::string& addToken, CClientScope* clients);

// The URL for the Location header: CR and LF removed.
std::string RedirectUrl(const std::string& url);
// TSLOCATION's URL for the Location header: RedirectUrl, refused with "Invalid TSLOCATION
// tag" when it holds any other control character.
std::string LocationUrl(const std::string& url);

// text without any CR or LF: what goes into one header line.
std::string RemoveLineBreaks(const std::string& text);
