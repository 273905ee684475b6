#include "engine/templates/tags/page_tags.h"

#include "support/text_helpers.h"
#include "engine/templates/tags/if/if_block_stack.h"
#include "engine/templates/template_page.h"
#include "engine/templates/tags/tag_dispatch.h"

CPageTags::CPageTags(CQueryPage& page)
    : m_page(page),
      m_queryHost(page),
      m_sectionHost(page, *this),
      m_loopHost(page, *this),
      m_transactionHost(page),
      m_queryTag(m_queryHost, m_queries),
      m_sections(m_sectionHost),
      m_loops(m_loopHost),
      m_transaction(m_transactionHost),
      m_states(CTagDispatchTable::Instance().Families().size()) {}

CPageTags::~CPageTags() = default;

std::string CPageTags::CurrentQueryName() const {
    if (!m_sectionQuery.empty()) return m_sectionQuery;
    if (!m_tableQuery.empty()) return m_tableQuery;
    if (CTSXQueryImp* query = m_loops.CurrentQuery()) return query->GetName();
    return {};
}

std::string CPageTags::SetSectionQuery(const std::string& name) {
    std::string previous = m_sectionQuery;
    m_sectionQuery = name;
    return previous;
}

void CPageTags::CheckAtEnd() {
    m_queryTag.Finish();
    m_loops.CheckBalanced();
}

CTSXQueryImp* CPageTags::FindQuery(const std::string& name) {
    std::string upper = UpperCopy(name);
    // A loop or section naming the query whose block is still open runs it first.
    if (m_queryTag.IsPending() && m_queryTag.Pending()->GetName() == upper && !upper.empty()) m_queryTag.Finish();
    return m_queries.Find(upper);
}

void CPageTags::FinishQueryNamedBy(const std::string& variable) {
    if (!m_queryTag.IsPending()) return;
    std::size_t dot = variable.find('.');
    if (dot == std::string::npos || dot == 0) return;
    const std::string& pending = m_queryTag.Pending()->GetName();
    if (!pending.empty() && UpperCopy(variable.substr(0, dot)) == pending) m_queryTag.Finish();
}

TagFamilyState* CPageTags::StateOf(std::size_t family) {
    std::unique_ptr<TagFamilyState>& state = m_states[family];
    if (!state) {
        auto make = CTagDispatchTable::Instance().Families()[family]->makeState;
        if (make != nullptr) state = make();
    }
    return state.get();
}

void CPageTags::Run(std::size_t family, const TagAction& action, CTemplateParser& parser) {
    TagContext context{m_page, parser, *this, StateOf(family)};
    action.run(context);
}

void CPageTags::Reduce(std::uint32_t production, CTemplateParser& parser) {
    const CTagDispatchTable& table = CTagDispatchTable::Instance();
    const TagRoute* route = table.Find(production);
    TagPhase phase = route != nullptr ? route->action->phase : TagPhase::Output;
    bool outputOn = m_page.GetIfStack()->IsOutputOn();

    if (phase == TagPhase::LoopBoundary && outputOn) {
        Run(route->family, *route->action, parser);
        return;
    }
    if (m_loops.IsSkipping()) return;
    if (phase == TagPhase::Conditional) {
        Run(route->family, *route->action, parser);
        return;
    }
    if (!outputOn) return;
    for (std::size_t family : table.Intercepting()) {
        TagContext context{m_page, parser, *this, StateOf(family)};
        if (table.Families()[family]->intercept(context, production)) return;
    }
    if (route != nullptr) Run(route->family, *route->action, parser);
}
