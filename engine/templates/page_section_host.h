// What TSOUTPUT and TSMAIL sections need of the page: splitting and evaluating
// their text per row, the executed queries, the current loop row, and mail.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/templates/core/output_section.h"

class CPageTags;
class CQueryPage;

class CPageSectionHost : public COutputSectionHost {
public:
    CPageSectionHost(CQueryPage& page, CPageTags& tags) : m_page(page), m_tags(tags) {}

    std::vector<std::pair<bool, std::string>> SplitText(const std::string& text) override;
    SectionResolution ResolveParameter(const std::string& name, int row) override;
    std::string EvaluateExpression(const std::string& expression, int row) override;
    CTracedText EvaluateTracedExpression(const std::string& expression, int row) override;
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
    const CRuntimeFileGate& PrivateFiles() override;
    long CurrentLine() override;
    long SetRunningLine(long line) override;
    std::string PositionReport() override;

private:
    CQueryPage& m_page;
    CPageTags& m_tags;
};
