// What TSLOOP needs of the page: conditions, the index variable, the executed
// queries, and the template input it rewinds for each iteration.
#pragma once

#include <string>

#include "engine/templates/core/loop_stack.h"

class CPageTags;
class CQueryPage;

class CPageLoopHost : public CLoopHost {
public:
    CPageLoopHost(CQueryPage& page, CPageTags& tags) : m_page(page), m_tags(tags) {}

    void CheckRequestTime() override;
    bool EvaluateCondition(const std::string& condition) override;
    void SetIndexVariable(const std::string& name, const std::string& value) override;
    CTSXQueryImp* FindQuery(const std::string& name) override;
    const void* CurrentInputOwner() override;
    LoopInputSnapshot SaveInput() override;
    void RewindInput(const LoopInputSnapshot& snapshot) override;
    void SaveConditionals() override;
    void RestoreConditionals() override;

private:
    CQueryPage& m_page;
    CPageTags& m_tags;
};
