// TSMAIL: a section whose rows become mail messages; the body is TSOUTPUT's.
#include "support/number_parse.h"
#include "engine/templates/core/output_section.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/grammar/template_symbols.h"

namespace p = tessaro::grammar::template_grammar::production;

namespace {

COutputSectionStack& Sections(TagContext& c) {
    return c.tags.Sections();
}
COutputSection* Current(TagContext& c) {
    return c.tags.Sections().Current();
}
int AsInt(const std::string& text) {
    return static_cast<int>(AsciiToLong(text));
}

constexpr TagAction kActions[] = {
    {p::sectionStart_MailTag, [](TagContext& c) { Sections(c).OpenMail(); }},
    {p::sectionAttribute_OutputServer_attributeValue,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->SetServer(c.page.attributeValue());
     }},
    {p::sectionAttribute_OutputPort_attributeValue,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->SetPort(AsInt(c.page.attributeValue()));
     }},
    {p::sectionAttribute_OutputTimeout_attributeValue,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->SetTimeout(AsInt(c.page.attributeValue()));
     }},
    {p::sectionAttribute_OutputMimeAttach_attributeValue,
     [](TagContext& c) {
         if (COutputSection* s = Current(c)) s->SetMimeAttach(c.page.rawAttributeValue());
     }},
    {p::sectionAttribute_OutputSubject_attributeValue,
     [](TagContext& c) { Sections(c).OnSubject(c.page.rawAttributeValue()); }},
    {p::sectionAttribute_OutputFrom_attributeValue,
     [](TagContext& c) { Sections(c).OnFrom(c.page.rawAttributeValue()); }},
    {p::sectionAttribute_OutputTo_attributeValue, [](TagContext& c) { Sections(c).OnTo(c.page.rawAttributeValue()); }},
    {p::sectionAttribute_OutputCc_attributeValue, [](TagContext& c) { Sections(c).OnCc(c.page.rawAttributeValue()); }},
    {p::sectionAttribute_OutputType_attributeValue,
     [](TagContext& c) {
         c.page.rawAttributeValue();
         if (COutputSection* s = Current(c)) s->SetHtmlMail();
     }},
};

}  // namespace

const TagFamily kMailTags{"TSMAIL", kActions};
