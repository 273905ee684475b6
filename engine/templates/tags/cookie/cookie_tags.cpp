// TSCOOKIE: the cookie is built attribute by attribute and joins the page's
// cookies at the end of the tag.
#include <ctime>

#include "engine/server/reply_writer.h"
#include "support/text_helpers.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/core/reply_header_rules.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

struct CookieTagState : TagFamilyState {
    std::unique_ptr<CCookie> cookie;
};

CCookie& Cookie(TagContext& c) {
    std::unique_ptr<CCookie>& cookie = c.Own<CookieTagState>().cookie;
    if (!cookie) cookie = std::make_unique<CCookie>();
    return *cookie;
}

void SetExpires(TagContext& c) {
    bool special = false;
    int kind = 0;
    std::time_t when = ParseCookieExpires(c.page.attributeValue(), std::time(nullptr), special, kind);
    if (special)
        Cookie(c).SetExpiresSpecial(kind);
    else
        Cookie(c).SetExpires(when);
}

void End(TagContext& c) {
    Cookie(c).CheckName();
    // Refused before it is kept: a cookie the web server would not pass costs the whole reply.
    CheckReplyHeaderSize(c.page.GetWriter()->GetHeaders() + c.page.GetCookieScope()->BuildSetCookieHeaders(),
                         Cookie(c).GetSetCookieLine() + "\n", "Invalid TSCOOKIE tag");
    c.page.GetCookieScope()->AddCookie(std::move(c.Own<CookieTagState>().cookie));
}

constexpr TagAction kActions[] = {
    {p::cookieStart_CookieTag, [](TagContext& c) { c.Own<CookieTagState>().cookie = std::make_unique<CCookie>(); }},
    {p::cookieAttribute_CookieName_attributeValue,
     [](TagContext& c) { Cookie(c).name = UpperCopy(c.page.attributeValue()); }},
    {p::cookieAttribute_CookieValue_attributeValue, [](TagContext& c) { Cookie(c).value = c.page.attributeValue(); }},
    {p::cookieAttribute_CookieExpires_attributeValue, SetExpires},
    {p::cookieAttribute_CookiePath_attributeValue, [](TagContext& c) { Cookie(c).path = c.page.attributeValue(); }},
    {p::cookieAttribute_CookieDomain_attributeValue, [](TagContext& c) { Cookie(c).domain = c.page.attributeValue(); }},
    {p::cookieAttribute_CookieSecure, [](TagContext& c) { Cookie(c).secure = true; }},
    {p::item_cookieStart_cookieAttributesOpt_CookieEnd, End},
};

std::unique_ptr<TagFamilyState> MakeState() {
    return std::make_unique<CookieTagState>();
}

}  // namespace

const TagFamily kCookieTags{"TSCOOKIE", kActions, MakeState};
