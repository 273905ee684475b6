#include "engine/templates/page_loop_host.h"

#include "engine/templates/core/if_block_stack.h"
#include "engine/templates/page_evaluation.h"
#include "engine/templates/scopes/page_scopes.h"
#include "engine/templates/tags/page_tags.h"
#include "engine/templates/template_page.h"
#include "engine/templates/template_parser.h"

void CPageLoopHost::CheckRequestTime() {
    m_page.CheckRequestTimeout();
}

bool CPageLoopHost::EvaluateCondition(const std::string& condition) {
    return EvaluateConditionOnPage(m_page, condition, -1);
}

void CPageLoopHost::SetIndexVariable(const std::string& name, const std::string& value) {
    m_page.GetScopes().AssignVariable(name, value);
}

CTSXQueryImp* CPageLoopHost::FindQuery(const std::string& name) {
    return m_tags.FindQuery(name);
}

const void* CPageLoopHost::CurrentInputOwner() {
    return m_page.currentTemplateParser();
}

LoopInputSnapshot CPageLoopHost::SaveInput() {
    LoopInputSnapshot snapshot;
    CTemplateParser* parser = m_page.currentTemplateParser();
    snapshot.owner = parser;
    if (parser != nullptr) snapshot.state = parser->lexer().saveState();
    return snapshot;
}

void CPageLoopHost::RewindInput(const LoopInputSnapshot& snapshot) {
    CTemplateParser* parser = m_page.currentTemplateParser();
    // The lexer state carries its expression-list stack; the parser forgets the
    // lookahead it read after /TSLOOP, end of input included.
    if (parser == nullptr || parser != snapshot.owner || !parser->lexer().restoreState(snapshot.state))
        ThrowLoopError(
            "The TSLOOP and /TSLOOP tags in this template are not matched. There are more /TSLOOP tags "
            "than there are TSLOOP tags.");
    if (parser->restartLookahead() != 0) ThrowLoopError("An unexpected error occurred while repeating a loop.");
}

void CPageLoopHost::SaveConditionals() {
    if (CIfBlockStack* ifs = m_page.GetIfStack()) ifs->SaveForLoop();
}

void CPageLoopHost::RestoreConditionals() {
    if (CIfBlockStack* ifs = m_page.GetIfStack()) ifs->RestoreForLoop();
}
