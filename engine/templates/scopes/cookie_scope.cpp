#include "engine/templates/scopes/cookie_scope.h"

#include <algorithm>
#include <cmath>

#include "engine/server/request_reader.h"
#include "foundation/date_text_parser.h"
#include "platform/clock.h"
#include "support/control_characters.h"
#include "support/number_parse.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"

namespace {

constexpr long kSecondsPerDay = 24L * 60 * 60;
constexpr double kMaxExpiresDays = 36525;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

void RefuseUnsafe(const std::string& what, const std::string& text, const char* refused) {
    if (text.find_first_of(refused) == std::string::npos) return;
    throw new CWebException(CWebMessage("Invalid TSCOOKIE ") + what,
                            CWebMessage("The ") + what + " of the TSCOOKIE tag ('" + text +
                                "') contains a character that is not allowed there (a line break, ';' or ',').");
}

}  // namespace

void CCookie::SetExpiresSpecial(int kind) {
    if (kind == kExpireNow)
        m_expires = std::time(nullptr) - 30 * kSecondsPerDay;
    else if (kind == kExpireNever)
        m_expires = LocalTime(2037, 9, 27, 0, 0, 0);
}

void CCookie::CheckName() const {
    if (name.empty())
        throw new CWebException(
            "NAME attribute not specified",
            "The NAME attribute of the TSCOOKIE tag is required. This attribute indicates to the "
            "browser the name which you will use to refer to the cookie value on subsequent pages.");
    // The value is sent encoded; the rest as it stands, where a browser could take a control
    // character for the end of the line or of the attribute.
    for (const auto& [what, text] : {std::pair<const char*, const std::string&>{"NAME attribute", name},
                                     {"PATH attribute", path},
                                     {"DOMAIN attribute", domain}})
        RefuseControlCharacters(text, std::string("Invalid TSCOOKIE ") + what,
                                std::string(what) + " of the TSCOOKIE tag");
    RefuseUnsafe("NAME attribute", name, ";, =");
    RefuseUnsafe("PATH attribute", path, ";,");
    RefuseUnsafe("DOMAIN attribute", domain, ";,");
}

std::string CCookie::GetSetCookieLine() const {
    std::string line = "Set-Cookie: " + name + "=" + CookieUrlEncode(value) + "; ";
    if (m_expires) line += "expires=" + FormatCookieExpiry(*m_expires) + "; ";
    line += "path=" + (path.empty() ? std::string("/") : path) + "; ";
    if (!domain.empty()) line += "domain=" + domain + "; ";
    if (secure) line += "secure";
    return line;
}

CCookieScope::CCookieScope(const CRequestReader* reader) {
    if (reader != nullptr && reader->HasCgiVariable("Cookie")) ParseCookieHeader(reader->GetCgiVariable("Cookie"));
}

void CCookieScope::SetVariable(const std::string& name, const std::string& value) {
    m_variables[UpperCopy(name)] = value;
}

bool CCookieScope::GetVariable(const std::string& name, std::string& value) const {
    auto it = m_variables.find(UpperCopy(name));
    if (it == m_variables.end()) return false;
    value = it->second;
    return true;
}

bool CCookieScope::GetCookie(const std::string& name, std::string& value) const {
    auto it = m_requestCookies.find(UpperCopy(name));
    if (it == m_requestCookies.end()) return false;
    value = it->second;
    return true;
}

void CCookieScope::SetCookieValue(const std::string& name, const std::string& value) {
    m_requestCookies[UpperCopy(name)] = value;
}

void CCookieScope::AddCookie(std::unique_ptr<CCookie> cookie) {
    std::string name = cookie->name, value = cookie->value;
    m_outgoing[UpperCopy(name)] = std::move(cookie);
    SetCookieValue(name, value);
}

std::string CCookieScope::BuildSetCookieHeaders() const {
    std::string block;
    for (const auto& [key, cookie] : m_outgoing) block += cookie->GetSetCookieLine() + "\n";
    return block;
}

void CCookieScope::ParseCookieHeader(const std::string& text) {
    std::size_t start = 0;
    for (std::size_t semi; (semi = text.find(';', start)) != std::string::npos; start = semi + 1)
        ParseCookieItem(text.substr(start, semi - start));
    ParseCookieItem(text.substr(start));
}

void CCookieScope::ParseCookieItem(const std::string& item) {
    std::size_t equals = item.find('=');
    if (equals == std::string::npos) return;
    // UrlDecode keeps a "%" that lacks two characters after it.
    SetCookieValue(TrimmedCopy(item.substr(0, equals)), UrlDecode(item.substr(equals + 1)));
}

std::string CookieUrlEncode(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if (c < 128 && std::isalnum(c))
            out += static_cast<char>(c);
        else if (c == ' ')
            out += '+';
        else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string FormatCookieExpiry(std::time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    if (!tessaro::platform::ToUniversalTime(when, utc)) return "Thu, 01-Jan-70 00:00:00 GMT";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d-%s-%02d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday,
                  kMonths[utc.tm_mon], utc.tm_year % 100, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return buffer;
}

std::time_t ParseCookieExpires(const std::string& text, std::time_t now, bool& special, int& specialKind) {
    special = false;
    std::string upper = UpperCopy(text);
    if (upper == "NOW" || upper == "NEVER") {
        special = true;
        specialKind = upper == "NOW" ? CCookie::kExpireNow : CCookie::kExpireNever;
        return 0;
    }
    tessaro::foundation::ParsedDateTime date;
    if (tessaro::foundation::TryParseDateText(text, date) && date.hasDate)
        return LocalTime(date.year, date.month, date.day, date.hour, date.minute, date.second);
    double days = 0;
    // Any number is a count of days; beyond 100 years either way it counts as 100 years,
    // so that no count leaves the range of a time (a browser sees no difference).
    if (ParseReal(text, days) && !std::isnan(days))
        return now + static_cast<std::time_t>(std::trunc(std::clamp(days, -kMaxExpiresDays, kMaxExpiresDays))) *
                         kSecondsPerDay;
    throw new CWebException(
        "Invalid EXPIRES attribute",
        "The EXPIRES attribute of the TSCOOKIE tag must contain one of the following in order to be valid:<P><UL><LI>A "
        "string containing a literal date (e.g. \"4/22/95\").<LI>A variable which refers to a date (e.g. "
        "#TheDate#).<LI>An integer value representing the number of days after which the cookie should expire (e.g. "
        "\"5\").<LI>One of the special values NOW or NEVER.</UL>.");
}
