// TSINSERT and TSUPDATE: the submitted form's fields become a new row, or
// change the row their key selects (see pages/insert_update.h).
#include <memory>

#include "database/access/request_data_sources.h"
#include "support/text_helpers.h"
#include "support/web_exception.h"
#include "engine/templates/pages/insert_update.h"
#include "engine/templates/core/transaction_window.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/pages/pooled_data_sources.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

struct InsertState : TagFamilyState {
    std::unique_ptr<CInsertUpdateRequest> request;
};

CInsertUpdateRequest& Request(TagContext& c) {
    InsertState& state = c.Own<InsertState>();
    if (!state.request) state.request = std::make_unique<CInsertUpdateRequest>();
    return *state.request;
}

void Start(TagContext& c, bool insert) {
    c.Own<InsertState>().request = std::make_unique<CInsertUpdateRequest>();
    c.Own<InsertState>().request->insert = insert;
}

void End(TagContext& c) {
    std::unique_ptr<CInsertUpdateRequest> request = std::move(c.Own<InsertState>().request);
    if (!request) return;
    c.tags.Transaction().UseDataSource(request->login);
    const std::string tag = request->TagName();
    if (request->tableName.empty())
        throw new CWebException(CWebMessage("Invalid ") + tag + " Tag",
                                CWebMessage("You have attempted to use a ") + tag +
                                    " tag without specifying the TABLENAME attribute (this attribute is required by "
                                    "the " +
                                    tag + " tag).");
    RequestDataSourcesOf(c.page).CheckSQLAuthorization(request->insert ? "INSERT" : "UPDATE",
                                                       request->login.dataSource);
    CQueryPage& page = c.page;
    CInsertUpdate engine(*request, page, [&page](const std::string& text, const std::string& list) {
        page.WriteValidationReply(text, list);
    });
    if (engine.Execute()) return;
    // The validation page is the reply: the page ends as TSABORT ends it.
    page.SetAborted();
    if (CTemplateParser* parser = page.currentTemplateParser()) parser->setAbort(1);
}

constexpr TagAction kActions[] = {
    {p::insertStart_InsertTag, [](TagContext& c) { Start(c, true); }},
    {p::insertStart_UpdateTag, [](TagContext& c) { Start(c, false); }},
    {p::insertAttribute_InsertDataSource_attributeValue,
     [](TagContext& c) { Request(c).login.dataSource = TrimmedCopy(c.page.attributeValue()); }},
    {p::insertAttribute_InsertUserName_attributeValue,
     [](TagContext& c) { Request(c).login.user = c.page.attributeValue(); }},
    {p::insertAttribute_InsertPassword_attributeValue,
     [](TagContext& c) { Request(c).login.password = c.page.attributeValue(); }},
    {p::insertAttribute_InsertTableName_attributeValue,
     [](TagContext& c) { Request(c).tableName = TrimmedCopy(c.page.attributeValue()); }},
    {p::insertAttribute_InsertTableOwner_attributeValue,
     [](TagContext& c) { Request(c).tableOwner = TrimmedCopy(c.page.attributeValue()); }},
    {p::insertAttribute_InsertTableQualifier_attributeValue,
     [](TagContext& c) { Request(c).tableQualifier = TrimmedCopy(c.page.attributeValue()); }},
    {p::insertAttribute_InsertFormFields_attributeValue,
     [](TagContext& c) { Request(c).fieldList = ParseFormFieldList(c.page.attributeValue()); }},
    {p::item_insertStart_insertAttributesOpt_InsertEnd, End},
};

}  // namespace

const TagFamily kInsertTags{"TSINSERT TSUPDATE", kActions,
                            [] { return std::unique_ptr<TagFamilyState>(std::make_unique<InsertState>()); }};
