#include "engine/templates/if_block_stack.h"

#include "engine/server/web_exception.h"

void CIfBlockStack::Mismatch() {
    m_blocks.clear();
    throw new CWebException(
        "The TSIF, TSELSE, TSELSEIF, and /TSIF tags in this template are not properly matched. There are three "
        "possible problems:<OL><LI>You have a TSIF which is not terminated by a /TSIF. <LI>You have a TSELSE, "
        "TSELSEIF, or /TSIF which does not correspond to a TSIF.<LI>You have a TSELSEIF which occurs after a "
        "TSELSE.</OL>",
        "Error in conditional evaluation tags.");
}

void CIfBlockStack::If(const std::string& condition) {
    bool parentOn = IsOutputOn();
    bool active = parentOn && m_evaluate(condition);
    m_blocks.push_back({parentOn, active, active, false});
}

void CIfBlockStack::ElseIf(const std::string& condition) {
    if (m_blocks.empty() || m_blocks.back().sawElse) Mismatch();
    Block& top = m_blocks.back();
    top.active = false;
    if (top.parentOn && !top.taken) {
        top.active = m_evaluate(condition);
        top.taken = top.active;
    }
}

void CIfBlockStack::Else() {
    if (m_blocks.empty() || m_blocks.back().sawElse) Mismatch();
    Block& top = m_blocks.back();
    top.active = top.parentOn && !top.taken;
    top.taken = true;
    top.sawElse = true;
}

void CIfBlockStack::EndIf() {
    if (m_blocks.empty()) Mismatch();
    m_blocks.pop_back();
}

void CIfBlockStack::CheckAtEnd() {
    if (!m_blocks.empty()) Mismatch();
}
