// What the tag families of one page share: the named queries and the pending
// TSQUERY block, the loop stack, the TSOUTPUT/TSMAIL sections and the TSERROR
// pages, plus each family's own per-page state. Each reduction reaches the
// families through here, by the dispatch table built from their list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/templates/output_section.h"
#include "engine/templates/tags/loop/loop_host.h"
#include "engine/templates/tags/query/query_host.h"
#include "engine/templates/page_section_host.h"
#include "engine/templates/tags/transaction/transaction_host.h"
#include "engine/templates/tags/query/query_results.h"
#include "engine/templates/tags/tag_dispatch.h"
#include "engine/templates/tags/tag_family.h"
#include "engine/templates/tags/loop/loop_engine.h"
#include "engine/templates/tags/param_error/param_error_engine.h"
#include "engine/templates/tags/query/query_engine.h"
#include "engine/templates/tags/transaction/transaction_engine.h"

class CQueryPage;
class CTemplateParser;

class CPageTags {
public:
    explicit CPageTags(CQueryPage& page);
    ~CPageTags();

    // The production's action, if a family has one, in its phase (see TagPhase).
    // Called for every reduction before TSABORT.
    void Reduce(std::uint32_t production, CTemplateParser& parser);

    bool IsSkippingLoop() const { return m_loops.IsSkipping(); }
    bool IsQueryPending() const { return m_queryTag.IsPending(); }
    // End of the main template: an open TSLOOP is an error, a pending query runs.
    void CheckAtEnd();

    CNamedQueries& Queries() { return m_queries; }
    CQueryTag& QueryTag() { return m_queryTag; }
    CLoopStack& Loops() { return m_loops; }
    COutputSectionStack& Sections() { return m_sections; }
    CTransactionTag& Transaction() { return m_transaction; }
    // An executed query by name; a pending TSQUERY of that name runs first.
    CTSXQueryImp* FindQuery(const std::string& name);
    // A variable named "<query>.<column>" inside the open block of that query runs
    // the query first, so that the reference sees its rows.
    void FinishQueryNamedBy(const std::string& variable);
    // The query unqualified names resolve against: the running section's, else the
    // open TSTABLE's, else the innermost query loop's.
    std::string CurrentQueryName() const;
    // The running section's query; returns the one it replaces.
    std::string SetSectionQuery(const std::string& name);
    // The query of the open TSTABLE ("" when none is open or it has no QUERY yet).
    void SetTableQuery(const std::string& name) { m_tableQuery = name; }

    // TSLOCATION or a TSCONTENT file took the place of the page.
    bool ReplacedReply() const { return m_replacedReply; }
    void SetReplacedReply() { m_replacedReply = true; }
    // The pages TSERROR registered.
    CErrorPageSpec& RequestErrorPage() { return m_requestErrorPage; }
    CErrorPageSpec& ValidationErrorPage() { return m_validationErrorPage; }

    // A family's state for this page, made on first use: for the family's own helpers
    // that other families call (TSSET and the section body read the condition text the
    // TSIF family keeps, say). The family must keep a state of type State.
    template <class State>
    State& FamilyState(const TagFamily& family) {
        return static_cast<State&>(*StateOf(CTagDispatchTable::Instance().IndexOf(family)));
    }

private:
    TagFamilyState* StateOf(std::size_t family);
    void Run(std::size_t family, const TagAction& action, CTemplateParser& parser);

    CQueryPage& m_page;
    // The hosts come first: the tag engines below keep references to them.
    CPageQueryHost m_queryHost;
    CPageSectionHost m_sectionHost;
    CPageLoopHost m_loopHost;
    CPageTransactionHost m_transactionHost;
    CNamedQueries m_queries;
    CQueryTag m_queryTag;
    COutputSectionStack m_sections;
    CLoopStack m_loops;
    CTransactionTag m_transaction;
    std::string m_sectionQuery;
    std::string m_tableQuery;
    CErrorPageSpec m_requestErrorPage;
    CErrorPageSpec m_validationErrorPage;
    bool m_replacedReply = false;
    // By the family's place in the list.
    std::vector<std::unique_ptr<TagFamilyState>> m_states;
};
