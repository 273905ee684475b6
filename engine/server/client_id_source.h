// How the client-variable store reaches the request: the identifying URL
// parameters and cookies, the reply's cookies, and the request's random sequence.
// The template page implements it over its request reader and cookie scope.
#pragma once

#include <string>

class CClientIdSource {
public:
    virtual ~CClientIdSource() = default;

    virtual bool UrlParameterExists(const std::string& name) = 0;
    virtual std::string GetUrlParameter(const std::string& name) = 0;
    // Cookies the request sent.
    virtual bool CookieExists(const std::string& name) = 0;
    virtual std::string GetCookie(const std::string& name) = 0;
    // A cookie for the reply that never expires.
    virtual void SetCookie(const std::string& name, const std::string& value) = 0;
    // The request's template random sequence (0 to 32766). Client tokens do not
    // use it: they come from NewClientToken.
    virtual int Random() = 0;
};
