// TSHEADER, TSCONTENT, TSLOCATION and TSABORT: the tags that act on the reply
// rather than on its text.
#include "engine/server/client_scope.h"
#include "engine/server/reply_writer.h"
#include "support/text_helpers.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/core/reply_header_rules.h"
#include "engine/templates/tags/reply/reply_engine.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

// The attributes of the tag being read.
struct ReplyTagsState : TagFamilyState {
    std::string headerName, headerValue;
    ContentTagState content;
    LocationTagState location;
};

ReplyTagsState& State(TagContext& c) {
    return c.Own<ReplyTagsState>();
}

// A redirect or a file is the whole reply: no debug or timing footer may follow it.
void ReplaceReply(TagContext& c) {
    c.tags.SetReplacedReply();
    c.page.SetRan(false);
}

void Abort(CQueryPage& page) {
    page.SetAborted();
    // The parsers of including templates stop at their next reduction.
    if (CTemplateParser* parser = page.currentTemplateParser()) parser->setAbort(1);
}

void EndContent(TagContext& c) {
    if (ExecuteContent(State(c).content, *c.page.GetWriter(), c.page.Files())) {
        ReplaceReply(c);
        Abort(c.page);
    }
}

void EndLocation(TagContext& c) {
    const LocationTagState& location = State(c).location;
    CClientScope* clients =
        location.addToken.empty() || UpperCopy(location.addToken) != "NO" ? c.page.GetScopes().Clients() : nullptr;
    c.page.GetWriter()->Redirect(LocationUrl(AddClientToken(location.url, location.addToken, clients)));
    ReplaceReply(c);
    Abort(c.page);
}

constexpr TagAction kActions[] = {
    // TSCONTENT.
    {p::contentStart_ContentTag, [](TagContext& c) { State(c).content.Reset(); }},
    {p::contentAttribute_ContentType_attributeValue,
     [](TagContext& c) { State(c).content.type = c.page.attributeValue(); }},
    {p::contentAttribute_ContentFile_attributeValue,
     [](TagContext& c) { State(c).content.file = c.page.attributeValue(); }},
    {p::contentAttribute_ContentDeleteFile_attributeValue,
     [](TagContext& c) { State(c).content.SetDeleteFile(c.page.attributeValue()); }},
    {p::item_contentStart_contentAttributesOpt_ContentEnd, EndContent},
    // TSHEADER.
    {p::headerStart_HeaderTag,
     [](TagContext& c) {
         State(c).headerName.clear();
         State(c).headerValue.clear();
     }},
    {p::headerAttribute_HeaderName_attributeValue,
     [](TagContext& c) { State(c).headerName = c.page.attributeValue(); }},
    {p::headerAttribute_HeaderValue_attributeValue,
     [](TagContext& c) { State(c).headerValue = c.page.attributeValue(); }},
    {p::item_headerStart_headerAttributesOpt_HeaderEnd,
     [](TagContext& c) {
         std::string line = BuildHeaderLine(State(c).headerName, State(c).headerValue);
         CCookieScope* cookies = c.page.GetCookieScope();
         CheckReplyHeaderSize(c.page.GetWriter()->GetHeaders() + (cookies ? cookies->BuildSetCookieHeaders() : ""),
                              line, "Invalid TSHEADER tag");
         c.page.GetWriter()->AddHeader(line);
     }},
    // TSLOCATION and TSABORT.
    {p::locationStart_LocationTag, [](TagContext& c) { State(c).location.Reset(); }},
    {p::locationAttribute_LocationUrl_attributeValue,
     [](TagContext& c) { State(c).location.url = c.page.attributeValue(); }},
    {p::locationAttribute_LocationAddToken_attributeValue,
     [](TagContext& c) { State(c).location.SetAddToken(c.page.attributeValue(), c.page.WriteErrorReport()); }},
    {p::item_locationStart_locationAttributesOpt_LocationEnd, EndLocation},
    {p::item_AbortTag, [](TagContext& c) { Abort(c.page); }},
};

std::unique_ptr<TagFamilyState> MakeState() {
    return std::make_unique<ReplyTagsState>();
}

}  // namespace

const TagFamily kReplyTags{"TSHEADER TSCONTENT TSLOCATION TSABORT", kActions, MakeState};
