// The request's cookie scope: the template's own variables, the cookies the
// browser sent, and the cookies the template sets (Set-Cookie lines).
#pragma once

#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CRequestReader;

class CCookie {
public:
    enum SpecialExpiry { kExpireNow = 0, kExpireNever = 1 };

    std::string name;
    std::string value;
    std::string path;
    std::string domain;
    bool secure = false;

    // No expiry makes a session cookie.
    void SetExpires(std::optional<std::time_t> when) { m_expires = when; }
    const std::optional<std::time_t>& GetExpires() const { return m_expires; }
    // NOW: thirty days back; NEVER: 27 September 2037, local midnight.
    void SetExpiresSpecial(int kind);
    // Throws CWebException* without a name; refuses names, paths and domains
    // that could end the header line or the cookie's attribute list.
    void CheckName() const;
    std::string GetSetCookieLine() const;

private:
    std::optional<std::time_t> m_expires;
};

class CCookieScope {
public:
    // reader may be null (an empty request).
    explicit CCookieScope(const CRequestReader* reader);
    virtual ~CCookieScope() = default;

    void SetVariable(const std::string& name, const std::string& value);
    bool GetVariable(const std::string& name, std::string& value) const;
    bool GetCookie(const std::string& name, std::string& value) const;
    void SetCookieValue(const std::string& name, const std::string& value);
    // Replaces an outgoing cookie of the same name; COOKIE.name reads the new value.
    void AddCookie(std::unique_ptr<CCookie> cookie);
    // One Set-Cookie line per outgoing cookie, each ended by "\n".
    std::string BuildSetCookieHeaders() const;

    void ParseCookieHeader(const std::string& text);
    const std::map<std::string, std::string>& GetVariables() const { return m_variables; }

private:
    void ParseCookieItem(const std::string& item);

    std::map<std::string, std::string> m_variables;
    std::map<std::string, std::string> m_requestCookies;
    std::map<std::string, std::unique_ptr<CCookie>> m_outgoing;
};

// Letters and digits stay, a blank is "+", every other byte "%XX".
std::string CookieUrlEncode(const std::string& value);
// The expiry text of a Set-Cookie line, in GMT.
std::string FormatCookieExpiry(std::time_t when);
// The EXPIRES attribute: NOW, NEVER, a date, or a number of days from now.
// Throws CWebException* for anything else.
std::time_t ParseCookieExpires(const std::string& text, std::time_t now, bool& special, int& specialKind);
