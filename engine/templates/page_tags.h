// The tags of a template page that act beyond plain text: TSQUERY, TSOUTPUT and
// TSMAIL sections, TSLOOP, TSHEADER, TSCONTENT, TSLOCATION, TSABORT, TSPARAM and
// TSERROR. One object per page; the reduce dispatch hands it their productions.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/templates/output_section.h"
#include "engine/templates/query_results.h"
#include "engine/templates/tag_loop.h"
#include "engine/templates/tag_param_error.h"
#include "engine/templates/tag_query.h"
#include "engine/templates/tag_reply.h"

class CQueryPage;
class CTemplateParser;

class CPageTags : public CQueryTagHost, public COutputSectionHost, public CLoopHost {
public:
    explicit CPageTags(CQueryPage& page);
    ~CPageTags() override;

    // The production's action when it is one of these tags (true), after a
    // pending TSQUERY block has been run or fed as the production requires.
    // Called with output on and no loop body being skipped.
    bool Dispatch(std::uint32_t production, CTemplateParser& parser);
    // TSLOOP and /TSLOOP, while output is on (also while skipping).
    void LoopBegin() { m_loops.LoopBegin(); }
    void LoopEnd() { m_loops.LoopEnd(); }
    bool IsSkippingLoop() const { return m_loops.IsSkipping(); }
    bool IsQueryPending() const { return m_queryTag.IsPending(); }
    // End of the main template: an open TSLOOP is an error, a pending query runs.
    void CheckAtEnd();

    CNamedQueries& Queries() { return m_queries; }
    // A variable named "<query>.<column>" inside the open block of that query runs
    // the query first, so that the reference sees its rows.
    void FinishQueryNamedBy(const std::string& variable);
    // TSLOCATION or a TSCONTENT file took the place of the page.
    bool ReplacedReply() const { return m_replacedReply; }
    CLoopStack& Loops() { return m_loops; }
    // The query unqualified names resolve against: the running section's, else
    // the innermost query loop's.
    std::string CurrentQueryName() const;
    const CErrorPageSpec& RequestErrorPage() const { return m_requestErrorPage; }
    const CErrorPageSpec& ValidationErrorPage() const { return m_validationErrorPage; }

    // How spooled mail leaves the page; the mail spooler installs its own.
    // Returns false with an error text when the message could not be spooled.
    using MailSpooler = std::function<bool(const SectionMailMessage&, std::string& error)>;
    static void SetMailSpooler(MailSpooler spooler);

    // CQueryTagHost.
    void WriteText(const std::string& text) override;
    std::string SubstituteSql(const std::string& text) override;
    void Execute(CTSXQueryImp& query) override;
    void AddDebugLine(const std::string& line) override;
    std::string PositionReport() override;

    // COutputSectionHost.
    std::vector<std::pair<bool, std::string>> SplitText(const std::string& text) override;
    SectionResolution ResolveParameter(const std::string& name, int row) override;
    std::string EvaluateExpression(const std::string& expression, int row) override;
    std::string EvaluateField(const std::string& text, int row) override;
    bool EvaluateCondition(const std::string& condition, int row) override;
    void SetVariableFromExpression(const std::string& name, const std::string& expression, int row) override;
    CTSXQueryImp* FindQuery(const std::string& name) override;
    void CheckRequestTime() override;
    bool LoopQueryRow(int& row) override;
    std::string SetRunningSectionQuery(const std::string& name) override;
    std::string DefaultMailServer() override;
    void SpoolMail(const SectionMailMessage& message) override;
    void MailPosted() override;

    // CLoopHost.
    bool EvaluateCondition(const std::string& condition) override { return EvaluateCondition(condition, -1); }
    void SetIndexVariable(const std::string& name, const std::string& value) override;
    const void* CurrentInputOwner() override;
    LoopInputSnapshot SaveInput() override;
    void RewindInput(const LoopInputSnapshot& snapshot) override;
    void SaveConditionals() override;
    void RestoreConditionals() override;

private:
    std::string Evaluate(const std::string& text, int row, int contextFlag, int mode);
    bool DispatchTag(std::uint32_t production, CTemplateParser& parser);
    void Abort();
    std::string QueryOrigin() const;

    CQueryPage& m_page;
    CNamedQueries m_queries;
    CQueryTag m_queryTag;
    COutputSectionStack m_sections;
    CLoopStack m_loops;
    std::string m_sectionQuery;
    std::string m_headerName, m_headerValue;
    ContentTagState m_content;
    LocationTagState m_location;
    ParamTagState m_param;
    CErrorPageSpec m_buildingErrorPage;
    CErrorPageSpec m_requestErrorPage;
    CErrorPageSpec m_validationErrorPage;
    bool m_replacedReply = false;
};
