// TSX extension tags (<TSX_NAME ...>): a tag registered under CustomTags\<name>
// collects its attributes and, at its ">", runs the procedure of its library
// through the tag manager.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "support/query_not_executed.h"
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/templates/tags/extension/tsx_request.h"
#include "engine/templates/tags/extension/tsx_tag_manager.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

constexpr const char* kNotRegistered = "--NOPATH--";

// The tag being read.
struct ExtensionTagState : TagFamilyState {
    bool open = false;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    CTSXQueryImp* query = nullptr;
    bool debug = false;
};

ExtensionTagState& State(TagContext& c) {
    return c.Own<ExtensionTagState>();
}

std::string KeyPath(const std::string& name) {
    return "CustomTags\\" + name;
}

std::string Setting(CQueryPage& page, const std::string& tag, const std::string& name, const std::string& fallback) {
    CServerSettings* settings = page.GetSettings();
    return settings != nullptr ? settings->GetString(KeyPath(tag), name, fallback) : fallback;
}

// A later value of the same name replaces the earlier one in its place.
void AddAttribute(ExtensionTagState& state, const std::string& name, const std::string& value) {
    for (auto& attribute : state.attributes)
        if (UpperCopy(attribute.first) == UpperCopy(name)) {
            attribute.second = value;
            return;
        }
    state.attributes.emplace_back(name, value);
}

void Begin(TagContext& c) {
    ExtensionTagState& state = State(c);
    state = ExtensionTagState{};
    std::string name = RemoveWhitespace(RemoveChar(c.parser.LexemeAt(0), '<'));
    if (Setting(c.page, name, "LibraryPath", kNotRegistered) == kNotRegistered)
        throw new CWebException(
            "Error processing TSX custom tag",
            CWebMessage("The TSX custom tag '") + name +
                "' was not found in the custom tag database (the database is stored under the "
                "'Brendlow\\Tessaro\\CurrentVersion\\CustomTags' Registry key).<P>Please be sure to add custom tags to "
                "the database before using them. If you have added your tag to the database then you should check the "
                "spelling of the tag within your template to insure that it matches the database entry.");
    state.name = name;
    state.open = true;
}

void ValueAttribute(TagContext& c) {
    std::string lexeme = c.parser.LexemeAt(0);
    std::string value = c.page.attributeValue();
    ExtensionTagState& state = State(c);
    std::size_t equals = lexeme.find('=');
    if (!state.open || equals == std::string::npos) return;
    std::string name = RemoveWhitespace(lexeme.substr(0, equals));
    if (UpperCopy(name) != "QUERY") {
        AddAttribute(state, name, value);
        return;
    }
    std::string queryName = UpperCopy(value);
    state.query = c.tags.FindQuery(queryName);
    if (state.query == nullptr)
        throw new CWebException("Invalid QUERY name specified", QueryNotYetExecutedText(queryName));
}

void FlagAttribute(TagContext& c) {
    ExtensionTagState& state = State(c);
    if (!state.open) return;
    std::string name = UpperCopy(RemoveWhitespace(c.parser.LexemeAt(0)));
    if (name == "DEBUG")
        state.debug = true;
    else
        AddAttribute(state, name, "");
}

void End(TagContext& c) {
    ExtensionTagState tag = std::move(State(c));
    State(c) = ExtensionTagState{};
    if (!tag.open) return;
    CQueryPage& page = c.page;
    TSXRequestHost host;
    host.queries = &c.tags.Queries();
    host.write = [&page](const std::string& text) { page.WriteText(text); };
    host.setVariable = [&page](const std::string& name, const std::string& value) {
        page.GetCookieScope()->SetVariable(name, value);
    };
    host.getSetting = [&page, name = tag.name](const std::string& setting) { return Setting(page, name, setting, ""); };
    CTSXRequestImp request(std::move(host), std::move(tag.attributes), tag.query, tag.debug);
    try {
        std::int64_t start = tessaro::platform::MonotonicMilliseconds();
        CTSCustomTagManager* manager = page.Services().customTags.get();
        if (manager == nullptr)
            throw new CTSXExceptionImp("Error in TSX custom tag manager",
                                       "The Tessaro engine has no custom tag manager.");
        manager->CallTag(tag.name, request);
        if (request.IsDebug())
            page.WriteText("<HR><B>" + tag.name + "</B> Execution Time = " +
                           std::to_string(tessaro::platform::MonotonicMilliseconds() - start) + " ms <BR>" +
                           request.GetDebugText() + "<HR>");
    } catch (CTSXExceptionImp* e) {
        std::unique_ptr<CTSXExceptionImp> owned(e);
        // The library's own texts, HTML as the extension interface says.
        throw new CWebException(CWebMessage::FromHtml(owned->GetTitle()), CWebMessage::FromHtml(owned->GetDetail()));
    }
}

constexpr TagAction kActions[] = {
    {p::extensionStart_ExtensionTag, Begin},
    {p::extensionAttribute_ObjectAttribute_attributeValue, ValueAttribute},
    {p::extensionAttribute_ObjectFlag, FlagAttribute},
    {p::item_extensionStart_extensionAttributesOpt_ObjectEnd, End},
};

std::unique_ptr<TagFamilyState> MakeState() {
    return std::make_unique<ExtensionTagState>();
}

}  // namespace

const TagFamily kExtensionTags{"TSX", kActions, MakeState};
