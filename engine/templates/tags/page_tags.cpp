#include "engine/templates/tags/page_tags.h"

#include "engine/templates/core/registered_error_page.h"
#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/core/loop_stack.h"
#include "engine/templates/core/output_section.h"
#include "engine/templates/page_loop_host.h"
#include "engine/templates/page_query_host.h"
#include "engine/templates/page_section_host.h"
#include "engine/templates/page_transaction_host.h"
#include "engine/templates/core/query_block.h"
#include "engine/templates/core/query_results.h"
#include "engine/templates/core/transaction_window.h"
#include "engine/templates/tags/tag_dispatch.h"
#include "engine/templates/template_page.h"
#include "support/text_helpers.h"

// The core objects of one page, in one allocation.
struct CPageTags::Core {
    Core(CQueryPage& page, CPageTags& tags)
        : queryHost(page),
          sectionHost(page, tags),
          loopHost(page, tags),
          transactionHost(page),
          queryTag(queryHost, queries),
          sections(sectionHost),
          loops(loopHost),
          transaction(transactionHost) {}

    // The hosts come first: the tag engines below keep references to them.
    CPageQueryHost queryHost;
    CPageSectionHost sectionHost;
    CPageLoopHost loopHost;
    CPageTransactionHost transactionHost;
    CNamedQueries queries;
    CQueryTag queryTag;
    COutputSectionStack sections;
    CLoopStack loops;
    CTransactionTag transaction;
    CErrorPageSpec requestErrorPage;
    CErrorPageSpec validationErrorPage;
};

CPageTags::CPageTags(CQueryPage& page)
    : m_page(page),
      m_core(std::make_unique<Core>(page, *this)),
      m_states(CTagDispatchTable::Instance().Families().size()) {}

CPageTags::~CPageTags() = default;

bool CPageTags::IsSkippingLoop() const {
    return m_core->loops.IsSkipping();
}

bool CPageTags::IsQueryPending() const {
    return m_core->queryTag.IsPending();
}

CNamedQueries& CPageTags::Queries() {
    return m_core->queries;
}

CQueryTag& CPageTags::QueryTag() {
    return m_core->queryTag;
}

CLoopStack& CPageTags::Loops() {
    return m_core->loops;
}

COutputSectionStack& CPageTags::Sections() {
    return m_core->sections;
}

CTransactionTag& CPageTags::Transaction() {
    return m_core->transaction;
}

CErrorPageSpec& CPageTags::RequestErrorPage() {
    return m_core->requestErrorPage;
}

CErrorPageSpec& CPageTags::ValidationErrorPage() {
    return m_core->validationErrorPage;
}

std::string CPageTags::CurrentQueryName() const {
    if (!m_sectionQuery.empty()) return m_sectionQuery;
    if (!m_tableQuery.empty()) return m_tableQuery;
    if (CTSXQueryImp* query = m_core->loops.CurrentQuery()) return query->GetName();
    return {};
}

std::string CPageTags::SetSectionQuery(const std::string& name) {
    std::string previous = m_sectionQuery;
    m_sectionQuery = name;
    return previous;
}

void CPageTags::CheckAtEnd() {
    m_core->queryTag.Finish();
    m_core->loops.CheckBalanced();
}

CTSXQueryImp* CPageTags::FindQuery(const std::string& name) {
    std::string upper = UpperCopy(name);
    // A loop or section naming the query whose block is still open runs it first.
    CQueryTag& block = m_core->queryTag;
    if (block.IsPending() && block.Pending()->GetName() == upper && !upper.empty()) block.Finish();
    return m_core->queries.Find(upper);
}

void CPageTags::FinishQueryNamedBy(const std::string& variable) {
    CQueryTag& block = m_core->queryTag;
    if (!block.IsPending()) return;
    std::size_t dot = variable.find('.');
    if (dot == std::string::npos || dot == 0) return;
    const std::string& pending = block.Pending()->GetName();
    if (!pending.empty() && UpperCopy(variable.substr(0, dot)) == pending) block.Finish();
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
    if (m_core->loops.IsSkipping()) return;
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
