// TSREPORT: attributes fill the report request, the body (run once, without a row) is the
// selection criteria, and the end tag runs the report into the page.
#include <memory>

#include "engine/grammar/template_symbols.h"
#include "engine/templates/core/output_section.h"
#include "engine/templates/page_section_host.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/report/report_engine.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/template_parser.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

struct ReportState : TagFamilyState {
    std::unique_ptr<CReportTag> tag;
};

CReportTag* Tag(TagContext& c) {
    return c.Own<ReportState>().tag.get();
}

template <void (*Apply)(CReportTag&, TagContext&)>
void WithTag(TagContext& c) {
    if (CReportTag* tag = Tag(c)) Apply(*tag, c);
}

// The attribute's value with the origin of each character: its own text, and what each
// #...# part gives, as a report body's text is evaluated.
CTracedText TracedAttributeValue(TagContext& c) {
    CPageSectionHost host(c.page, c.tags);
    CTracedText value;
    for (auto& [expression, text] : host.SplitText(c.page.rawAttributeValue())) {
        if (expression)
            value.Append(host.EvaluateTracedExpression(text, -1));
        else
            value.AppendLiteral(text);
    }
    return value;
}

constexpr TagAction kActions[] = {
    {p::reportStart_ReportTag,
     [](TagContext& c) {
         const TemplateServices& services = c.page.Services();
         c.Own<ReportState>().tag = std::make_unique<CReportTag>(
             c.page.GetSettings(), c.page.GetReader(), c.page.Files(), services.reportServer, services.reportSettings);
         c.tags.Sections().OpenReport();
     }},
    {p::reportAttribute_ReportReport_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.SetReportPath(c.page.attributeValue()); }>},
    {p::reportAttribute_ReportTitle_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_title = c.page.attributeValue(); }>},
    {p::reportAttribute_ReportTimeout_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.SetTimeout(c.page.attributeValue()); }>},
    {p::reportAttribute_ReportHtmlType_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_htmlType = c.page.attributeValue(); }>},
    {p::reportAttribute_ReportParameter_attributeValue, WithTag<[](CReportTag& t, TagContext& c) {
         std::string lexeme = c.parser.LexemeAt(0);
         t.AddFormula(lexeme, TracedAttributeValue(c));
     }>},
    {p::reportAttribute_ReportOrderBy_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_orderBy = c.page.attributeValue(); }>},
    {p::reportAttribute_ReportDataSource_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_dataSource = c.page.attributeValue(); }>},
    {p::reportAttribute_ReportUserName_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_userName = c.page.attributeValue(); }>},
    {p::reportAttribute_ReportPassword_attributeValue,
     WithTag<[](CReportTag& t, TagContext& c) { t.m_password = c.page.attributeValue(); }>},
    {p::item_reportStart_reportAttributesOpt_sectionBodyOpt_SectionEnd,
     [](TagContext& c) {
         std::unique_ptr<CReportTag> tag = std::move(c.Own<ReportState>().tag);
         CTracedText body;
         c.tags.Sections().CloseTopLevel(&body);
         if (!tag) return;
         tag->SetSelection(body);
         tag->Run();
         c.page.WriteText(tag->PageText());
     }},
};

}  // namespace

const TagFamily kReportTags{"TSREPORT", kActions, [] { return std::unique_ptr<TagFamilyState>(new ReportState); }};
