// TSFILE: the tag object is made at the opening, takes its attributes in any
// order, and acts at the closing ">".
#include "support/server_settings.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/scopes/cookie_scope.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/tags/file/file_engine.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

struct FileTagState : TagFamilyState {
    std::unique_ptr<CFileTag> tag;
};

CFileTag& Tag(TagContext& c) {
    std::unique_ptr<CFileTag>& tag = c.Own<FileTagState>().tag;
    if (!tag)
        throw new CWebException("Error processing TSFILE tag", "A TSFILE attribute arrived outside a TSFILE tag.");
    return *tag;
}

void Open(TagContext& c) {
    CQueryPage& page = c.page;
    CServerSettings* settings = page.GetSettings();
    if (settings != nullptr && settings->GetNumber("Server", "EnableTSFILE", 1) == 0)
        throw new CWebException("TSFILE tag disabled for this server",
                                "The use of the TSFILE tag has been disabled by the administrator of this server.");
    FileTagHost host;
    host.request = page.GetReader();
    host.files = &page.Files();
    host.maxReadBytes = page.GetScopes().MaxFunctionResultBytes();
    host.setFileVariable = [&page](const std::string& name, const std::string& value) {
        page.GetScopes().SetFileVariable(name, value);
    };
    host.setVariable = [&page](const std::string& name, const std::string& value) {
        page.GetCookieScope()->SetVariable(UpperCopy(name), value);
    };
    host.logActions = settings != nullptr && settings->GetNumber("Logging", "LogTSFILEActions", 0) != 0;
    host.templatePath = page.templateFileName();
    c.Own<FileTagState>().tag = std::make_unique<CFileTag>(std::move(host));
}

void Close(TagContext& c) {
    // The object goes whether the action succeeds or not.
    std::unique_ptr<CFileTag> tag = std::move(c.Own<FileTagState>().tag);
    if (!tag) return;
    tag->Execute();
}

constexpr TagAction kActions[] = {
    {p::fileStart_FileTag, Open},
    {p::fileAttribute_FileAction_attributeValue, [](TagContext& c) { Tag(c).SetAction(c.page.attributeValue()); }},
    {p::fileAttribute_FileFile_attributeValue, [](TagContext& c) { Tag(c).SetFile(c.page.attributeValue()); }},
    {p::fileAttribute_FileFileField_attributeValue,
     [](TagContext& c) { Tag(c).SetFileField(c.page.attributeValue()); }},
    {p::fileAttribute_FileSource_attributeValue, [](TagContext& c) { Tag(c).SetSource(c.page.attributeValue()); }},
    {p::fileAttribute_FileDestination_attributeValue,
     [](TagContext& c) { Tag(c).SetDestination(c.page.attributeValue()); }},
    {p::fileAttribute_FileOutput_attributeValue, [](TagContext& c) { Tag(c).SetOutput(c.page.attributeValue()); }},
    {p::fileAttribute_FileVariable_attributeValue, [](TagContext& c) { Tag(c).SetVariable(c.page.attributeValue()); }},
    {p::fileAttribute_FileAccept_attributeValue, [](TagContext& c) { Tag(c).SetAccept(c.page.attributeValue()); }},
    {p::fileAttribute_FileNameConflict_attributeValue,
     [](TagContext& c) { Tag(c).SetNameConflict(c.page.attributeValue()); }},
    {p::item_fileStart_fileAttributesOpt_AbortTag, Close},
};

std::unique_ptr<TagFamilyState> MakeState() {
    return std::make_unique<FileTagState>();
}

}  // namespace

const TagFamily kFileTags{"TSFILE", kActions, MakeState};
