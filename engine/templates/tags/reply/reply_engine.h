// TSHEADER, TSCONTENT and TSLOCATION: the tags that act on the reply rather than
// on its text. The page keeps one state per tag and calls these at the tag's end.
#pragma once

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

// TSLOCATION's URL for the Location header: RedirectUrl, refused with "Invalid TSLOCATION
// tag" when it holds any other control character.
std::string LocationUrl(const std::string& url);
