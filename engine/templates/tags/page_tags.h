// What the tag families of one page share, and each family's own per-page state.
// The shared part is the template core (engine/templates/core/): the named queries and
// the pending TSQUERY block, the loop stack, the TSOUTPUT/TSMAIL sections, the
// transaction window and the TSERROR pages; it is held here by declaration only, so a
// family that uses one of them includes that header itself. Each reduction reaches the
// families through here, by the dispatch table built from their list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CErrorPageSpec;
class CLoopStack;
class CNamedQueries;
class COutputSectionStack;
class CQueryPage;
class CQueryTag;
class CTemplateParser;
class CTransactionTag;
class CTSXQueryImp;
class TagFamilyState;
struct TagAction;

// The TSSET tag read so far: its variable name and its value expression, until the tag
// stands as an item of the template or of a section body.
struct PendingSetTag {
    std::string name;
    std::string value;
};

class CPageTags {
public:
    explicit CPageTags(CQueryPage& page);
    ~CPageTags();

    // The production's action, if a family has one, in its phase (see TagPhase).
    // Called for every reduction before TSABORT.
    void Reduce(std::uint32_t production, CTemplateParser& parser);

    bool IsSkippingLoop() const;
    bool IsQueryPending() const;
    // End of the main template: an open TSLOOP is an error, a pending query runs.
    void CheckAtEnd();

    CNamedQueries& Queries();
    CQueryTag& QueryTag();
    CLoopStack& Loops();
    COutputSectionStack& Sections();
    CTransactionTag& Transaction();
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

    // The condition text TSIF and TSELSEIF collect as the template is read; TSSET's value
    // is read by the same rule. The TSIF, TSSET and section-body tags take it from here.
    std::string& ConditionText() { return m_conditionText; }
    PendingSetTag& PendingSet() { return m_pendingSet; }

    // TSLOCATION or a TSCONTENT file took the place of the page.
    bool ReplacedReply() const { return m_replacedReply; }
    void SetReplacedReply() { m_replacedReply = true; }
    // The pages TSERROR registered.
    CErrorPageSpec& RequestErrorPage();
    CErrorPageSpec& ValidationErrorPage();

private:
    struct Core;

    TagFamilyState* StateOf(std::size_t family);
    void Run(std::size_t family, const TagAction& action, CTemplateParser& parser);

    CQueryPage& m_page;
    std::unique_ptr<Core> m_core;
    std::string m_sectionQuery;
    std::string m_tableQuery;
    std::string m_conditionText;
    PendingSetTag m_pendingSet;
    bool m_replacedReply = false;
    // By the family's place in the list.
    std::vector<std::unique_ptr<TagFamilyState>> m_states;
};
